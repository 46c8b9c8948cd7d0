#!/usr/bin/env python3
"""Gives the dialog templates of a compiled resource file (.res) back the
control class names as the script spells them. windres upper-cases them
(msctls_progress32 becomes MSCTLS_PROGRESS32); the system looks classes up
without regard to case, but the templates should hold what was written.

usage: keep_class_case.py RES_FILE
"""
import struct
import sys

CLASS_NAMES = ["msctls_progress32"]
RT_DIALOG = 5


def entries(data):
    """(type ordinal or None, data offset, data size) of each resource."""
    offset = 0
    while offset + 8 <= len(data):
        data_size, header_size = struct.unpack_from("<II", data, offset)
        kind = None
        if data[offset + 8:offset + 10] == b"\xff\xff":
            kind = struct.unpack_from("<H", data, offset + 10)[0]
        start = offset + header_size
        yield kind, start, data_size
        offset = (start + data_size + 3) & ~3


def restore(data):
    data = bytearray(data)
    for kind, start, size in entries(bytes(data)):
        if kind != RT_DIALOG:
            continue
        for name in CLASS_NAMES:
            wrong = name.upper().encode("utf-16-le") + b"\x00\x00"
            right = name.encode("utf-16-le") + b"\x00\x00"
            body = bytes(data[start:start + size]).replace(wrong, right)
            data[start:start + size] = body
    return bytes(data)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    with open(sys.argv[1], "wb") as f:
        f.write(restore(data))


if __name__ == "__main__":
    main()
