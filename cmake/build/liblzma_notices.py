#!/usr/bin/env python3
"""Writes the notices of the liblzma in qwpack.exe, quoting the xz-utils
source package's debian/copyright: its header paragraph (the summary of
which licence covers which part) and every Files paragraph that covers
liblzma's sources, word for word.

    liblzma_notices.py DEBIAN_COPYRIGHT VERSION OUTPUT
"""
import re
import sys

LIBLZMA_FILES = re.compile(r"^(\*|src/liblzma/\S*)$")


def covers_liblzma(paragraph):
    """A Files paragraph whose patterns include * or a path in src/liblzma/."""
    match = re.match(r"Files:(.*?)(?=^\S)", paragraph + "\nEnd:", re.S | re.M)
    return bool(match) and any(LIBLZMA_FILES.match(p) for p in match.group(1).split())


def main():
    copyright_path, version, output = sys.argv[1:]
    with open(copyright_path, encoding="utf-8") as source:
        paragraphs = [p.strip("\n") for p in re.split(r"\n[ \t]*\n", source.read()) if p.strip()]
    header = paragraphs[0]
    files = [p for p in paragraphs[1:] if covers_liblzma(p)]
    if "liblzma is in the public domain" not in header or not files:
        sys.exit(f"{copyright_path} does not say what liblzma's licence is; its notice needs "
                 "a look before qwpack.exe ships with it")
    with open(output, "w", encoding="utf-8", newline="\r\n") as out:
        out.write(
            "qwpack.exe is linked statically with liblzma from XZ Utils, built from Debian's\n"
            f"xz-utils {version} source package. Its licence, as the package's\n"
            "debian/copyright states it (the header and the paragraphs covering liblzma's\n"
            "sources, quoted word for word):\n\n")
        out.write("\n\n".join([header, *files]) + "\n")


if __name__ == "__main__":
    main()
