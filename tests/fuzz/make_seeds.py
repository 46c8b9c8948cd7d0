#!/usr/bin/env python3
"""Writes the seed corpora: a few valid decoder streams and program files."""
import lzma
import os
import random
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
    return bytes([control & 0xE0]) + chunk[5:header] + chunk[header + 1:header + packed]


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

sys.path.insert(0, os.path.join(here, "..", "cli"))
program = os.path.join(corpus, "package", "foreign")
os.makedirs(os.path.dirname(program), exist_ok=True)
subprocess.check_call([sys.executable, os.path.join(here, "..", "cli", "foreign_package.py"), program],
                      stdout=subprocess.DEVNULL)
