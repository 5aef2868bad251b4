#!/usr/bin/env python3
"""Checks the include graph between the source tree's folders.

Every quoted #include of a tracked source file is an edge from the includer's folder to the
included file's folder. The folders are ranked in LAYERS, lowest first: a folder may include
folders of a lower rank and itself, nothing of its own rank or above. An include that goes
up or sideways, and a cycle (which such an include would be part of), fail the check.

  scripts/check-layers.py [--root DIR] [--graph]

--graph prints the edges between folders with the number of includes behind each.
"""

import argparse
import os
import re
import subprocess
import sys

# The allowed order, lowest first. Folders on one line share a rank and may not include one
# another. A folder is named by its path relative to the root; a file belongs to the
# longest folder named here that holds it. PLUGINS stands for the folders of the plug-ins
# that the root's plugins.txt lists.
PLUGINS = "<plug-ins>"
LAYERS = [
    ["foundation/host/base"],
    ["foundation/host/sdk", "foundation/host/win32", "foundation/vecmath"],
    ["foundation/host/ui", "foundation/host/image"],
    ["foundation/host/stdmaps", "foundation/noise"],
    ["foundation/texframe"],
    ["foundation/panelframe"],
    [PLUGINS, "tools"],
    ["app/core/loader", "app/core/render"],
    ["app/core/filter", "app/core/model"],
    ["app/core/scene", "app/core/stereo"],
    ["app/core/video"],
    ["app/core/jobs"],
    ["app/web", "app/gegl", "app/frei0r"],
    ["app/cli"],
    ["tests", "fuzz", "python"],
    ["bench"],
]

SOURCE_SUFFIXES = (".cpp", ".h", ".hpp", ".cc", ".rc")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def plugin_folders(root):
    """The folders of the plug-ins plugins.txt lists (NAME KIND [FOLDER] a line)."""
    try:
        with open(os.path.join(root, "plugins.txt"), encoding="utf-8") as f:
            lines = f.read().splitlines()
    except FileNotFoundError:
        return []
    folders = []
    for line in lines:
        fields = line.split()
        if fields and not fields[0].startswith("#"):
            folders.append(os.path.normpath(fields[2] if len(fields) > 2 else fields[0]))
    return folders


def rank_table(root):
    ranks = {}
    for rank, folders in enumerate(LAYERS):
        for folder in folders:
            for named in plugin_folders(root) if folder == PLUGINS else [folder]:
                ranks[named] = rank
    return ranks


def folder_of(path, ranks):
    """The longest folder of LAYERS holding `path`, or None."""
    best = None
    for folder in ranks:
        if path == folder or path.startswith(folder + "/"):
            if best is None or len(folder) > len(best):
                best = folder
    return best


def tracked_sources(root):
    try:
        out = subprocess.run(["git", "-C", root, "ls-files", "-z"], check=True,
                             capture_output=True).stdout.decode()
        files = [f for f in out.split("\0") if f]
    except (OSError, subprocess.CalledProcessError):
        files = []
        for dirpath, _, names in os.walk(root):
            for name in names:
                files.append(os.path.relpath(os.path.join(dirpath, name), root))
    return sorted(f for f in files if f.endswith(SOURCE_SUFFIXES))


def resolve(root, includer, target):
    """The included file relative to the root: from the root, else beside the includer."""
    if os.path.isfile(os.path.join(root, target)):
        return os.path.normpath(target)
    beside = os.path.normpath(os.path.join(os.path.dirname(includer), target))
    if os.path.isfile(os.path.join(root, beside)):
        return beside
    return None


def include_edges(root, ranks, unranked):
    """{(from folder, to folder): [(file, included file), ...]} for edges between folders.
    Folders holding sources but no rank are added to `unranked`."""
    edges = {}
    for path in tracked_sources(root):
        source = folder_of(path, ranks)
        if source is None:
            unranked.add(os.path.dirname(path) or ".")
            continue
        try:
            with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
                text = f.read()
        except OSError as e:
            sys.exit(f"check-layers: {path}: {e.strerror}")
        for target in INCLUDE.findall(text):
            resolved = resolve(root, path, target)
            if resolved is None:
                continue  # a generated or system header
            dest = folder_of(resolved, ranks)
            if dest is None or dest == source:
                continue
            edges.setdefault((source, dest), []).append((path, resolved))
    return edges


def find_cycle(edges):
    """One cycle of the folder graph as a list of folders, or None."""
    graph = {}
    for source, dest in edges:
        graph.setdefault(source, []).append(dest)
    state = {}
    stack = []

    def visit(node):
        state[node] = "open"
        stack.append(node)
        for nxt in sorted(graph.get(node, [])):
            if state.get(nxt) == "open":
                return stack[stack.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt)
                if found:
                    return found
        stack.pop()
        state[node] = "done"
        return None

    for node in sorted(graph):
        if node not in state:
            found = visit(node)
            if found:
                return found
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=os.path.join(os.path.dirname(__file__), ".."))
    parser.add_argument("--graph", action="store_true", help="print the folder graph")
    args = parser.parse_args()
    root = os.path.abspath(args.root)
    ranks = rank_table(root)
    unranked = set()
    edges = include_edges(root, ranks, unranked)
    for folder in sorted(unranked):
        print(f"check-layers: note: {folder} holds sources but has no rank in LAYERS; "
              "its includes are not checked", file=sys.stderr)

    if args.graph:
        for (source, dest), uses in sorted(edges.items()):
            print(f"{source} -> {dest} ({len(uses)})")

    failures = 0
    for (source, dest), uses in sorted(edges.items()):
        if ranks[dest] < ranks[source]:
            continue
        how = "sideways" if ranks[dest] == ranks[source] else "upward"
        for path, included in uses:
            print(f"check-layers: {path}: includes {included}, {how} from {source} to {dest}",
                  file=sys.stderr)
            failures += 1
    cycle = find_cycle(edges)
    if cycle:
        print("check-layers: cycle between folders: " + " -> ".join(cycle), file=sys.stderr)
        failures += 1
    if failures:
        return 1
    print(f"check-layers: {len(edges)} folder edges, none upward, no cycle")
    return 0


if __name__ == "__main__":
    sys.exit(main())
