#!/usr/bin/env python3
"""Writes a launcher-shaped program file with a package built independently
of the project's C++ writer and encoder: its own CRC (zlib's), its own greedy
LZ coder, its own field packing. Prints the files it packed, as JSON."""
import json
import struct
import sys
import zlib

BLOCK = 4096


class Bits:
    def __init__(self):
        self.bits = []

    def put(self, value, width):
        self.bits += [(value >> (width - 1 - i)) & 1 for i in range(width)]

    def data(self):
        padded = self.bits + [0] * (-len(self.bits) % 8)
        return bytes(int("".join(map(str, padded[i:i + 8])), 2) for i in range(0, len(padded), 8))


def width(p):
    return (p - 1).bit_length() if p > 1 else 0


def lz_code(block):
    """Greedy: the longest earlier match (overlap allowed) of at least 3 bytes."""
    out = Bits()
    p = 0
    while p < len(block):
        best_len, best_off = 0, 0
        for s in range(max(0, p - 300), p):
            n = 0
            while p + n < len(block) and block[s + n] == block[p + n]:
                n += 1
            if n > best_len:
                best_len, best_off = n, s
        if p > 0 and best_len >= 3:
            c = (best_len - 1).bit_length() - 1
            out.put(1, 1)
            out.put((1 << c) - 1, c)
            out.put(0, 1)
            out.put(best_len - 1 - (1 << c), c)
            out.put(best_off, width(p))
            p += best_len
        else:
            out.put(block[p], 9)  # a 0 flag, then the byte
            p += 1
    return out.data()


def entry(offset, subdirectory, name, data):
    blocks = b""
    checksum = 0
    method = 0
    for start in range(0, len(data), BLOCK):
        chunk = data[start:start + BLOCK]
        coded = lz_code(chunk)
        flag = 1 if len(coded) < len(chunk) else 0
        stored = coded if flag else chunk
        method |= flag
        head = struct.pack("<HH", len(stored), flag)
        checksum = (checksum + zlib.crc32(head) + zlib.crc32(stored)) & 0xFFFFFFFF
        blocks += head + stored
    last = len(data) - BLOCK * ((len(data) - 1) // BLOCK) if data else 0
    start = offset + 224
    header = struct.pack("<HH100s100sIIIII", 0x890A, method, subdirectory, name, len(data), last,
                         checksum, start, start + len(blocks))
    return header + blocks


def main():
    out = sys.argv[1]
    text = b"".join(b"line %d of the readme, say it again and again\r\n" % i for i in range(300))
    files = [
        (b"", b"QWSetup.exe", b"MZ" + bytes(range(256)) * 3),
        (b"docs", b"readme.txt", text),
        (b"docs\\\xd6\xd0\xce\xc4", b"\xc3\xfb\xb3\xc6.txt", "中文名称".encode("gbk") * 50),
        (b"empty", b"nothing.dat", b""),
        (b"bin\\x64", b"zeros.bin", bytes(BLOCK * 2)),
    ]
    body = b""
    for subdirectory, name, data in files:
        body += entry(4 + len(body), subdirectory, name, data)
    package = struct.pack("<I", len(files)) + body
    stub = bytearray(b"MZ" + bytes(510))
    struct.pack_into("<I", stub, 0x3C, 0x100)
    struct.pack_into("<II", stub, 128, len(stub), len(package))
    with open(out, "wb") as f:
        f.write(bytes(stub) + package)
    listing = [{"path": (s.decode("gbk") + "/" if s else "").replace("\\", "/") + n.decode("gbk"),
                "hex": d.hex()} for s, n, d in files]
    json.dump(listing, sys.stdout)


if __name__ == "__main__":
    main()
