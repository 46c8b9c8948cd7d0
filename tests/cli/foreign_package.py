#!/usr/bin/env python3
"""Writes a launcher-shaped program file whose package comes from the Python
writer of the Wine tests (its own CRC, LZ coder and field packing, none of the
project's C++). Prints the files it packed, as JSON."""
import json
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wine"))
from package_craft import BLOCK_SIZE, Entry, build_package, make_program  # noqa: E402


def main():
    text = b"".join(b"line %d of the readme, say it again and again\r\n" % i for i in range(300))
    files = [
        ("", "QWSetup.exe", b"MZ" + bytes(range(256)) * 3),
        ("docs", "readme.txt", text),
        ("docs\\中文", "名称.txt", "中文名称".encode("gbk") * 50),
        ("empty", "nothing.dat", b""),
        ("bin\\x64", "zeros.bin", bytes(BLOCK_SIZE * 2)),
    ]
    entries = [Entry(subdirectory, name, data, encoding="gbk") for subdirectory, name, data in files]
    stub = bytearray(b"MZ" + bytes(510))
    stub[0x3C:0x40] = (0x100).to_bytes(4, "little")
    with open(sys.argv[1], "wb") as f:
        f.write(make_program(bytes(stub), build_package(entries)))
    listing = [{"path": (s + "/" if s else "").replace("\\", "/") + n, "hex": d.hex()} for s, n, d in files]
    json.dump(listing, sys.stdout)


if __name__ == "__main__":
    main()
