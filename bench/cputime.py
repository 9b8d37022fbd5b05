#!/usr/bin/env python3
"""Runs a command several times and prints "best worst peak": the smallest and the largest processor
time in seconds (user + system, from the kernel's accounting, which counts finer than the 10 ms
clock of /usr/bin/time's own figures) and the largest peak resident size of the command in KiB.

Usage: cputime.py RUNS OUT_FILE COMMAND [ARG...]
The command runs under /usr/bin/time, which gives its peak resident size (the processor time counted
includes /usr/bin/time's own, well under a millisecond). Its standard output goes to OUT_FILE
(replaced on every run), its standard error to OUT_FILE.err; a failing run stops the measurement
with the command's messages."""
import os
import sys


def run(argv, out_path):
    rss_path = out_path + ".rss"
    with open(out_path, "wb") as out, open(out_path + ".err", "wb") as err:
        pid = os.fork()
        if pid == 0:
            os.dup2(out.fileno(), 1)
            os.dup2(err.fileno(), 2)
            try:
                os.execv("/usr/bin/time", ["/usr/bin/time", "-f", "%M", "-o", rss_path] + argv)
            finally:
                os._exit(127)
    _, status, usage = os.wait4(pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        with open(out_path + ".err", "rb") as err:
            sys.stderr.buffer.write(err.read())
        sys.exit("failed: " + " ".join(argv))
    with open(rss_path) as rss:
        peak = int(rss.read().split()[-1])
    os.unlink(rss_path)
    return usage.ru_utime + usage.ru_stime, peak


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    runs, out_path, argv = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
    times, peak = [], 0
    for _ in range(runs):
        t, rss = run(argv, out_path)
        times.append(t)
        peak = max(peak, rss)
    print("%.4f %.4f %d" % (min(times), max(times), peak))


if __name__ == "__main__":
    main()
