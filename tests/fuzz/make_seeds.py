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
