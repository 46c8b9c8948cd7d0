#!/usr/bin/env python3
"""Writes the Debian copyright file (machine-readable format) from LICENSE.

    debian_copyright.py LICENSE OUTPUT
"""
import re
import sys


def main():
    with open(sys.argv[1], encoding="utf-8") as source:
        text = source.read()
    holder = re.search(r"^Copyright \(c\) (.+)$", text, re.M).group(1)
    grant = text[text.index("Permission is hereby granted"):].strip()
    body = "\n".join(" " + line if line.strip() else " ." for line in grant.splitlines())
    stanzas = [
        "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
        "Upstream-Name: qwlauncher\n",
        f"Files: *\nCopyright: {holder}\nLicense: Expat\n",
        f"Files: usr/share/qwpack/*.exe\nCopyright: {holder}\nLicense: Expat\n"
        "Comment: The launchers are Windows programs linked statically with the MinGW-w64\n"
        " runtime and GCC's runtime libraries, which are under licences of their own.\n",
        f"License: Expat\n{body}\n",
    ]
    with open(sys.argv[2], "w", encoding="utf-8") as out:
        out.write("\n".join(stanzas))


if __name__ == "__main__":
    main()
