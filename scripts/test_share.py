#!/usr/bin/env python3
"""Prints how much of the code is tests: lines that are neither blank nor
comments, in the C++ and QML files git tracks under tests/ against those
under src/, bench/ and fuzz/. With a revision, counts that commit instead."""
import subprocess
import sys

REVISION = sys.argv[1] if len(sys.argv) > 1 else None
EXTENSIONS = (".cpp", ".h", ".qml")


def text_of(path):
    if REVISION is None:
        with open(path, encoding="utf-8", errors="replace") as file:
            return file.read()
    return subprocess.run(["git", "show", f"{REVISION}:{path}"], capture_output=True,
                          text=True, check=True).stdout


def counted_lines(text):
    count = 0
    in_block = False
    for line in text.splitlines():
        stripped = line.strip()
        if not stripped:
            continue
        if in_block:
            in_block = "*/" not in stripped
            continue
        if stripped.startswith("//"):
            continue
        if stripped.startswith("/*"):
            in_block = "*/" not in stripped
            continue
        count += 1
    return count


listing = ["git", "ls-tree", "-r", "--name-only", REVISION] if REVISION else ["git", "ls-files"]
files = subprocess.run(listing, capture_output=True, text=True, check=True).stdout.split()
totals = {"tests": 0, "code": 0}
for path in files:
    top = path.split("/")[0]
    if not path.endswith(EXTENSIONS) or top not in ("tests", "src", "bench", "fuzz"):
        continue
    totals["tests" if top == "tests" else "code"] += counted_lines(text_of(path))
share = totals["tests"] / (totals["tests"] + totals["code"])
print(f"tests {totals['tests']}, src + bench + fuzz {totals['code']}: tests are {share:.1%}")
