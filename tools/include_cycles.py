#!/usr/bin/env python3
"""Fails when folders of src/ include each other in a circle.

Each quoted include "folder/file.h" in src/<folder>/* is an edge from <folder> to
<folder of the header>. A strongly connected set of two or more folders is a cycle; every
include that takes part in one is printed, and the exit status is 1.

  include_cycles.py SRC_DIR [--summary]
"""
import collections
import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"', re.M)


def folder_edges(src):
    edges = collections.defaultdict(list)  # (from, to) -> [file]
    for path in sorted(src.glob("*/*")):
        if path.suffix not in (".cpp", ".h"):
            continue
        here = path.parent.name
        for target in INCLUDE.findall(path.read_text(encoding="utf-8")):
            if target != here and (src / target).is_dir():
                edges[(here, target)].append(path.relative_to(src).as_posix())
    return edges


def strongly_connected(nodes, successors):
    index, low, stack, on_stack, result = {}, {}, [], set(), []

    def visit(node):
        index[node] = low[node] = len(index)
        stack.append(node)
        on_stack.add(node)
        for nxt in successors[node]:
            if nxt not in index:
                visit(nxt)
                low[node] = min(low[node], low[nxt])
            elif nxt in on_stack:
                low[node] = min(low[node], index[nxt])
        if low[node] == index[node]:
            group = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                group.append(member)
                if member == node:
                    break
            result.append(sorted(group))

    for node in sorted(nodes):
        if node not in index:
            visit(node)
    return result


def main():
    if len(sys.argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    src = pathlib.Path(sys.argv[1])
    edges = folder_edges(src)
    nodes = {p.name for p in src.iterdir() if p.is_dir()}
    successors = collections.defaultdict(set)
    for a, b in edges:
        successors[a].add(b)
    cycles = [g for g in strongly_connected(nodes, successors) if len(g) > 1]
    if "--summary" in sys.argv:
        for (a, b), files in sorted(edges.items()):
            print(f"{a} -> {b} ({len(files)})")
    for group in cycles:
        print("include cycle between folders: " + ", ".join(group))
        for (a, b), files in sorted(edges.items()):
            if a in group and b in group:
                print(f"  {a} -> {b}: " + ", ".join(files))
    if cycles:
        return 1
    print(f"no include cycles among {len(nodes)} folders")
    return 0


if __name__ == "__main__":
    sys.exit(main())
