#!/usr/bin/env python3
"""A volume set through qwpack's verbs: every volume missing, cut by a byte,
one byte longer or changed in one byte is refused by name by list, verify and
extract, which exit 1; extract then leaves nothing of the set's entries (nor
its package copy) in the workspace, and its last notice is the launcher's open
error (missing) or checksum error (the others), naming the volume. A sound set
goes through all three. Run under AddressSanitizer by the host-asan preset."""
import filecmp
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from minimal_stub import minimal_stub  # noqa: E402

qwpack = sys.argv[1]
failures = []
checks = 0


def check(condition, what):
    global checks
    checks += 1
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def make_folder(folder):
    rng = random.Random(23)
    words = [bytes(rng.choice(b"abcdefgh") for _ in range(rng.randint(2, 7))) for _ in range(200)]
    files = {"QWSetup.exe": rng.randbytes(30000)}
    for i in range(9):
        files[f"lib/part{i}.dat"] = (rng.randbytes(25000) if i % 2 else
                                     b" ".join(rng.choice(words) for _ in range(20000)))
    for name, data in files.items():
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data)


def run(*args):
    return subprocess.run([qwpack, *args], capture_output=True, text=True)


def entries_left(workspace):
    return sorted(os.path.relpath(os.path.join(top, name), workspace)
                  for top, _, names in os.walk(workspace) for name in names)


with tempfile.TemporaryDirectory() as scratch:
    folder, stub = os.path.join(scratch, "src"), os.path.join(scratch, "stub.exe")
    make_folder(folder)
    with open(stub, "wb") as out:
        out.write(minimal_stub())
    program = os.path.join(scratch, "out", "Setup.exe")
    os.makedirs(os.path.dirname(program))
    result = run("pack", folder, "--stub", stub, "-o", program, "--volume-size", "64K")
    check(result.returncode == 0, f"pack: {result.stderr}")
    volumes = sorted(name for name in os.listdir(os.path.dirname(program)) if name.endswith(".qwv"))
    check(len(volumes) >= 3, f"a set of several volumes: {volumes}")

    for verb in ("list", "verify"):
        result = run(verb, program)
        check(result.returncode == 0, f"{verb} of the sound set: {result.stderr}")
    workspace = os.path.join(scratch, "ws")
    result = run("extract", program, "-C", workspace)
    check(result.returncode == 0, f"extract of the sound set: {result.stderr}")
    comparison = filecmp.dircmp(folder, workspace)
    check(not comparison.left_only and not comparison.right_only and not comparison.diff_files,
          "the extracted set differs from the folder")
    shutil.rmtree(workspace)

    for number in range(1, len(volumes) + 1):
        volume = os.path.join(os.path.dirname(program), f"Setup-{number}.qwv")
        with open(volume, "rb") as source:
            packed = source.read()
        faults = {"missing": None, "cut": packed[:-1], "extended": packed + b"\0",
                  "changed": packed[:len(packed) // 2] + bytes([packed[len(packed) // 2] ^ 1]) +
                  packed[len(packed) // 2 + 1:]}
        for fault, damaged in faults.items():
            what = f"{fault} volume {number}"
            os.remove(volume)
            if damaged is not None:
                with open(volume, "wb") as out:
                    out.write(damaged)
            for verb in ("list", "verify"):
                result = run(verb, program)
                check(result.returncode == 1, f"{verb} of a {what} exits {result.returncode}")
                check(volume in result.stderr, f"{verb} of a {what} does not name it: "
                      f"{result.stderr}")
            result = run("extract", program, "-C", workspace, "--notices")
            check(result.returncode == 1, f"extract of a {what} exits {result.returncode}")
            expected = {"missing": "missing", "cut": "shorter", "extended": "longer",
                        "changed": "changed"}[fault]
            check(f"{volume}: {expected}" in result.stderr,
                  f"extract of a {what} does not say so: {result.stderr}")
            code = "2" if fault == "missing" else "5"
            last = result.stdout.strip().splitlines()[-1] if result.stdout.strip() else ""
            check(last == f"{code} {volume}", f"extract of a {what} ends with {last!r}")
            left = entries_left(workspace)
            check(not left, f"extract of a {what} left {left}")
            shutil.rmtree(workspace, ignore_errors=True)
            with open(volume, "wb") as out:
                out.write(packed)

print(f"{checks - len(failures)} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
