#!/usr/bin/env bash
# Makes a fresh Debian 12 machine ready to build and test jobpush (run as root): installs the
# missing packages with apt-get and starts rpcbind when no portmapper answers on loopback.
set -euo pipefail

packages="cmake g++ make pkg-config libgtest-dev libbenchmark-dev libtirpc-dev rpcbind gettext clang locales
          libclang-rt-14-dev python3 hercules dpkg-dev lintian"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086
  apt-get install -y -qq $missing >/dev/null
fi

# The double-byte conversion tests and the translated messages run in these locales (name, source,
# character map).
for l in de_DE.UTF-8:de_DE:UTF-8 ja_JP.EUC-JP:ja_JP:EUC-JP ja_JP.UTF-8:ja_JP:UTF-8 ko_KR.EUC-KR:ko_KR:EUC-KR ko_KR.UTF-8:ko_KR:UTF-8 \
         zh_CN:zh_CN:GB2312 zh_CN.UTF-8:zh_CN:UTF-8 zh_TW.EUC-TW:zh_TW:EUC-TW zh_TW.UTF-8:zh_TW:UTF-8; do
  IFS=: read -r name source charmap <<<"$l"
  if [ "$(LC_ALL=$name locale charmap 2>/dev/null)" != "$charmap" ]; then
    echo "generating locale $name"
    localedef -i "$source" -f "$charmap" "$name" || { echo "localedef $name failed" >&2; exit 1; }
  fi
done

# The link tests and the demo talk ONC RPC through the system's portmapper.
if ! rpcinfo -p 127.0.0.1 >/dev/null 2>&1; then
  mkdir -p /run/rpcbind
  rpcbind -w
  for _ in $(seq 20); do rpcinfo -p 127.0.0.1 >/dev/null 2>&1 && break; sleep 0.25; done
  rpcinfo -p 127.0.0.1 >/dev/null || { echo "rpcbind did not start" >&2; exit 1; }
fi
