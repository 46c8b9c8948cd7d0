#!/usr/bin/env python3
"""Writes the seed corpora: a few valid decoder streams and program files."""
import os
import subprocess
import sys

here = os.path.dirname(os.path.abspath(__file__))
corpus = os.path.join(here, "corpus")


def seed(kind, name, data):
    os.makedirs(os.path.join(corpus, kind), exist_ok=True)
    with open(os.path.join(corpus, kind, name), "wb") as f:
        f.write(data)


# Decoder: two bytes of output length, then the stored bytes.
seed("decode", "worked_example", (9).to_bytes(2, "little") + bytes([0x20, 0x90, 0x88, 0x64, 0x4C, 0x22]))
seed("decode", "overlap", (8).to_bytes(2, "little") + bytes([0x20, 0x90, 0xB9, 0x00]))
seed("decode", "long_match", (4096).to_bytes(2, "little") + bytes([0x3D, 0x7F, 0xF7, 0xFF, 0x80]))

# Round trip: blocks to encode.
seed("roundtrip", "text", b"the quick brown fox jumps over the lazy dog; " * 20)
seed("roundtrip", "run", b"a" * 300)
seed("roundtrip", "period3", b"abc" * 40 + b"abd")
seed("roundtrip", "binary", bytes((i * 37 + (i >> 3)) & 0xFF for i in range(1000)))

sys.path.insert(0, os.path.join(here, "..", "cli"))
program = os.path.join(corpus, "package", "foreign")
os.makedirs(os.path.dirname(program), exist_ok=True)
subprocess.check_call([sys.executable, os.path.join(here, "..", "cli", "foreign_package.py"), program],
                      stdout=subprocess.DEVNULL)


def resource_image():
    """A small 32-bit program file laid out as the launcher is: the PE header
    at 136, .rsrc then .reloc, the resources a brand rewrites (a string table
    block, a manifest, an icon group with its icon, a 1 x 4 bitmap)."""
    import struct
    manifest = (b'<assembly><trustInfo><security><requestedPrivileges>'
                b'<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>'
                b'</requestedPrivileges></security></trustInfo></assembly>')
    strings = b"".join(struct.pack("<H", len(t)) + t.encode("utf-16-le")
                       for t in ["", "Orvandelle", "Name"] + [""] * 13)
    icon = struct.pack("<IiiHHIIiiII", 40, 1, 2, 1, 32, 0, 0, 0, 0, 0, 0) + bytes(4 + 4)
    group = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHIH", 1, 1, 0, 0, 1, 32, len(icon), 1)
    bitmap = struct.pack("<IiiHHIIiiII", 40, 1, 4, 1, 24, 0, 16, 0, 0, 0, 0) + bytes(16)
    resources = [(2, 134, bitmap), (3, 1, icon), (6, 1, strings), (14, 128, group), (24, 1, manifest)]
    rva = 0x1000
    tree = bytearray(16 + 8 * len(resources))
    struct.pack_into("<HH", tree, 12, 0, len(resources))
    # Each type holds one name holding one language: 3 directories and an entry each.
    entries = len(tree) + len(resources) * (24 + 24)
    data_at = entries + 16 * len(resources)
    blobs = bytearray()
    base = len(tree)
    for i, (kind, name, data) in enumerate(resources):
        type_dir = base + 48 * i
        name_dir = type_dir + 24
        struct.pack_into("<II", tree, 16 + 8 * i, kind, 0x80000000 | type_dir)
        tree += struct.pack("<IIHHHH", 0, 0, 0, 0, 0, 1) + struct.pack("<II", name, 0x80000000 | name_dir)
        tree += struct.pack("<IIHHHH", 0, 0, 0, 0, 0, 1) + struct.pack("<II", 0x409, entries + 16 * i)
    for i, (_, _, data) in enumerate(resources):
        offset = data_at + len(blobs)
        tree += struct.pack("<IIII", rva + offset, len(data), 0, 0)
        blobs += data + bytes(-len(data) % 8)
    rsrc = bytes(tree + blobs)
    rsrc += bytes(-len(rsrc) % 0x200)
    reloc = struct.pack("<IIHH", 0x1000, 12, 0, 0) + bytes(0x200 - 12)
    headers = bytearray(0x200)
    headers[0:2] = b"MZ"
    struct.pack_into("<I", headers, 0x3C, 136)
    pe = 136
    headers[pe:pe + 4] = b"PE\0\0"
    struct.pack_into("<HHIIIHH", headers, pe + 4, 0x14C, 2, 0, 0, 0, 224, 0x0102)
    optional = pe + 24
    size_of_image = 0x2000 + 0x1000
    struct.pack_into("<HBBIIIIIIIIIHHHHHHIIIIHHIIIIII", headers, optional, 0x10B, 2, 0, 0, len(rsrc),
                     0, 0x1000, 0x1000, 0, 0x400000, 0x1000, 0x200, 4, 0, 0, 0, 4, 0,
                     0, size_of_image, 0x200, 0, 2, 0x140, 0x100000, 0x1000, 0x100000, 0x1000, 0, 16)
    directories = optional + 96
    struct.pack_into("<II", headers, directories + 16, 0x1000, len(tree) + len(blobs))
    struct.pack_into("<II", headers, directories + 40, 0x2000, 12)
    table = optional + 224
    struct.pack_into("<8sIIIIIIHHI", headers, table, b".rsrc", len(rsrc), 0x1000, len(rsrc), 0x200,
                     0, 0, 0, 0, 0x40000040)
    struct.pack_into("<8sIIIIIIHHI", headers, table + 40, b".reloc", 12, 0x2000, 0x200,
                     0x200 + len(rsrc), 0, 0, 0, 0, 0x42000040)
    return bytes(headers) + rsrc + reloc


seed("resource", "launcher_like", resource_image())
