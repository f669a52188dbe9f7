#!/usr/bin/env python3
"""Checks the library layering of a build: every source compiles once, the
declared links between the project's libraries form no cycle, and every
symbol a library takes from another of them comes from one it declares
(directly or below)."""
import os
import re
import subprocess
import sys


def declared_graph(listing):
    """Library -> (archive, set of project libraries it links), from the
    listing the configure step writes (name, archive, links)."""
    libs = {}
    for line in open(listing):
        name, archive, links = (line.rstrip("\n").split("|") + [""])[:3]
        libs[name] = (archive, {l for l in links.split(";") if l})
    return {n: (a, d & libs.keys()) for n, (a, d) in libs.items()}


def find_cycle(graph):
    state = {}
    def visit(n, path):
        state[n] = 1
        for m in sorted(graph[n]):
            if state.get(m) == 1:
                return path + [n, m]
            if m not in state:
                c = visit(m, path + [n])
                if c:
                    return c
        state[n] = 2
        return None
    for n in sorted(graph):
        if n not in state:
            c = visit(n, [])
            if c:
                return c
    return None


def below(graph, lib):
    seen, todo = set(), [lib]
    while todo:
        for m in graph[todo.pop()]:
            if m not in seen:
                seen.add(m)
                todo.append(m)
    return seen


def symbols(archive, defined):
    flag = ["--defined-only"] if defined else ["-u"]
    out = subprocess.run(["nm", "-C"] + flag + [archive], capture_output=True, text=True).stdout
    syms = set()
    for line in out.splitlines():
        parts = line.split(None, 2)
        if defined and len(parts) == 3 and parts[1] in "TDBRVW":
            syms.add(parts[2])
        elif not defined and line.lstrip().startswith("U "):
            syms.add(line.lstrip()[2:])
    return syms


def sources_compiled_twice(build):
    """Sources that more than one target compiles (Ninja builds; else none)."""
    ninja = os.path.join(build, "build.ninja")
    if not os.path.exists(ninja):
        return []
    seen = {}
    for line in open(ninja):
        m = re.match(r"build \S+\.o: \w+_COMPILER__\S+ (\S+)", line)
        if m:
            seen[m.group(1)] = seen.get(m.group(1), 0) + 1
    return sorted(src for src, n in seen.items() if n > 1)


def main():
    listing = sys.argv[1] if len(sys.argv) > 1 else "build/libraries.txt"
    twice = sources_compiled_twice(os.path.dirname(os.path.abspath(listing)))
    for src in twice:
        print(f"{src} is compiled by more than one target")
    if twice:
        return 1
    libs = declared_graph(listing)
    graph = {l: d for l, (_, d) in libs.items()}
    cycle = find_cycle(graph)
    if cycle:
        print("library cycle: " + " -> ".join(cycle))
        return 1
    defined = {l: symbols(a, True) for l, (a, _) in libs.items()}
    bad = 0
    for lib, (archive, _) in sorted(libs.items()):
        reach = below(graph, lib)
        for sym in sorted(symbols(archive, False) - defined[lib]):
            owners = {l for l, d in defined.items() if sym in d and l != lib}
            if owners and not owners & reach:
                print(f"{lib} takes {sym} from {', '.join(sorted(owners))}, which it does not link")
                bad += 1
    for lib in sorted(graph):
        print(f"{lib}: {' '.join(sorted(graph[lib])) or '-'}")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
