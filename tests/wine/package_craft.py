"""Program files for the launcher tests: a launcher stub with a package
appended, good or deliberately broken.

Written apart from the C++ package writer, from the format's own rules, so
that a launcher and a writer that share one misreading still disagree with
this one.

  locator   8 bytes at file offset 128: packageOffset, packageLength (u32 LE)
  package   fileCount:u32, then entries back to back
  entry     224-byte header, then blocks (none for an empty file)
  block     header:u32 (storedLength | codedFlag << 16), stored bytes
  checksum  sum mod 2^32 over the blocks of crc32(header) + crc32(stored)
"""
import struct
import zlib

ENTRY_MAGIC = 0x890A
BLOCK_SIZE = 4096
LOCATOR_OFFSET = 128


def _ceil_log2(value):
    return 0 if value <= 1 else (value - 1).bit_length()


class _BitWriter:
    def __init__(self):
        self.bits = []

    def put(self, value, width):
        for shift in range(width - 1, -1, -1):
            self.bits.append((value >> shift) & 1)

    def to_bytes(self):
        padded = self.bits + [0] * (-len(self.bits) % 8)
        return bytes(
            int("".join(map(str, padded[i:i + 8])), 2) for i in range(0, len(padded), 8)
        )


def lz_encode(data):
    """The LZ bitstream of one block: literals (0, 8 bits) and matches (1,
    gamma-style length code, absolute offset in ceil(log2(P)) bits). Greedy,
    with a short hash chain: correct rather than tight."""
    out = _BitWriter()
    recent = {}  # 3-byte prefix -> positions, newest last
    p = 0
    while p < len(data):
        best_length, best_offset = 0, 0
        for candidate in reversed(recent.get(data[p:p + 3], [])[-16:]):
            length = 0
            # Overlapping matches are allowed: the copy runs byte by byte.
            while p + length < len(data) and data[candidate + length] == data[p + length]:
                length += 1
            if length > best_length:
                best_length, best_offset = length, candidate
        if best_length >= 3:
            out.put(1, 1)
            c = (best_length - 1).bit_length() - 1
            out.put((1 << c) - 1, c)
            out.put(0, 1)
            out.put(best_length - 1 - (1 << c), c)
            out.put(best_offset, _ceil_log2(p))
            step = best_length
        else:
            out.put(0, 1)
            out.put(data[p], 8)
            step = 1
        for q in range(p, p + step):
            recent.setdefault(data[q:q + 3], []).append(q)
        p += step
    return out.to_bytes()


def cut_blocks(data, coded=True):
    """(codedFlag, stored bytes) per 4096-byte block; a block is coded only
    when that is shorter than the block itself."""
    blocks = []
    for start in range(0, len(data), BLOCK_SIZE):
        plain = data[start:start + BLOCK_SIZE]
        packed = lz_encode(plain) if coded else None
        if packed is not None and len(packed) < len(plain):
            blocks.append((1, packed))
        else:
            blocks.append((0, plain))
    return blocks


class Entry:
    """One packed file. `blocks` and the header fields may be overridden to
    make a broken entry; by default they follow from `data`."""

    def __init__(self, subdirectory, file_name, data=b"", coded=True, encoding="ascii"):
        self.encoding = encoding
        self.subdirectory = subdirectory.encode(encoding) if isinstance(subdirectory, str) else subdirectory
        self.file_name = file_name.encode(encoding) if isinstance(file_name, str) else file_name
        self.data = data
        self.blocks = cut_blocks(data, coded)
        self.method = 1 if any(flag for flag, _ in self.blocks) else 0
        self.last_block_size = len(data) - BLOCK_SIZE * (len(self.blocks) - 1) if data else 0
        self.checksum = None  # computed unless set

    def stored_blocks(self):
        return [struct.pack("<HH", len(stored), flag) + stored for flag, stored in self.blocks]

    def computed_checksum(self):
        total = 0
        for raw in self.stored_blocks():
            total += zlib.crc32(raw[:4]) + zlib.crc32(raw[4:])
        return total & 0xFFFFFFFF

    def serialize(self, header_offset):
        body = b"".join(self.stored_blocks())
        data_start = header_offset + 224
        checksum = self.computed_checksum() if self.checksum is None else self.checksum
        header = struct.pack(
            "<HH100s100sIIIII",
            ENTRY_MAGIC,
            self.method,
            self.subdirectory,
            self.file_name,
            len(self.data),
            self.last_block_size,
            checksum if self.blocks else 0,
            data_start,
            data_start + len(body),
        )
        return header + body


def build_package(entries, file_count=None):
    body = b""
    for entry in entries:
        body += entry.serialize(4 + len(body))
    count = len(entries) if file_count is None else file_count
    return struct.pack("<I", count) + body


def make_program(stub, package, locator=None):
    """The stub with the package appended and the locator written; `locator`
    overrides (packageOffset, packageLength)."""
    program = bytearray(stub) + package
    offset, length = locator if locator is not None else (len(stub), len(package))
    struct.pack_into("<II", program, LOCATOR_OFFSET, offset, length)
    return bytes(program)


def entries_from_directory(root, coded=True):
    """Every file below `root`, subdirectories as backslash-separated paths."""
    import os

    entries = []
    for directory, subdirectories, files in os.walk(root):
        subdirectories.sort()
        relative = os.path.relpath(directory, root)
        subdirectory = "" if relative == "." else relative.replace(os.sep, "\\")
        for name in sorted(files):
            with open(os.path.join(directory, name), "rb") as source:
                entries.append(Entry(subdirectory, name, source.read(), coded))
    return entries
