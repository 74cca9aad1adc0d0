#!/usr/bin/env python3
"""Prints which folders under src/ include which (by the "folder/..." form of
their #include lines) and exits 1 when the folders include each other round
a circle, naming it. platform/'s own subfolders count as platform."""
import os
import re
import sys
from collections import defaultdict

INCLUDE = re.compile(r'#include "([a-z_]+)/')
graph = defaultdict(set)
for root, _, files in os.walk("src"):
    parts = root.split(os.sep)
    if len(parts) < 2:
        continue
    folder = parts[1]
    for name in files:
        if not name.endswith((".cpp", ".h")):
            continue
        with open(os.path.join(root, name), encoding="utf-8") as source:
            for included in INCLUDE.findall(source.read()):
                if included != folder:
                    graph[folder].add(included)

for folder in sorted(graph):
    print(f"{folder} -> {', '.join(sorted(graph[folder]))}")


def circle_from(start, path, seen):
    for nxt in sorted(graph.get(path[-1], ())):
        if nxt == start:
            return path + [nxt]
        if nxt not in seen:
            seen.add(nxt)
            found = circle_from(start, path + [nxt], seen)
            if found:
                return found
    return None


for folder in sorted(graph):
    circle = circle_from(folder, [folder], set())
    if circle:
        print("circle: " + " -> ".join(circle))
        sys.exit(1)
print("no circle")
