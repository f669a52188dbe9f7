#!/usr/bin/env python3
"""Checks the library layering of a build: every source compiles once, the
declared links between the project's libraries form no cycle, every
symbol a library takes from another of them comes from one it declares
(directly or below), no file of a library includes a header of a
library it does not link nor declares ahead a type only such a library
defines, and no name of the RI C binding (RiSphere, RiLastError, RI_P...)
is defined twice among the libraries.

  check_layering.py [LISTING] [--source LIB=FILE]...
--source counts FILE as a source of LIB as well."""
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


RI_NAME = re.compile(r"^(Ri[A-Z]\w*|RI_[A-Z]\w*)$")


def ri_names_defined_twice(archives):
    """C names of the RI binding defined by more than one member of the
    libraries' archives, with the libraries defining them."""
    where = {}
    for lib, archive in sorted(archives.items()):
        out = subprocess.run(["nm", "--defined-only", archive], capture_output=True, text=True).stdout
        for line in out.splitlines():
            parts = line.split()
            if len(parts) == 3 and parts[1] in "TDBRVWGS" and RI_NAME.match(parts[2]):
                where.setdefault(parts[2], []).append(lib)
    return {name: libs for name, libs in sorted(where.items()) if len(libs) > 1}


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


def compiled_sources(build):
    """Library -> project-relative sources it compiles (Ninja builds; else none)."""
    ninja = os.path.join(build, "build.ninja")
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    found = {}
    if not os.path.exists(ninja):
        return found
    for line in open(ninja):
        m = re.match(r"build \S+\.o: \w+_COMPILER__(\S+)_[A-Za-z]+ (\S+)", line)
        if m:
            found.setdefault(m.group(1), set()).add(os.path.relpath(m.group(2), root))
    return found


INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)

DEFINITION = re.compile(r"^\s*(?:typedef\s+)?(?:class|struct)\s+(\w+)\s*(?:final\s*)?(?::[^;{]*)?\{", re.M)
FORWARD = re.compile(r"^\s*(?:class|struct)\s+(\w+)\s*;", re.M)
COMMENT = re.compile(r'//[^\n]*|/\*.*?\*/|"(?:\\.|[^"\\\n])*"', re.S)


def header_owners(sources, root):
    """Project header -> the library that owns it: every header of the
    library's folder, by its path and, for a public one (LIB/include/LIB/x.h),
    by the spelling that includes it ("LIB/x.h")."""
    owners = {}
    for lib in sources:
        folder = os.path.join(root, lib)
        if not os.path.isdir(folder):
            continue
        public = os.path.join(folder, "include")
        for base, _, names in os.walk(folder):
            for name in names:
                if name.endswith((".h", ".hpp")):
                    path = os.path.join(base, name)
                    owners[os.path.relpath(path, root)] = lib
                    if path.startswith(public + os.sep):
                        owners[os.path.relpath(path, public)] = lib
    return owners


def library_files(sources, owners, root):
    """Project file -> its library: the sources, then the owned headers."""
    files = {}
    for lib, fs in sources.items():
        for f in fs:
            files[f] = lib
    for h, lib in owners.items():
        if os.path.exists(os.path.join(root, h)):
            files.setdefault(h, lib)
    return files


def library_texts(graph, sources, root, owners):
    """(file, library, libraries it reaches, text) of every file of a
    library in the graph."""
    for f, lib in sorted(library_files(sources, owners, root).items()):
        if lib not in graph:
            continue
        try:
            text = open(os.path.join(root, f), errors="replace").read()
        except OSError:
            continue
        yield f, lib, below(graph, lib) | {lib}, text


def upward_includes(graph, sources, root):
    """Lines "file (lib) includes header of lib2, which it does not link"."""
    owners = header_owners(sources, root)
    bad = []
    for f, lib, reach, text in library_texts(graph, sources, root, owners):
        for inc in INCLUDE.findall(text):
            owner = owners.get(inc)
            if owner and owner in graph and owner not in reach:
                bad.append(f"{f} ({lib}) includes {inc} of {owner}, which it does not link")
    return bad


def upward_names(graph, sources, root):
    """Lines "file (lib) declares type of lib2, which it does not link": a
    type declared ahead that only libraries the file's does not reach define
    in their headers."""
    owners = header_owners(sources, root)
    defined = {}
    for h, lib in owners.items():
        if lib not in graph:
            continue
        try:
            text = COMMENT.sub(" ", open(os.path.join(root, h), errors="replace").read())
        except OSError:
            continue
        for name in DEFINITION.findall(text):
            defined.setdefault(name, set()).add(lib)
    bad = []
    for f, lib, reach, text in library_texts(graph, sources, root, owners):
        for name in sorted(set(FORWARD.findall(COMMENT.sub(" ", text)))):
            libs = defined.get(name, set())
            if libs and not libs & reach:
                bad.append(f"{f} ({lib}) declares {name} of {', '.join(sorted(libs))}, which it does not link")
    return bad


def main():
    args = sys.argv[1:]
    extra = []
    while "--source" in args:
        i = args.index("--source")
        extra.append(args[i + 1].split("=", 1))
        del args[i:i + 2]
    listing = args[0] if args else "build/libraries.txt"
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
    for name, owners in ri_names_defined_twice({l: a for l, (a, _) in libs.items()}).items():
        print(f"{name} is defined more than once: {', '.join(owners)}")
        bad += 1
    for lib, (archive, _) in sorted(libs.items()):
        reach = below(graph, lib)
        for sym in sorted(symbols(archive, False) - defined[lib]):
            owners = {l for l, d in defined.items() if sym in d and l != lib}
            if owners and not owners & reach:
                print(f"{lib} takes {sym} from {', '.join(sorted(owners))}, which it does not link")
                bad += 1
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    sources = compiled_sources(os.path.dirname(os.path.abspath(listing)))
    for lib, f in extra:
        sources.setdefault(lib, set()).add(os.path.relpath(os.path.abspath(f), root))
    for line in upward_includes(graph, sources, root) + upward_names(graph, sources, root):
        print(line)
        bad += 1
    for lib in sorted(graph):
        print(f"{lib}: {' '.join(sorted(graph[lib])) or '-'}")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
