#!/usr/bin/env python3
"""qwpack pack with and without --method: without it the launcher is byte for
byte what qwpack wrote before method 2 existed (a digest taken with that
qwpack); with --method lzma every entry that has blocks is method 2, and the
launcher verifies and extracts to the folder's bytes."""
import filecmp
import hashlib
import os
import random
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from minimal_stub import minimal_stub  # noqa: E402

qwpack = sys.argv[1]
failures = []
checks = 0
# SHA-256 of the launcher the qwpack before method 2 made of make_folder()'s
# folder with minimal_stub(): `pack FOLDER --stub STUB -o OUT`.
DEFAULT_DIGEST = "3ac19f7abcdc591af3bfdeb528319a7bcd817423afe305726adda363a294920a"


def check(condition, what):
    global checks
    checks += 1
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def make_folder(folder):
    """Text, noise, a program with calls, an empty file, two levels."""
    rng = random.Random(2017)
    words = [bytes(rng.choice(b"abcdefghij") for _ in range(rng.randint(2, 8))) for _ in range(300)]
    text = b" ".join(rng.choice(words) for _ in range(40000))
    calls = bytearray(b"MZ" + bytes(62))
    for i in range(6000):
        calls += b"\x55\x8b\xec" + b"\xe8" + struct.pack("<i", rng.choice((-4000, 900, 77000)) - i * 8)
    files = {"QWSetup.exe": bytes(calls), "readme.txt": text[:50000],
             "data/noise.bin": rng.randbytes(9000), "data/empty": b"",
             "data/deep/book.txt": text + rng.randbytes(4096) + text[:8192]}
    for name, data in files.items():
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data)


def run(*args):
    return subprocess.run([qwpack, *args], capture_output=True, text=True)


with tempfile.TemporaryDirectory() as scratch:
    folder, stub = os.path.join(scratch, "src"), os.path.join(scratch, "stub.exe")
    make_folder(folder)
    with open(stub, "wb") as out:
        out.write(minimal_stub())

    default = os.path.join(scratch, "Default.exe")
    result = run("pack", folder, "--stub", stub, "-o", default)
    check(result.returncode == 0, f"pack: {result.stderr}")
    with open(default, "rb") as launcher:
        digest = hashlib.sha256(launcher.read()).hexdigest()
    if len(sys.argv) > 2 and sys.argv[2] == "--digest":
        print(digest)
        sys.exit(0)
    check(digest == DEFAULT_DIGEST, f"pack without --method wrote other bytes: {digest}")

    lzma = os.path.join(scratch, "Lzma.exe")
    result = run("pack", folder, "--stub", stub, "-o", lzma, "--method", "lzma")
    check(result.returncode == 0, f"pack --method lzma: {result.stderr}")
    check(os.path.getsize(lzma) < os.path.getsize(default), "method 2 is not smaller")
    listing = run("list", lzma).stdout
    methods = {line.split()[0]: line.split("method ")[1].split()[0]
               for line in listing.splitlines() if " method " in line}
    check(len(methods) == 5 and methods.get("data/empty") == "0" and
          all(m == "2" for name, m in methods.items() if name != "data/empty"),
          f"list shows other methods: {methods}")
    result = run("verify", lzma)
    check(result.returncode == 0, f"verify: {result.stdout}{result.stderr}")
    out = os.path.join(scratch, "out")
    result = run("extract", lzma, "-C", out)
    check(result.returncode == 0, f"extract: {result.stderr}")
    comparison = filecmp.dircmp(folder, out)
    check(not comparison.diff_files and not comparison.left_only and not comparison.right_only,
          "extracted files differ")
    for sub in ("data", os.path.join("data", "deep")):
        names = [name for name in os.listdir(os.path.join(folder, sub))
                 if os.path.isfile(os.path.join(folder, sub, name))]
        match, mismatch, errors = filecmp.cmpfiles(os.path.join(folder, sub),
                                                   os.path.join(out, sub), names, shallow=False)
        check(not mismatch and not errors, f"{sub}: {mismatch} {errors}")

    result = run("pack", folder, "--stub", stub, "-o", lzma, "--method", "zstd")
    check(result.returncode != 0 and "--method" in result.stderr, "an unknown method is accepted")

print(f"{checks - len(failures)} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
