#!/usr/bin/python3
"""The include arrows of src/ and sim/: floors below the Qt line include no Qt,
no include runs up a floor or sideways to a neighbour on the same floor, and no
files depend on each other round a circle (X.h and X.cpp count as one unit).

Usage: check_includes.py <source root>. Prints one line per fault, naming the
file and line, and exits 1 if there is any.
"""

import os
import re
import sys

# The floors, lowest first (docs/architecture.md draws them). A folder may include
# its own files and the folders on lower floors only; folders on one floor do not
# include each other. Every ui/ folder and src/app sit above the Qt line; nothing
# under it includes Qt.
FLOORS = [
    ["src/platform"],
    ["src/ssh"],
    ["src/link"],
    ["src/imaging", "src/screen"],
    ["src/settings"],
    ["src/view"],
    ["src/connect", "src/files", "src/capture", "src/tools", "src/ocr"],
    ["src/scripts"],
    ["src/program"],
    ["src/cli", "sim"],
    # ---------------------------------------------------------- Qt above this line
    ["src/platform/ui"],
    ["src/link/ui", "src/files/ui"],
    ["src/settings/ui"],
    ["src/view/ui"],
    ["src/connect/ui", "src/capture/ui", "src/scripts/ui", "src/tools/ui"],
    ["src/app"],
]
QT_FLOORS = {d for d in sum(FLOORS, []) if d == "src/app" or d.endswith("/ui")}

FLOOR_OF = {d: i for i, floor in enumerate(FLOORS) for d in floor}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
QT_HEADER = re.compile(r"^(Q[A-Za-z0-9_]*|Qt[A-Za-z0-9_]*/.*)$")


def source_files(root):
    for top in ("src", "sim"):
        for folder, dirs, files in os.walk(os.path.join(root, top)):
            dirs.sort()
            for name in sorted(files):
                if name.endswith((".h", ".cpp")):
                    yield os.path.relpath(os.path.join(folder, name), root)


def resolve(root, path, target):
    """The file (relative to root) a quoted include names: beside the includer
    first, then under src/ (the include path of every target)."""
    for base in (os.path.dirname(path), "src"):
        candidate = os.path.normpath(os.path.join(base, target))
        if os.path.isfile(os.path.join(root, candidate)):
            return candidate
    return None


def unit(path):
    return os.path.splitext(path)[0]


def cycles(graph):
    """The strongly connected components of more than one unit (Tarjan)."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []

    def visit(v):
        index[v] = low[v] = len(index)
        stack.append(v)
        on_stack.add(v)
        for w in sorted(graph.get(v, ())):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on_stack:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            component = []
            while True:
                w = stack.pop()
                on_stack.discard(w)
                component.append(w)
                if w == v:
                    break
            if len(component) > 1:
                found.append(sorted(component))

    sys.setrecursionlimit(10000)
    for v in sorted(graph):
        if v not in index:
            visit(v)
    return found


def check(root):
    faults = []
    graph = {}  # unit -> {unit: (file, line)} for the first include that makes the arrow
    for path in source_files(root):
        folder = os.path.dirname(path)
        if folder not in FLOOR_OF:
            faults.append(f"{path}: its folder {folder} is on no floor (add it to FLOORS in {__file__})")
            continue
        with open(os.path.join(root, path), encoding="utf-8") as f:
            lines = f.read().splitlines()
        for number, line in enumerate(lines, 1):
            m = INCLUDE.match(line)
            if not m:
                continue
            where = f"{path}:{number}"
            quote, target = m.groups()
            if quote == "<":
                if folder not in QT_FLOORS and QT_HEADER.match(target):
                    faults.append(f"{where}: Qt header <{target}> below the Qt line ({folder})")
                continue
            included = resolve(root, path, target)
            if included is None:
                faults.append(f'{where}: "{target}" names no file in src/ or beside {path}')
                continue
            to = os.path.dirname(included)
            if to not in FLOOR_OF:
                faults.append(f'{where}: "{target}" is in {to}, which is on no floor')
                continue
            if to != folder:
                if FLOOR_OF[to] > FLOOR_OF[folder]:
                    faults.append(f'{where}: "{target}" runs up from {folder} to {to}')
                elif FLOOR_OF[to] == FLOOR_OF[folder]:
                    faults.append(f'{where}: "{target}" runs sideways from {folder} to {to} (one floor)')
            if unit(included) != unit(path):
                graph.setdefault(unit(path), {}).setdefault(unit(included), where)
    for component in cycles(graph):
        members = set(component)
        arrows = [f"{graph[a][b]} -> {b}" for a in component for b in sorted(graph[a]) if b in members]
        faults.append("units that depend on each other: " + ", ".join(component) + "\n    " + "\n    ".join(arrows))
    return faults


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
    faults = check(os.path.abspath(root))
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} include fault(s)")
        return 1
    print("include arrows: all point down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
