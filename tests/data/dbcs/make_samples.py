#!/usr/bin/env python3
"""Writes the double-byte sample texts of the tests: for each language, about 300 report-like lines
that mix double-byte text with ASCII words, digits and blanks, in the language's EUC and in UTF-8.

Every double-byte character is checked with iconv to have a double-byte code in the language's host
set, and the ASCII part keeps to the characters whose EBCDIC form is the same in the program's
built-in table and in that set's single-byte part (no backslash, caret, tilde, brackets or dollar).
Run it from anywhere; it rewrites the files next to itself.
"""
import os
import random
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))

# One file of phrases per language next to this script, phrases.<language>, one a line.
PHRASES = {lang: open(os.path.join(HERE, "phrases." + lang), encoding="utf-8").read().split("\n")[:-1]
           for lang in ("ja", "ko", "zh_CN", "zh_TW")}

# language: (host set, EUC name for iconv, file suffix of the EUC file)
LANGUAGES = {
    "ja": ("IBM939", "EUC-JP", "euc-jp"),
    "ko": ("IBM933", "EUC-KR", "euc-kr"),
    "zh_CN": ("IBM935", "EUC-CN", "gb2312"),
    "zh_TW": ("IBM937", "EUC-TW", "euc-tw"),
}

ASCII_WORDS = ["ORDER", "item-42", "A/B", "OK", "Total:", "(see note)", "100%", "x+y=z", "JOB01",
               "DSN=PROD.DATA", "rc=0", "page 3/7", "Q4", "v2.1", "#17", "user@host", "a*b", "N/A",
               "'quoted'", "\"x\"", "ok!", "why?", "R&D", "<none>", "CLASS=A", "10:30", "2024-03-31"]
ASCII_LINES = ["Monthly report for the host", "END OF REPORT", "Line printer output follows:",
               "Status: all jobs completed, rc=0", "Prepared by the operations team.",
               "Totals carried forward to next page", "   indented ASCII text   "]


def lines_for(lang):
    phrases = PHRASES[lang]
    rnd = random.Random(lang)
    out = []
    for i in range(1, 301):
        kind = rnd.randrange(9)
        p, q = rnd.choice(phrases), rnd.choice(phrases)
        w = rnd.choice(ASCII_WORDS)
        if kind == 0:
            line = f"{i:04d} {p}"
        elif kind == 1:
            line = f"{i:04d} {p} {w} {rnd.randrange(100000)}"
        elif kind == 2:
            line = f"  {p} {q}"
        elif kind == 3:
            line = rnd.choice(ASCII_LINES) if i % 2 else f"{i:04d} {w} {rnd.randrange(1000):>6}"
        elif kind == 4:
            line = p + q
        elif kind == 5:
            line = "" if i % 3 == 0 else f"{rnd.randrange(10**7):>8} {p}    {rnd.randrange(10**5):>6}"
        elif kind == 6:
            line = f"{p}\u3000{q}"
        elif kind == 7:
            line = f"{w} {p} {rnd.randrange(1000)}.{rnd.randrange(100):02d} {w}"
        else:
            line = f"{i:04d}  {p}  {rnd.randrange(10)}"
        out.append(line)
    return out


def iconv(data, src, dst):
    return subprocess.run(["iconv", "-f", src, "-t", dst], input=data, capture_output=True, check=True).stdout


def check(lang, text):
    host = LANGUAGES[lang][0]
    for ch in sorted(set(text)):
        if ord(ch) < 0x80:
            continue
        got = iconv(ch.encode(), "UTF-8", host)
        if len(got) != 4 or got[0] != 0x0E or got[3] != 0x0F:
            raise SystemExit(f"{lang}: {ch!r} U+{ord(ch):04X} is not double-byte in {host}: {got.hex()}")


def main():
    for lang, (host, euc, suffix) in LANGUAGES.items():
        text = "".join(line + "\n" for line in lines_for(lang))
        check(lang, text)
        utf8 = text.encode()
        with open(os.path.join(HERE, f"{lang}.utf-8.txt"), "wb") as f:
            f.write(utf8)
        with open(os.path.join(HERE, f"{lang}.{suffix}.txt"), "wb") as f:
            f.write(iconv(utf8, "UTF-8", euc))


if __name__ == "__main__":
    main()
