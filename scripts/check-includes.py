#!/usr/bin/env python3
"""Checks the #include lines of the C++ sources against the layers of the code.

The core is layered format < preview < messages < comm < autosync (format, header-only, holds the
sign's message format); each core folder may include only its
own folder and the ones below it, never app/, tools/ or Qt. tools/ and app/ (the editor's Qt
windows) may include every core folder but not each other. A test (a file under <folder>/tests/) may include what its folder may, its
own folder's tests/, and testsupport/ - but only the testsupport headers whose own includes stay
within what the test may include. No unit includes its way back to itself, where a unit is a
header together with the source file of the same base name in the same folder: A.cpp including
B.h while B.h includes A.h is a cycle, because the two units cannot be built or understood one
without the other.

Usage: check-includes.py [ROOT]   (ROOT defaults to the repository this script lives in)
Prints one line per finding and exits with status 1 when there is any, 0 otherwise.
"""

import os
import re
import subprocess
import sys
from pathlib import PurePosixPath

CORE = ["format", "preview", "messages", "comm", "autosync"]  # bottom layer first
# The editor's windows: Qt code, all under app/.
APP_PATHS = ["app/"]
# Include directories besides the repository root and the including file's own directory.
EXTRA_INCLUDE_DIRS = ["app/tests/support"]
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc")

ALLOWED = {name: set(CORE[: i + 1]) for i, name in enumerate(CORE)}
ALLOWED["tools"] = set(CORE) | {"tools"}
ALLOWED["app"] = set(CORE) | {"app"}
ALLOWED["testsupport"] = set(CORE) | {"testsupport"}
ALLOWED["bench"] = set(CORE) | {"bench", "testsupport"}
ALLOWED["fuzz"] = set(CORE) | {"fuzz"}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
QT_HEADER = re.compile(r"^Q[A-Za-z]")


def unit_of(path):
    """The layer a repository file belongs to, or None when it is in none."""
    for prefix in APP_PATHS:
        if path.startswith(prefix):
            return "app"
    top = path.split("/", 1)[0]
    return top if top in ALLOWED else None


def tests_dir_of(path):
    """'<folder>/tests' for a file under a tests directory, else None."""
    parts = path.split("/")
    if "tests" in parts[:-1]:
        return "/".join(parts[: parts.index("tests") + 1])
    return None


def list_sources(root):
    try:
        out = subprocess.run(
            ["git", "-C", root, "ls-files", "--cached", "--others", "--exclude-standard"],
            check=True, capture_output=True, text=True).stdout.splitlines()
        files = [f for f in out if os.path.isfile(os.path.join(root, f))]
    except (OSError, subprocess.CalledProcessError):
        files = []
        for dirpath, dirnames, filenames in os.walk(root):
            dirnames[:] = [d for d in dirnames if not d.startswith((".", "build"))]
            rel = os.path.relpath(dirpath, root)
            files += [os.path.normpath(os.path.join(rel, f)) for f in filenames]
    return sorted(f.replace(os.sep, "/") for f in files if f.endswith(SOURCE_SUFFIXES))


def read_includes(root, path, known):
    """[(line number, spelled name, resolved repository path or None, is_angle)]"""
    result = []
    with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            m = INCLUDE.match(line)
            if not m:
                continue
            angle, name = m.group(1) == "<", m.group(2)
            dirs = [""] if angle else [str(PurePosixPath(path).parent), ""] + EXTRA_INCLUDE_DIRS
            resolved = None
            for d in dirs:
                candidate = os.path.normpath(os.path.join(d, name)).replace(os.sep, "/")
                if candidate in known:
                    resolved = candidate
                    break
            result.append((number, name, resolved, angle))
    return result


