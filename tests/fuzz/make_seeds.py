#!/usr/bin/env python3
"""Writes the seed corpora.

    make_seeds.py                 the checked-in seeds (tests/fuzz/corpus): a few
                                  decoder streams, blocks and program files
    make_seeds.py --built WORK    seeds made from the built launchers
                                  (build/win32, build/win64) into the working
                                  corpora WORK/<harness>; scripts/run-fuzzers.sh
                                  calls it before each run
"""
import lzma
import os
import random
import shutil
import struct
import subprocess
import sys

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.abspath(os.path.join(here, "..", ".."))
corpus = os.path.join(here, "corpus")
sys.path.insert(0, os.path.join(root, "tests", "wine"))
from package_craft import BLOCK_SIZE, Entry, build_package, make_program  # noqa: E402


def seed(kind, name, data):
    os.makedirs(os.path.join(corpus, kind), exist_ok=True)
    with open(os.path.join(corpus, kind, name), "wb") as f:
        f.write(data)


def resource_start(data):
    """The file offset of a PE file's resource directory."""
    u16 = lambda at: struct.unpack_from("<H", data, at)[0]  # noqa: E731
    u32 = lambda at: struct.unpack_from("<I", data, at)[0]  # noqa: E731
    pe = u32(0x3C)
    optional = pe + 24
    directories = optional + (112 if u16(optional) == 0x20B else 96)
    rva = u32(directories + 16)
    for i in range(u16(pe + 6)):
        at = optional + u16(pe + 20) + 40 * i
        address, raw_size, raw_offset = u32(at + 12), u32(at + 16), u32(at + 20)
        if address <= rva < address + raw_size:
            return raw_offset + rva - address
    raise SystemExit("make_seeds: the launcher has no resource section")


def hostile_resource_variants(launcher):
    """The launcher with the shapes that once cost the readers time or broke
    their text: lone surrogates in its names, and every type entry naming
    one shared directory."""
    surrogates = bytearray(launcher)
    for text in ("Orvandelle", "The qwlauncher authors"):
        at = surrogates.find(text.encode("utf-16-le"))
        if at > 0:
            surrogates[at + 2:at + 4] = b"\x00\xD8"
    yield "lone-surrogates.exe", bytes(surrogates)
    shared = bytearray(launcher)
    start, count = resource_start(launcher), 2000
    size = 16 + 8 * count
    for directory, target in ((0, size), (size, 2 * size)):
        struct.pack_into("<IIHHHH", shared, start + directory, 0, 0, 0, 0, 0, count)
        for i in range(count):
            struct.pack_into("<II", shared, start + directory + 16 + 8 * i, i + 1,
                             0x80000000 | target)
    yield "shared-directory.exe", bytes(shared)
    # An icon whose 64 images are one and the same stretch of the file.
    image = b"\x89PNG\r\n\x1a\n" + bytes(16 << 10)
    icon = struct.pack("<HHH", 0, 1, 64)
    for _ in range(64):
        icon += struct.pack("<BBBBHHII", 0, 0, 0, 0, 1, 32, len(image), 6 + 16 * 64)
    yield "overlapping-images.ico", icon + image


def seed_built(work):
    """Both launchers as the image readers' seeds, and the 32-bit one with a
    package of multi-block entries (coded, plain, a short last block) as the
    package harness's: well under the 1 MiB the harnesses run with."""
    launchers = [os.path.join(root, "build", bits, "launcher.exe") for bits in ("win32", "win64")]
    missing = [path for path in launchers if not os.path.isfile(path)]
    if missing:
        sys.exit("make_seeds: build the launchers first (make win32 win64): " + ", ".join(missing))
    for harness in ("launcher_image", "resource"):
        os.makedirs(os.path.join(work, harness), exist_ok=True)
        for path in launchers:
            name = "launcher-" + os.path.basename(os.path.dirname(path)) + ".exe"
            shutil.copyfile(path, os.path.join(work, harness, name))
        with open(launchers[0], "rb") as f:
            for name, data in hostile_resource_variants(f.read()):
                with open(os.path.join(work, harness, name), "wb") as out:
                    out.write(data)
    rng = random.Random(14)
    text = b"".join(b"entry %d of a setup log, with the same words again\r\n" % i for i in range(700))
    entries = [
        Entry("", "QWSetup.exe", open(launchers[0], "rb").read()[:3 * BLOCK_SIZE + 100], coded=False),
        Entry("docs", "log.txt", text),
        Entry("data\\bin", "noise.bin", bytes(rng.getrandbits(8) for _ in range(5 * BLOCK_SIZE + 7)), coded=False),
        Entry("data", "zeros.bin", bytes(4 * BLOCK_SIZE + 1)),
        Entry("data", "empty.cfg", b""),
    ]
    with open(launchers[0], "rb") as stub:
        program = make_program(stub.read(), build_package(entries))
    os.makedirs(os.path.join(work, "package"), exist_ok=True)
    with open(os.path.join(work, "package", "packed-win32.exe"), "wb") as out:
        out.write(program)


