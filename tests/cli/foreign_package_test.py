#!/usr/bin/env python3
"""qwpack extract, list and verify on a package written without any of the
project's code (foreign_package.py), from and into a folder outside the code
page: exact files, exact notice stream, and the launcher's messages (naming
the host's paths) and exit codes on damage."""
import json
import os
import subprocess
import sys
import tempfile

qwpack, here = sys.argv[1], os.path.dirname(os.path.abspath(__file__))
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def run(*args):
    return subprocess.run([qwpack, *args], capture_output=True)


with tempfile.TemporaryDirectory() as temporary:
    # The launcher and the workspaces lie in a folder code page 936 cannot
    # name: host paths, only the entries' names go through the code page.
    scratch = os.path.join(temporary, "Muñoz")
    os.makedirs(scratch)
    program = os.path.join(scratch, "Setup.exe")
    listing = json.loads(subprocess.check_output([sys.executable, os.path.join(here, "foreign_package.py"), program]))

    workspace = os.path.join(scratch, "ws")
    result = run("extract", program, "-C", workspace, "--notices")
    check(result.returncode == 0, "extract succeeds: %s" % result.stderr)
    lines = result.stdout.decode().splitlines()
    copy_out = [l for l in lines if l.startswith("8 ") and int(l[2:]) <= 100]
    check(copy_out[-1] == "8 100" and len(copy_out) == 1, "a body under 4096 bytes is one chunk: %s" % copy_out)
    check(lines[len(copy_out):] == ["8 120", "8 140", "8 160", "8 180", "1 0"], "unpack notices: %s" % lines)
    for item in listing:
        path = os.path.join(workspace, item["path"])
        with open(path, "rb") as f:
            check(f.read().hex() == item["hex"], "content of " + item["path"])
    check(not os.path.exists(os.path.join(workspace, "QW.tmp")), "the package copy is deleted")

    result = run("list", program, "--json")
    rows = json.loads(result.stdout)["entries"]
    check(result.returncode == 0 and [r["path"] for r in rows] == [i["path"] for i in listing], "list paths")
    check([r["size"] for r in rows] == [len(i["hex"]) // 2 for i in listing], "list sizes")
    check(run("verify", program).returncode == 0, "verify accepts it")

    with open(program, "rb") as f:
        data = bytearray(f.read())
    # The second entry's checksum field: damage it and the launcher's CRC message follows.
    stub_end = int.from_bytes(data[128:132], "little")
    first_end = int.from_bytes(data[stub_end + 4 + 220:stub_end + 4 + 224], "little")
    damaged = bytearray(data)
    damaged[stub_end + first_end + 212] ^= 0xFF
    with open(program, "wb") as f:
        f.write(damaged)
    result = run("extract", program, "-C", os.path.join(scratch, "ws2"))
    expected = "CRC file:%s error!" % os.path.join(scratch, "ws2", "docs", "readme.txt")
    check(result.returncode == 1 and result.stderr.decode().strip() == expected, "CRC message: %s" % result.stderr)
    check(run("verify", program).returncode == 1, "verify refuses a bad checksum")

    damaged = bytearray(data)
    damaged[132:136] = (0xFFFFFFFF).to_bytes(4, "little")
    with open(program, "wb") as f:
        f.write(damaged)
    result = run("extract", program, "-C", os.path.join(scratch, "ws3"), "--notices")
    check(result.returncode == 1 and result.stdout.decode().startswith("7 "), "damaged package notice")
    check(result.stderr.decode().strip() == "This file has been damaged, please download a new one!", "damaged message")

print("%d passed, %d failed" % (1 if not failures else 0, 1 if failures else 0))
sys.exit(1 if failures else 0)
