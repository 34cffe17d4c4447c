#!/usr/bin/env python3
"""Figures on the shape of the code, to compare a tree before and after a clean-up.

    scripts/code-figures.py [--top N] [--dot FILE] [--no-duplicates]

Prints, for the tracked sources under src/ (generated files are not tracked):
  - the N longest files, in lines;
  - the N longest functions, in lines from signature to closing brace
    (Universal Ctags finds them and their ends);
  - the duplicates reports of the `duplicates` command over src/ and tests/,
    where that command is installed;
  - the module graph: which folder of src/ includes which, with the number of
    includes, and any cycles. --dot writes it as a Graphviz graph too.
"""

import argparse
import collections
import os
import re
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SRC = os.path.join(ROOT, "src")
SOURCE_ENDINGS = (".h", ".hpp", ".cpp", ".cc")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')


def tracked_sources():
    out = subprocess.run(["git", "-C", ROOT, "ls-files", "src"], check=True, capture_output=True, text=True)
    return sorted(p for p in out.stdout.split("\n") if p.endswith(SOURCE_ENDINGS))


def line_count(path):
    with open(os.path.join(ROOT, path), encoding="utf-8", errors="replace") as f:
        return sum(1 for _ in f)


def longest_files(files, top):
    sized = sorted(((line_count(p), p) for p in files), key=lambda e: (-e[0], e[1]))
    print(f"## The {top} longest files (lines), of {len(files)} under src/")
    for lines, path in sized[:top]:
        print(f"{lines:6d}  {path}")
    print()


def longest_functions(files, top):
    ctags = shutil.which("ctags")
    print(f"## The {top} longest functions (lines from signature to closing brace)")
    if not ctags:
        print("(ctags is not installed: apt-get install universal-ctags)\n")
        return
    out = subprocess.run(
        [ctags, "-f", "-", "--languages=C++", "--langmap=C++:+.h", "--kinds-C++=f", "--fields=+neZ"] + files,
        cwd=ROOT, check=True, capture_output=True, text=True).stdout
    functions = []
    for row in out.splitlines():
        parts = row.split("\t")
        fields = dict(f.split(":", 1) for f in parts[3:] if ":" in f)
        if "line" not in fields or "end" not in fields:
            continue
        start, end = int(fields["line"]), int(fields["end"])
        scope = fields.get("scope", "").split(":", 1)[-1]
        # Namespaces say little; a class names the function's owner.
        owner = scope.split("::")[-1] if fields.get("scope", "").startswith(("class:", "struct:")) else ""
        name = f"{owner}::{parts[0]}" if owner else parts[0]
        functions.append((end - start + 1, f"{parts[1]}:{start}", name))
    functions.sort(key=lambda e: (-e[0], e[1]))
    for lines, where, name in functions[:top]:
        print(f"{lines:6d}  {name}  ({where})")
    print()


def duplicates_report(most):
    # Over the code only: the translations repeat each other by nature.
    command = shutil.which("duplicates")
    for folder in ("src", "tests"):
        print(f"## Duplicates in {folder}/ (`duplicates --repo {folder} --most {most}`)")
        if not command:
            print("(the duplicates command is not installed here)\n")
            return
        out = subprocess.run([command, "--repo", os.path.join(ROOT, folder), "--most", str(most), "--seconds",
                              "300"], cwd=ROOT, capture_output=True, text=True)
        print((out.stdout + out.stderr).rstrip())
        print()


def module_of(path):
    """The folder of src/ a file belongs to: engine, imaging, imaging/gif, ..."""
    return os.path.dirname(os.path.relpath(path, SRC)) or "."


def module_graph(files, dot):
    """Resolves each include as the compiler does (beside the file, then from src/)."""
    edges = collections.Counter()
    for path in files:
        full = os.path.join(ROOT, path)
        with open(full, encoding="utf-8", errors="replace") as f:
            for line in f:
                m = INCLUDE.match(line)
                if not m:
                    continue
                form, name = m.groups()
                candidates = ([os.path.join(os.path.dirname(full), name)] if form == '"' else []) + [
                    os.path.join(SRC, name)]
                target = next((os.path.normpath(c) for c in candidates if os.path.isfile(c)), None)
                if target is None or not target.startswith(SRC + os.sep):
                    continue
                a, b = module_of(full), module_of(target)
                if a != b:
                    edges[(a, b)] += 1
    nodes = sorted({module_of(os.path.join(ROOT, p)) for p in files})
    print(f"## Module graph: {len(nodes)} folders under src/, {len(edges)} arrows (includes across folders)")
    for (a, b), n in sorted(edges.items()):
        print(f"  {a} -> {b}  ({n})")

    # Cycles: folders that reach each other (strongly connected components).
    graph = collections.defaultdict(set)
    for a, b in edges:
        graph[a].add(b)
    reach = {n: set() for n in nodes}
    for n in nodes:
        stack = [n]
        while stack:
            for m in graph[stack.pop()]:
                if m not in reach[n]:
                    reach[n].add(m)
                    stack.append(m)
    cycles = sorted({tuple(sorted({n} | {m for m in reach[n] if n in reach[m]})) for n in nodes if n in reach[n]})
    print("  cycles: " + ("; ".join(" <-> ".join(c) for c in cycles) if cycles else "none"))
    print()

    if dot:
        with open(dot, "w", encoding="utf-8") as f:
            f.write("digraph modules {\n  rankdir=BT;\n  node [shape=box];\n")
            for (a, b), n in sorted(edges.items()):
                f.write(f'  "{a}" -> "{b}" [label="{n}"];\n')
            f.write("}\n")
        print(f"(Graphviz graph written to {dot})\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--top", type=int, default=10, help="how many files and functions (10)")
    parser.add_argument("--dot", help="also write the module graph to this Graphviz file")
    parser.add_argument("--no-duplicates", action="store_true", help="leave out the duplicates report")
    args = parser.parse_args()
    files = tracked_sources()
    if not files:
        sys.exit("code-figures.py: no tracked sources under src/")
    print(f"# Code figures at {subprocess.run(['git', '-C', ROOT, 'rev-parse', '--short', 'HEAD'], capture_output=True, text=True).stdout.strip()}\n")
    longest_files(files, args.top)
    longest_functions(files, args.top)
    if not args.no_duplicates:
        duplicates_report(max(args.top, 20))
    module_graph(files, args.dot)


if __name__ == "__main__":
    main()
