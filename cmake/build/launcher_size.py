#!/usr/bin/env python3
"""The launcher's bytes by the source folder they come from, read off the
linker's map: every input section the link kept that takes room in the
file (code, data, constants, unwind tables, resources), summed by the
folder of its object file. The
runtime (the C and C++ libraries, the start-up code, the import stubs) is
one row; the resources (the skin above all) another.

    launcher_size.py MAP PROGRAM LINK_DIR BUILD_DIR [--json]

MAP is the map the link wrote (-Wl,-Map), PROGRAM the linked launcher,
LINK_DIR the folder the link ran in (object paths in the map are relative
to it) and BUILD_DIR the build tree's top, whose folders mirror the
sources'.
"""
import json
import os
import re
import sys

# An input section: " .name  0xADDRESS  0xSIZE  object", the name sometimes
# on a line of its own when it is long.
SECTION = re.compile(r"^ (\.\S+|COMMON)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
NAME_ONLY = re.compile(r"^ (\.\S+|COMMON)\s*$")
CONTINUED = re.compile(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
# Sections that take no room in the file: zero-initialized data, and
# debugging data, which -s strips.
UNCOUNTED = (".bss", "COMMON", ".debug", ".stab", ".comment", ".gnu_debug")


def input_sections(map_text):
    """(section, size, object) of every section the link kept."""
    lines = map_text.split("\n")
    try:
        start = lines.index("Linker script and memory map") + 1
    except ValueError:
        raise SystemExit("launcher_size: no memory map in the map file")
    pending = None
    for line in lines[start:]:
        match = SECTION.match(line)
        if match:
            yield match.group(1), int(match.group(3), 16), match.group(4).strip()
            pending = None
            continue
        match = NAME_ONLY.match(line)
        if match:
            pending = match.group(1)
            continue
        match = CONTINUED.match(line)
        if match and pending:
            yield pending, int(match.group(2), 16), match.group(3).strip()
        pending = None


def source_dir(build_dir):
    with open(os.path.join(build_dir, "CMakeCache.txt"), encoding="utf-8") as cache:
        for line in cache:
            if line.startswith("CMAKE_HOME_DIRECTORY:"):
                return line.split("=", 1)[1].strip()
    raise SystemExit("launcher_size: no CMAKE_HOME_DIRECTORY in the build's cache")


def folder_of(obj, link_dir, build_dir, sources):
    """The source folder an object was compiled from, or a label. A member
    of a library names its source file only (qw_launcher.a(workspace.cpp.obj)),
    so the file is looked for below the library's own source folder."""
    archive = re.match(r"^(.*\.a)\((.*)\)$", obj)
    path = archive.group(1) if archive else obj
    member = archive.group(2) if archive else os.path.basename(obj)
    full = os.path.normpath(os.path.join(link_dir, path))
    build = os.path.normpath(build_dir)
    if not full.startswith(build + os.sep):
        return "(runtime and imports)"
    if member.endswith((".rc.obj", ".rc.res", ".res")):
        return "(resources)"
    parts = os.path.relpath(full, build).split(os.sep)
    parts = parts[:parts.index("CMakeFiles")] if "CMakeFiles" in parts else parts[:-1]
    library_folder = os.path.join(sources, *parts)
    source_name = re.sub(r"\.(obj|o)$", "", member)
    for folder, _, files in sorted(os.walk(library_folder)):
        if source_name in files:
            return os.path.relpath(folder, sources).replace(os.sep, "/") + "/"
    return "/".join(parts) + "/" if parts else "(top)"


def main():
    arguments = [a for a in sys.argv[1:] if not a.startswith("--")]
    if len(arguments) != 4:
        raise SystemExit(__doc__)
    map_path, program, link_dir, build_dir = arguments
    totals = {}
    sources = source_dir(build_dir)
    with open(map_path, encoding="utf-8", errors="replace") as handle:
        for section, size, obj in input_sections(handle.read()):
            if size == 0 or section.startswith(UNCOUNTED):
                continue
            if obj.startswith("*") or obj.startswith("linker stubs"):
                continue
            folder = "(resources)" if section.startswith(".rsrc") else folder_of(
                obj, link_dir, build_dir, sources)
            totals[folder] = totals.get(folder, 0) + size
    file_size = os.path.getsize(program)
    if "--json" in sys.argv:
        print(json.dumps({"file": file_size, "folders": totals}, indent=1, sort_keys=True))
        return
    ours = sum(size for folder, size in totals.items() if not folder.startswith("("))
    print(f"{program}: {file_size} bytes on disk")
    for folder, size in sorted(totals.items(), key=lambda item: (item[0].startswith("("), -item[1])):
        print(f"  {folder:34} {size:9d}")
    print(f"  {'our code and data, all folders':34} {ours:9d}")
    print(f"  {'on disk less the resources':34} {file_size - totals.get('(resources)', 0):9d}")


if __name__ == "__main__":
    main()