def find_cycles(graph):
    """Each strongly connected group of files that include each other, as one cycle path."""
    index, low, on_stack, stack, groups = {}, {}, set(), [], []
    for start in sorted(graph):
        if start in index:
            continue
        # Iterative Tarjan: (node, iterator over its successors).
        work = [(start, iter(sorted(graph[start])))]
        index[start] = low[start] = len(index)
        stack.append(start)
        on_stack.add(start)
        while work:
            node, successors = work[-1]
            advanced = False
            for nxt in successors:
                if nxt not in index:
                    index[nxt] = low[nxt] = len(index)
                    stack.append(nxt)
                    on_stack.add(nxt)
                    work.append((nxt, iter(sorted(graph[nxt]))))
                    advanced = True
                    break
                if nxt in on_stack:
                    low[node] = min(low[node], index[nxt])
            if advanced:
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                group = set()
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    group.add(member)
                    if member == node:
                        break
                if len(group) > 1 or node in graph[node]:
                    groups.append(group)
    cycles = []
    for group in groups:
        # Walk inside the group from its first file until a file repeats.
        path = [min(group)]
        while True:
            nxt = min(n for n in graph[path[-1]] if n in group)
            if nxt in path:
                cycles.append(path[path.index(nxt):] + [nxt])
                break
            path.append(nxt)
    return cycles


def unit_name(path):
    """The unit a file belongs to: its folder and base name, shared by a header and its source."""
    return os.path.splitext(path)[0]


def unit_cycles(graph):
    """Each group of units that include each other, as one cycle of file includes.

    A file's include of its own unit (A.cpp of A.h) is no edge, a file's include of itself is.
    In the cycle, "B.h ~ B.cpp" marks where the chain passes on from one file of a unit to
    another of the same unit."""
    edges = {}
    unit_graph = {unit_name(path): set() for path in graph}
    for path, targets in graph.items():
        for target in targets:
            if target == path or unit_name(target) != unit_name(path):
                unit_graph[unit_name(path)].add(unit_name(target))
                edges.setdefault((unit_name(path), unit_name(target)), []).append((path, target))
    cycles = []
    for units in find_cycles(unit_graph):
        chain, previous = [], None
        for step in zip(units, units[1:]):
            # Continue from the file the last step reached when that file has the next include.
            source, target = min(edges[step], key=lambda e: (e[0] != previous, e))
            if previous is None:
                chain.append(source)
            elif source != previous:
                chain[-1] += " ~ " + source
            chain.append(target)
            previous = target
        cycles.append(chain)
    return cycles


def check(root):
    files = list_sources(root)
    known = set(files)
    includes = {f: read_includes(root, f, known) for f in files}
    graph = {f: {r for _, _, r, _ in includes[f] if r} for f in files}
    findings = []

    # What each testsupport header pulls in, through the other testsupport headers it includes.
    reach_memo = {}

    def support_reach(path, seen=()):
        if path in reach_memo:
            return reach_memo[path]
        units = set()
        for target in graph[path]:
            if unit_of(target) == "testsupport":
                if target not in seen:
                    units |= support_reach(target, seen + (path,))
            elif unit_of(target):
                units.add(unit_of(target))
        reach_memo[path] = units
        return units

    for path in files:
        unit = unit_of(path)
        if unit is None:
            findings.append(f"{path}: not in any layer (scripts/check-includes.py lists them)")
            continue
        own_tests = tests_dir_of(path)
        allowed = ALLOWED[unit] | ({"testsupport"} if own_tests else set())
        for number, name, target, angle in includes[path]:
            where = f"{path}:{number}: #include {'<' if angle else chr(34)}{name}"
            where += ">" if angle else chr(34)
            if target is None:
                if angle and QT_HEADER.match(name) and unit != "app":
                    findings.append(f"{where}: Qt is for app/ only")
                continue
            target_unit = unit_of(target)
            target_tests = tests_dir_of(target)
            if target_tests and target_tests != own_tests:
                findings.append(f"{where}: another folder's test code; shared test helpers "
                                "belong in testsupport/")
            elif target_unit not in allowed:
                findings.append(f"{where}: {unit} may not include {target_unit}")
            elif target_unit == "testsupport" and unit != "testsupport":
                beyond = support_reach(target) - allowed
                if beyond:
                    findings.append(f"{where}: it brings in {', '.join(sorted(beyond))}, which "
                                    f"{unit} may not include")

    for cycle in unit_cycles(graph):
        findings.append("include cycle: " + " -> ".join(cycle))
    return findings


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(
        os.path.dirname(os.path.abspath(__file__)))
    findings = check(root)
    for line in findings:
        print(line)
    if findings:
        print(f"{len(findings)} include finding(s)", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