if len(sys.argv) == 3 and sys.argv[1] == "--built":
    seed_built(sys.argv[2])
    sys.exit(0)

# Decoder: two bytes of output length, then the stored bytes.
seed("decode", "worked_example", (9).to_bytes(2, "little") + bytes([0x20, 0x90, 0x88, 0x64, 0x4C, 0x22]))
seed("decode", "overlap", (8).to_bytes(2, "little") + bytes([0x20, 0x90, 0xB9, 0x00]))
seed("decode", "long_match", (4096).to_bytes(2, "little") + bytes([0x3D, 0x7F, 0xF7, 0xFF, 0x80]))

# Round trip: blocks to encode.
seed("roundtrip", "text", b"the quick brown fox jumps over the lazy dog; " * 20)
seed("roundtrip", "run", b"a" * 300)
seed("roundtrip", "period3", b"abc" * 40 + b"abd")
seed("roundtrip", "binary", bytes((i * 37 + (i >> 3)) & 0xFF for i in range(1000)))

# Launcher images: the 64-byte DOS header whose e_lfanew (0xFFFFFFFC) once
# wrapped a 32-bit bounds check.
dos_header = bytearray(64)
dos_header[0:2] = b"MZ"
struct.pack_into("<I", dos_header, 0x3C, 0xFFFFFFFC)
seed("launcher_image", "lfanew_wraps", bytes(dos_header))

# Method-2 decoder: records of flags (1 coded, 2 starts an entry), output
# length - 1 and stored length (little-endian 16 bits each), stored bytes.
def lzma_block(data):
    """One block of at most 4096 bytes as the first block of an entry: liblzma's
    single LZMA2 chunk for it in the block form (the chunk's sizes and the range
    coder's leading zero left out), or None where liblzma stores it."""
    chunk = lzma.compress(data, format=lzma.FORMAT_RAW,
                          filters=[{"id": lzma.FILTER_LZMA2, "preset": 6, "dict_size": 8 << 20}])
    control = chunk[0]
    if control in (1, 2):
        return None
    header = 6 if (control >> 5) & 3 >= 2 else 5
    packed = (chunk[3] << 8 | chunk[4]) + 1
    # Trailing zeros are left out: the decoder reads zeros past the end.
    coder = chunk[header + 1:header + packed].rstrip(b"\0")
    return bytes([control & 0xE0]) + chunk[5:header] + coder


def record(flags, output, stored):
    return bytes([flags]) + (len(output) - 1).to_bytes(2, "little") + \
        len(stored).to_bytes(2, "little") + stored


text = b"the quick brown fox jumps over the lazy dog; " * 90
noise = random.Random(17).randbytes(3000)
seed("lzma_decode", "text_block", record(3, text[:4096], lzma_block(text[:4096])))
seed("lzma_decode", "short_text", record(3, text[:100], lzma_block(text[:100])))
seed("lzma_decode", "stored_block", record(2, noise, noise) + record(0, noise[:10], noise[:10]))
# The second entry goes on with the first one's stream, so its block, a
# stream's first, is refused: a seed for the refusals.
seed("lzma_decode", "two_entries",
     record(3, text[:4096], lzma_block(text[:4096])) +
     record(3, text[7:507], lzma_block(text[7:507])))

# A PE image's first block, stored, and a block of its code section: the
# x86 filter's code ranges come from the first.
pe_block = bytearray(4096)
pe_block[0:2] = b"MZ"
struct.pack_into("<I", pe_block, 0x3C, 0x40)
pe_block[0x40:0x44] = b"PE\0\0"
struct.pack_into("<HH", pe_block, 0x46, 1, 0)
struct.pack_into("<H", pe_block, 0x54, 0xF0)
struct.pack_into("<I", pe_block, 0x40 + 84, 0x200)
struct.pack_into("<III", pe_block, 0x148 + 16, 0x4000, 0x200, 0)
struct.pack_into("<I", pe_block, 0x148 + 36, 0x60000020)
calls = b"".join(b"\xe8" + struct.pack("<i", 0x800 - 5 * i) + b"\x90" for i in range(680))[:4096]
pe_block[0x200:] = calls[:4096 - 0x200]
seed("lzma_decode", "pe_code", record(2, pe_block, bytes(pe_block)) + record(0, calls, calls))

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


def volume_set_seed():
    """volume_set_fuzz's input: a set header and records for two volumes,
    then the volumes, each 81 bytes as its first byte 'Q' selects, whose
    lengths and digests the records hold."""
    import hashlib
    volumes = [b"QWV" + bytes([number]) + bytes(range(77)) for number in (1, 2)]
    header = b"QWVS" + struct.pack("<IIQ", 3, len(volumes), 1000)
    records = b"".join(struct.pack("<Q", len(v)) + hashlib.sha256(v).digest() for v in volumes)
    return header + records + b"".join(volumes)


seed("volume_set", "two_volumes", volume_set_seed())
