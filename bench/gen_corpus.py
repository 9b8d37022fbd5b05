#!/usr/bin/env python3
"""Writes the reproducible conversion benchmark inputs: a text file of mixed lines (prose, report
lines padded with blank runs, numeric columns, empty lines, lines longer than 80) and a binary file.

Usage: gen_corpus.py TEXT_FILE TEXT_MB BINARY_FILE BINARY_MB
The same arguments always give the same bytes (fixed seeds)."""
import random
import sys

WORDS = ("the of and to in is that for it as was with be by on not he this are or his from at which "
         "but have an they you were her she there been one all we their has would when if so no will "
         "report total page system dataset record job output volume member account balance region "
         "transfer summary deposit interest customer number amount listing printed section").split()


def prose(rng):
    n = rng.randint(4, 14)
    s = " ".join(rng.choice(WORDS) for _ in range(n))
    return s[0].upper() + s[1:] + rng.choice((".", ",", ";", ""))


def report(rng):
    name = " ".join(rng.choice(WORDS).upper() for _ in range(rng.randint(1, 3)))
    return "%-24s%s%12s%s%10s" % (name, " " * rng.randint(4, 20), "%.2f" % (rng.random() * 99999),
                                  " " * rng.randint(2, 12), rng.choice(("OK", "PENDING", "", "ERROR")))


def numbers(rng):
    return "".join("%10d" % rng.randint(0, 9999999) for _ in range(rng.randint(3, 8)))


def long_line(rng):
    return " ".join(prose(rng) for _ in range(rng.randint(2, 6)))


def separator(rng):
    return rng.choice("-=*") * rng.randint(20, 132)


KINDS = ((prose, 30), (report, 30), (numbers, 15), (long_line, 8), (separator, 5), (lambda rng: "", 12))


def text(path, megabytes):
    rng = random.Random(4242)
    makers = [k for k, w in KINDS for _ in range(w)]
    pool = [rng.choice(makers)(rng) + "\n" for _ in range(40000)]
    target = megabytes * 1000 * 1000
    with open(path, "w", encoding="latin-1", newline="\n") as out:
        written = 0
        while written < target:
            chunk = "".join(rng.choices(pool, k=20000))
            out.write(chunk)
            written += len(chunk)


def binary(path, megabytes):
    rng = random.Random(1717)
    target = megabytes * 1024 * 1024
    with open(path, "wb") as out:
        written = 0
        while written < target:
            kind = rng.random()
            n = rng.randint(256, 65536)
            if kind < 0.5:
                piece = rng.randbytes(n)  # compressed or encrypted data
            elif kind < 0.8:
                piece = bytes(n)  # zero-filled areas
            else:
                piece = bytes(rng.randrange(0, 256, 1) for _ in range(64)) * (n // 64)  # tables
            piece = piece[: target - written]
            out.write(piece)
            written += len(piece)


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    text(sys.argv[1], int(sys.argv[2]))
    binary(sys.argv[3], int(sys.argv[4]))
