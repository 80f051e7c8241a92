#!/usr/bin/env python3
"""Checks that the source folders depend on each other only downwards, along the data's path.

Every quoted #include of a repository file, and every orv_* library a folder's CMakeLists.txt
links, must belong to the folder itself or to a layer below it in LAYERS. Qt headers appear
only in shell/qt/. A production source file (outside tests/ and bench/) longer than
MAX_LINES lines fails.

Usage: scripts/check-layers.py [REPOSITORY_ROOT]     exit status 0 clean, 1 violations
"""

import pathlib
import re
import sys

# Each folder and the folders directly below it; a folder may use everything reachable
# downwards. A new source folder must be added here before it may hold code.
LAYERS = {
    "image": ["numeric"],
    "numeric": [],
    "colour": ["numeric", "image"],
    "scielab": ["colour"],
    "measure": ["scielab", "media"],
    "media": ["numeric", "image"],
    "encode": ["media"],
    "report": ["measure", "encode"],
    "resources": [],
    "shell": ["measure", "media", "report", "encode", "resources"],
    "shell/qt": ["shell"],
    "cli": ["measure", "media", "report", "encode", "resources"],
    "python": ["measure", "media", "report", "encode", "resources"],
}
# Folders that may use anything and are not production code.
FREE = ["tests", "bench"]
# Folders that hold no C or C++ code of their own.
NOT_CODE = ["build", "docs", "profiles", "samples", "scripts", "packaging", "out"]

MAX_LINES = 650

SOURCE_SUFFIXES = {".c", ".cc", ".cpp", ".h", ".hpp"}
QUOTED_INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)
QT_INCLUDE = re.compile(r"^\s*#\s*include\s*<(Q[A-Za-z]+|Qt[A-Za-z]*/[^>]*)>", re.M)
LINKED_LIBRARY = re.compile(r"\borv_([a-z_]+)\b")
LINK_CALL = re.compile(r"target_link_libraries\s*\(([^)]*)\)", re.S)


def reachable(folder):
    """The folder and every folder below it."""
    seen, todo = set(), [folder]
    while todo:
        f = todo.pop()
        if f not in seen:
            seen.add(f)
            todo.extend(LAYERS[f])
    return seen


def layer_of(relative_path):
    """The layer a repository path belongs to (the longest matching folder), or None."""
    parts = pathlib.PurePosixPath(relative_path).parts
    for n in range(len(parts) - 1, 0, -1):
        folder = "/".join(parts[:n])
        if folder in LAYERS or folder in FREE:
            return folder
    return None


def source_files(root):
    """Every file under the root outside hidden folders and the folders that hold no code."""
    for top in sorted(root.iterdir()):
        if top.name.startswith(".") or top.name in NOT_CODE:
            continue
        if top.is_dir():
            yield from sorted(p for p in top.rglob("*") if p.is_file())


def check(root):
    errors, warnings = [], []
    for path in source_files(root):
        rel = path.relative_to(root).as_posix()
        top = rel.split("/")[0]
        if path.suffix not in SOURCE_SUFFIXES and path.name != "CMakeLists.txt":
            continue
        layer = layer_of(rel)
        if layer is None:
            if path.suffix in SOURCE_SUFFIXES:
                errors.append(f"{rel}: folder {top}/ has no place in the layer table of scripts/check-layers.py")
            continue
        if layer in FREE:
            continue
        allowed = reachable(layer)
        text = path.read_text(encoding="utf-8", errors="replace")

        if path.name == "CMakeLists.txt":
            for call in LINK_CALL.findall(text):
                for library in LINKED_LIBRARY.findall(call):
                    target = library.replace("_", "/")
                    if target in LAYERS and target not in allowed:
                        errors.append(f"{rel}: {layer}/ links orv_{library}, which is not below it")
            continue

        for included in QUOTED_INCLUDE.findall(text):
            if ".." in pathlib.PurePosixPath(included).parts:
                errors.append(f"{rel}: includes \"{included}\"; include from the repository root")
                continue
            if (root / included).is_file():
                target = layer_of(included)
            elif (path.parent / included).is_file():
                target = layer
            else:
                continue  # a header from outside the repository
            if target not in allowed:
                errors.append(f"{rel}: {layer}/ includes {included}, which is not below it")
        if layer != "shell/qt":
            for qt in QT_INCLUDE.findall(text):
                errors.append(f"{rel}: includes <{qt}>; only shell/qt/ uses Qt")

        lines = text.count("\n")
        if lines > MAX_LINES:
            note = f"{rel}: {lines} lines (more than {MAX_LINES})"
            errors.append(note)
    return errors, warnings


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent)
    errors, warnings = check(root.resolve())
    for w in warnings:
        print(f"warning: {w}")
    for e in errors:
        print(f"error: {e}")
    print(f"check-layers: {len(errors)} errors, {len(warnings)} warnings")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
