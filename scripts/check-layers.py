#!/usr/bin/env python3
"""Checks that the folders of src/ include each other only downwards.

Every `#include "X"` in src/**/*.cpp and *.h is resolved by X's base name to
the folder of src/ that holds a header of that name; files directly in src/
count as the folder "main". The folder graph this gives must have no circle,
and every edge must be one that LAYERS below allows.

Exit status: 0 when the tree keeps its layers, 1 when it does not (each
problem is printed), 2 for a bad command line.

    scripts/check-layers.py            check the tree this script belongs to
    scripts/check-layers.py --graph    also print which folders each folder uses
    scripts/check-layers.py --src DIR  check another tree (the self-test does)
"""

import argparse
import fnmatch
import os
import re
import sys
from collections import defaultdict

# The folders each folder may include, besides itself. "*" stands for every
# folder in this table, and "!name" takes one back out. A folder of src/ that
# is missing here is an error, so that a new folder gets a place on purpose.
LAYERS = {
    "platform": [],
    "store": ["platform"],
    "common": ["store", "platform"],
    "appointments": ["common", "store", "platform"],
    "todo": ["common", "store", "platform"],
    "prefs": ["common", "store", "platform"],
    "help": ["common", "store", "platform"],
    "diagnostics": ["common", "store", "platform"],
    "app": ["*", "!cli"],
    "cli": ["store", "platform"],
    "main": ["*", "!cli"],
}

# The files in src/ directly, such as main.cpp, belong to this folder.
TOP_FOLDER = "main"

# Made by the build (uic, moc, rcc), so no folder of src/ holds them.
GENERATED = ["ui_*.h", "moc_*.cpp", "*.moc", "qrc_*.cpp"]

SOURCE_SUFFIXES = (".cpp", ".h")
HEADER_SUFFIXES = (".h",)

INCLUDE = re.compile(r'^[ \t]*#[ \t]*include[ \t]*"([^"]+)"', re.MULTILINE)
BLOCK_COMMENT = re.compile(r"/\*.*?\*/", re.DOTALL)


def allowed_targets(folder):
    """The folders `folder` may include, with the wildcards worked out."""
    allowed = set()
    for entry in LAYERS.get(folder, []):
        if entry == "*":
            allowed |= set(LAYERS)
    for entry in LAYERS.get(folder, []):
        if entry.startswith("!"):
            allowed.discard(entry[1:])
        elif entry != "*":
            allowed.add(entry)
    allowed.discard(folder)
    return allowed


def folder_of(src, path):
    rel = os.path.relpath(path, src)
    parts = rel.split(os.sep)
    return TOP_FOLDER if len(parts) == 1 else parts[0]


def walk_sources(src):
    for dirpath, dirnames, filenames in os.walk(src):
        dirnames.sort()
        for name in sorted(filenames):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.join(dirpath, name)


def includes_of(path):
    """(line number, included name) for each quoted include outside a block comment."""
    with open(path, encoding="utf-8", errors="replace") as f:
        text = f.read()
    # Blank out block comments but keep their line breaks, so line numbers stay true.
    text = BLOCK_COMMENT.sub(lambda m: "\n" * m.group(0).count("\n"), text)
    for m in INCLUDE.finditer(text):
        yield text.count("\n", 0, m.start()) + 1, m.group(1)


def is_generated(name):
    return any(fnmatch.fnmatchcase(name, pattern) for pattern in GENERATED)


def find_circle(graph, members):
    """One shortest circle through the smallest folder of a group that reach each other."""
    start = min(members)
    # Breadth first from start, staying inside the group, until an edge leads back.
    parents = {start: None}
    queue = [start]
    while queue:
        node = queue.pop(0)
        for nxt in sorted(graph[node]):
            if nxt == start:
                path = [node]
                while parents[path[-1]] is not None:
                    path.append(parents[path[-1]])
                return list(reversed(path)) + [start]
            if nxt in members and nxt not in parents:
                parents[nxt] = node
                queue.append(nxt)
    return None


def strongly_connected(graph, nodes):
    """Groups of folders that all reach each other (Tarjan), only those of two or more."""
    index, low, on_stack, stack, groups = {}, {}, set(), [], []
    counter = [0]

    def visit(v):
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on_stack.add(v)
        for w in sorted(graph[v]):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on_stack:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            group = set()
            while True:
                w = stack.pop()
                on_stack.discard(w)
                group.add(w)
                if w == v:
                    break
            if len(group) > 1:
                groups.append(group)

    for v in sorted(nodes):
        if v not in index:
            visit(v)
    return sorted(groups, key=min)


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description="Checks the include layers of the folders of src/.")
    parser.add_argument("--src", default=os.path.join(os.path.dirname(here), "src"),
                        help="the source folder to check (default: src/ of this tree)")
    parser.add_argument("--graph", action="store_true",
                        help="print each folder with the folders it includes")
    args = parser.parse_args(argv)
    src = os.path.abspath(args.src)
    if not os.path.isdir(src):
        print(f"check-layers: {args.src} is not a folder", file=sys.stderr)
        return 2

    sources = list(walk_sources(src))
    headers = defaultdict(set)  # base name -> folders that hold a header of that name
    for path in sources:
        if path.endswith(HEADER_SUFFIXES):
            headers[os.path.basename(path)].add(folder_of(src, path))

    problems = []
    folders = sorted({folder_of(src, p) for p in sources})
    for folder in folders:
        if folder not in LAYERS:
            where = "src/" if folder == TOP_FOLDER else f"src/{folder}/"
            problems.append(f"{where} is not in the table of layers in {os.path.basename(__file__)}; "
                            "give it the folders it may include")

    graph = defaultdict(set)
    example = {}  # (from, to) -> the first include that makes the edge
    for path in sources:
        rel = os.path.relpath(path, os.path.dirname(src))
        source_folder = folder_of(src, path)
        for line, name in includes_of(path):
            base = os.path.basename(name)
            if is_generated(base):
                continue
            found = headers.get(base, set())
            if len(found) > 1:
                # A path in the include may still say which one is meant.
                hinted = {f for f in found if f in name.split("/")[:-1]}
                if len(hinted) == 1:
                    found = hinted
            where = f'{rel}:{line}: #include "{name}"'
            if not found:
                problems.append(f"{where}: no folder of src/ holds a header of that name")
                continue
            if len(found) > 1:
                problems.append(f"{where}: headers of that name are in more than one folder: "
                                + ", ".join(sorted(found)))
                continue
            target = next(iter(found))
            if target == source_folder:
                continue
            graph[source_folder].add(target)
            example.setdefault((source_folder, target), where)

    if args.graph:
        for folder in folders:
            uses = " ".join(sorted(graph[folder])) or "-"
            print(f"{folder}: {uses}")

    for (frm, to), where in sorted(example.items()):
        if frm in LAYERS and to not in allowed_targets(frm):
            may = ", ".join(sorted(allowed_targets(frm))) or "nothing"
            problems.append(f"{frm} -> {to} is not allowed ({frm} may include {may}): {where}")

    for group in strongly_connected(graph, folders):
        circle = find_circle(graph, group)
        lines = [f"the folders {', '.join(sorted(group))} depend on each other in a circle: "
                 + " -> ".join(circle)]
        for frm, to in zip(circle, circle[1:]):
            lines.append(f"    {frm} -> {to}: {example[(frm, to)]}")
        problems.append("\n".join(lines))

    # The graph goes out first even when both streams share one log.
    sys.stdout.flush()
    for problem in problems:
        print(f"check-layers: {problem}", file=sys.stderr)
    if problems:
        print(f"check-layers: {len(problems)} problem(s) in {args.src}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
