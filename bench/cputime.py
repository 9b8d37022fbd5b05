#!/usr/bin/env python3
"""Runs a command several times and prints "best worst peak": the smallest and the largest processor
time in seconds (user + system of the command and of every process it waited for, from the kernel's
accounting, which counts finer than the 10 ms clock of /usr/bin/time's own figures) and the largest
peak resident size of the command in KiB.

Usage: cputime.py RUNS OUT_FILE COMMAND [ARG...]
The command is started with posix_spawn, so that nothing of this script is counted: a fork of the
interpreter would charge the command with copying and tearing down the interpreter's memory, several
milliseconds on some virtual machines. Its standard output goes to OUT_FILE (created anew by the
command's process on every run, so that truncating an earlier output counts, as it would for a
redirection in the shell), its standard error to OUT_FILE.err; a failing run stops the measurement
with the command's messages. The peak resident size comes from one more run under /usr/bin/time (a
process started by posix_spawn inherits the interpreter's peak)."""
import os
import sys


def run(argv, out_path):
    """Processor time of one run."""
    actions = [
        (os.POSIX_SPAWN_OPEN, 1, out_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644),
        (os.POSIX_SPAWN_OPEN, 2, out_path + ".err", os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644),
    ]
    pid = os.posix_spawnp(argv[0], argv, os.environ, file_actions=actions)
    _, status, usage = os.wait4(pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        with open(out_path + ".err", "rb") as err:
            sys.stderr.buffer.write(err.read())
        sys.exit("failed: " + " ".join(argv))
    return usage.ru_utime + usage.ru_stime


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    runs, out_path, argv = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
    times = [run(argv, out_path) for _ in range(runs)]
    rss_path = out_path + ".rss"
    run(["/usr/bin/time", "-f", "%M", "-o", rss_path] + argv, out_path)
    with open(rss_path) as rss:
        peak = int(rss.read().split()[-1])
    os.unlink(rss_path)
    print("%.4f %.4f %d" % (min(times), max(times), peak))


if __name__ == "__main__":
    main()
