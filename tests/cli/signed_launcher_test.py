#!/usr/bin/env python3
"""A packed launcher signed afterwards: the certificate table lies after the
package, osslsigncode accepts the signature, qwpack still verifies and
extracts it, and the packer refuses to append to an already signed one."""
import os
import subprocess
import sys
import tempfile

qwpack, stub = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
passed = failed = 0


def check(condition, what):
    global passed, failed
    print(("ok: " if condition else "FAIL: ") + what)
    passed, failed = passed + bool(condition), failed + (not condition)


def run(*args, **kwargs):
    return subprocess.run(list(args), capture_output=True, **kwargs)


if not os.path.exists(stub):
    print("skipped: no launcher stub at " + stub)
    print("0 passed, 0 failed")
    sys.exit(0)

with tempfile.TemporaryDirectory() as scratch:
    os.chdir(scratch)
    os.makedirs("payload/sub")
    with open("payload/QWSetup.exe", "wb") as f:
        f.write(b"setup " * 5000)
    with open("payload/sub/data.bin", "wb") as f:
        f.write(os.urandom(10000))
    check(run(qwpack, "pack", "--stub", stub, "-o", "Setup.exe", "payload").returncode == 0, "pack")
    made = run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "key.pem",
               "-out", "cert.pem", "-days", "2", "-subj", "/CN=qwlauncher test")
    check(made.returncode == 0, "a self-signed test certificate")
    signed = run("osslsigncode", "sign", "-certs", "cert.pem", "-key", "key.pem", "-n", "Setup",
                 "-in", "Setup.exe", "-out", "Signed.exe")
    check(signed.returncode == 0, "osslsigncode signs the launcher")
    check(os.path.getsize("Signed.exe") > os.path.getsize("Setup.exe"), "the signature is appended")
    with open("Setup.exe", "rb") as a, open("Signed.exe", "rb") as b:
        packed, after = a.read(), b.read()
    check(after[128:136] == packed[128:136], "signing leaves the package locator alone")
    verified = run("osslsigncode", "verify", "-CAfile", "cert.pem", "Signed.exe")
    check(verified.returncode == 0, "osslsigncode verify accepts it")
    check(run(qwpack, "verify", "Signed.exe").returncode == 0, "qwpack verify reads past nothing")
    out = run(qwpack, "extract", "Signed.exe", "-C", "out")
    with open("out/sub/data.bin", "rb") as f, open("payload/sub/data.bin", "rb") as g:
        check(out.returncode == 0 and f.read() == g.read(), "qwpack extract restores the files")
    refused = run(qwpack, "pack", "--stub", "Signed.exe", "-o", "Again.exe", "payload")
    check(refused.returncode != 0 and not os.path.exists("Again.exe"), "a signed stub is refused")

    # A volume set: the program file is signed under another name and put
    # back in place, as publishers do; its volumes stay as they were, and
    # the set still reads whole.
    for part in range(4):
        with open(f"payload/sub/noise{part}.bin", "wb") as f:
            f.write(os.urandom(40000))
    os.makedirs("set")
    check(run(qwpack, "pack", "--stub", stub, "--volume-size", "64K", "-o", "set/Large.exe",
              "payload").returncode == 0, "pack a volume set")
    volumes = sorted(name for name in os.listdir("set") if name.endswith(".qwv"))
    before = {name: open(os.path.join("set", name), "rb").read() for name in volumes}
    signed = run("osslsigncode", "sign", "-certs", "cert.pem", "-key", "key.pem", "-n", "Large",
                 "-in", "set/Large.exe", "-out", "set/Large-signed.exe")
    check(signed.returncode == 0, "osslsigncode signs a set's program file")
    os.replace("set/Large-signed.exe", "set/Large.exe")
    check(run("osslsigncode", "verify", "-CAfile", "cert.pem", "set/Large.exe").returncode == 0,
          "osslsigncode verify accepts it")
    after = {name: open(os.path.join("set", name), "rb").read() for name in volumes}
    check(len(volumes) >= 2 and after == before, "signing leaves the volumes as they were")
    check(run(qwpack, "verify", "set/Large.exe").returncode == 0, "qwpack verify reads the set")

print("%d passed, %d failed" % (passed, failed))
sys.exit(1 if failed else 0)
