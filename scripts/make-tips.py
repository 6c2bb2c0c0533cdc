#!/usr/bin/env python3
"""Writes the tips file IXORAL.TP from its text source: one tip per record of 200 bytes in
Windows-1252, ended by a zero byte and padded with zeros. Refuses a tip that would not fit.

Usage: scripts/make-tips.py [data/tips/conseils.txt] [data/IXORAL.TP]
"""
import sys

RECORD = 200


def tips(source):
    with open(source, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            data = line.encode("cp1252")
            if len(data) >= RECORD:
                sys.exit(f"{source}:{number}: {len(data)} bytes, at most {RECORD - 1}")
            yield data


def main():
    source = sys.argv[1] if len(sys.argv) > 1 else "data/tips/conseils.txt"
    target = sys.argv[2] if len(sys.argv) > 2 else "data/IXORAL.TP"
    records = [t + b"\0" * (RECORD - len(t)) for t in tips(source)]
    with open(target, "wb") as f:
        f.write(b"".join(records))
    print(f"{target}: {len(records)} tips")


main()
