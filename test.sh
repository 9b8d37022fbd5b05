#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine (as root), builds jobpush and runs the whole test suite.
# Usage: ./test.sh [build-dir] [extra cmake arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
build=${1:-$root/build}
shift || true

packages="cmake g++ make pkg-config libgtest-dev libbenchmark-dev libtirpc-dev rpcbind gettext clang
          libclang-rt-14-dev locales"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq $missing >/dev/null
fi

# The link tests talk ONC RPC through the system's portmapper.
if ! rpcinfo -p 127.0.0.1 >/dev/null 2>&1; then
  mkdir -p /run/rpcbind
  rpcbind -w
  for _ in 1 2 3 4 5 6 7 8 9 10; do rpcinfo -p 127.0.0.1 >/dev/null 2>&1 && break; sleep 0.5; done
fi

cmake -S "$root" -B "$build" -DJOBPUSH_WERROR=ON "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
ctest --output-on-failure -j"$(nproc)"
