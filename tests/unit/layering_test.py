#!/usr/bin/env python3
"""The layers by who runs the code, held against the sources and the built
libraries: no folder includes one above it, and nothing the launcher links
refers to a symbol of the encoder or the image editor.

usage: layering_test.py SOURCE_DIR BUILD_DIR...
Each BUILD_DIR that exists (build/host, build/win64) has its libraries read
with its own nm.
"""
import os
import re
import subprocess
import sys
import unittest

# What each folder may include besides itself; tools, tests and bench may
# include anything.
MAY_INCLUDE = {
    "platform": set(),
    "common": {"platform"},
    "decode": {"common", "platform"},
    "launcher": {"decode", "common", "platform"},
    "encode": {"decode", "common", "platform"},
    "image": {"common", "platform"},
}
# The libraries the launcher links, and those only qwpack and the tests do.
LAUNCHER_LIBRARIES = ("platform/libqw_platform.a", "common/libqw_common.a",
                      "decode/libqw_decode.a", "launcher/libqw_launcher.a")
PUBLISHER_LIBRARIES = ("encode/libqw_encode.a", "encode/libqw_lzma_encoder.a",
                       "encode/pipeline/libqw_pipeline.a", "image/libqw_image.a")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)

SOURCE = None
BUILDS = []


def layer_of(path):
    top = path.split("/")[0]
    return top if top in MAY_INCLUDE else None


def symbols(nm, library, defined):
    """The external symbols a library defines, or those it leaves undefined."""
    option = "--defined-only" if defined else "--undefined-only"
    out = subprocess.run([nm, option, "--extern-only", library], capture_output=True, text=True,
                         check=True).stdout
    found = set()
    for line in out.splitlines():
        fields = line.split()
        if len(fields) >= 2 and (not defined or len(fields) == 3):
            found.add(fields[-1])
    return found


def nm_for(build):
    with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8") as handle:
        cache = handle.read()
    match = re.search(r"^CMAKE_NM:FILEPATH=(.*)$", cache, re.M)
    return match.group(1) if match else "nm"


class Layering(unittest.TestCase):
    def test_no_folder_includes_one_above_it(self):
        wrong = []
        for layer, allowed in MAY_INCLUDE.items():
            for folder, _, files in os.walk(os.path.join(SOURCE, layer)):
                for name in files:
                    if not name.endswith((".cpp", ".h", ".rc")):
                        continue
                    path = os.path.join(folder, name)
                    relative = os.path.relpath(path, SOURCE)
                    with open(path, encoding="utf-8") as handle:
                        source = handle.read()
                    for included in INCLUDE.findall(source):
                        target = layer_of(included)
                        if target and target != layer and target not in allowed:
                            wrong.append(f"{relative} includes {included}")
        self.assertEqual(wrong, [])

    def test_the_launchers_libraries_refer_to_no_encoder_or_image_symbol(self):
        if not BUILDS:
            self.skipTest("no build folder")
        for build in BUILDS:
            nm = nm_for(build)
            publisher = set()
            for library in PUBLISHER_LIBRARIES:
                path = os.path.join(build, library)
                if os.path.exists(path):
                    publisher |= symbols(nm, path, defined=True)
            self.assertGreater(len(publisher), 50, f"{build}: the encoder's libraries")
            for library in LAUNCHER_LIBRARIES:
                with self.subTest(build=build, library=library):
                    needed = symbols(nm, os.path.join(build, library), defined=False)
                    self.assertEqual(sorted(needed & publisher), [])


if __name__ == "__main__":
    SOURCE = sys.argv[1]
    BUILDS = [b for b in sys.argv[2:] if os.path.exists(os.path.join(b, "CMakeCache.txt"))]
    del sys.argv[1:]
    unittest.main()
