#!/usr/bin/env python3
"""Extraction onto a disk that fills up: under a file-size limit, and on a
small tmpfs when this machine lets us mount one. The failure is reported
(notice 3 for an entry, 7 for the package copy), never success."""
import os
import resource
import signal
import subprocess
import sys
import tempfile

qwpack, here = sys.argv[1], os.path.dirname(os.path.abspath(__file__))
passed = failed = 0


def check(condition, what):
    global passed, failed
    print(("ok: " if condition else "FAIL: ") + what)
    passed, failed = passed + bool(condition), failed + (not condition)


def limited(max_bytes):
    def apply():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)  # a write past the limit fails with EFBIG
        resource.setrlimit(resource.RLIMIT_FSIZE, (max_bytes, max_bytes))
    return apply


def extract(program, workspace, preexec=None):
    return subprocess.run([qwpack, "extract", program, "-C", workspace, "--notices"],
                          capture_output=True, preexec_fn=preexec)


def final_notice(result):
    return result.stdout.decode().splitlines()[-1]


with tempfile.TemporaryDirectory() as scratch:
    program = os.path.join(scratch, "Setup.exe")
    subprocess.check_call([sys.executable, os.path.join(here, "foreign_package.py"), program],
                          stdout=subprocess.DEVNULL)

    result = extract(program, os.path.join(scratch, "a"), limited(1000))  # the copy (3 KB) cannot be written
    check(result.returncode == 1 and final_notice(result).startswith("7 "), "a full disk during the copy is notice 7")
    check(b"damaged" in result.stderr, "with the damaged-package message")

    workspace = os.path.join(scratch, "b")
    result = extract(program, workspace, limited(5000))  # docs/readme.txt (14 KB) cannot be written
    expected = "3 " + os.path.join(workspace, "docs", "readme.txt")
    check(result.returncode == 1 and final_notice(result) == expected, "a full disk in an entry is notice 3")
    check(result.stderr.decode().strip() == "Write file:%s error!" % expected[2:], "with the write message")
    check(not os.path.exists(os.path.join(workspace, "QW.tmp")), "the package copy is still deleted")

    mount_point = os.path.join(scratch, "small")
    os.mkdir(mount_point)
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=12k", "tmpfs", mount_point],
                             capture_output=True).returncode == 0
    if mounted:
        try:
            result = extract(program, mount_point)
            check(result.returncode == 1 and final_notice(result)[0] in "37", "a small tmpfs fills up: notice 3 or 7")
        finally:
            subprocess.run(["umount", mount_point])
    else:
        print("skipped: mounting a tmpfs is not allowed here")

print("%d passed, %d failed" % (passed, failed))
sys.exit(1 if failed else 0)
