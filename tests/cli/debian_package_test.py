#!/usr/bin/env python3
"""The Debian package as a publisher gets it, unpacked with dpkg-deb -x into a
temporary root (no system install): its qwpack packs a folder with the
launchers it carries, found relative to itself, and the launcher verifies
and extracts byte for byte; the version is one across the package, qwpack
and the launchers; Depends names the package of every library qwpack loads;
the manual page renders and covers every command and option; the README and
the publishers' and security documents are installed.

    debian_package_test.py build/qwpack_<version>_amd64.deb
"""
import os
import re
import subprocess
import sys
import tempfile

SOURCE_ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def read(path):
    with open(path, "rb") as source:
        return source.read()


def run(*command, **options):
    return subprocess.run(command, capture_output=True, text=True, **options)


def library_packages(program):
    """The Debian package of each shared library the program loads."""
    packages = set()
    for line in run("ldd", program).stdout.splitlines():
        match = re.search(r"=> (/\S+)", line)
        if not match:
            continue
        path = match.group(1)
        candidates = {path, os.path.realpath(path)}
        candidates |= {p[4:] if p.startswith("/usr/") else "/usr" + p for p in set(candidates)}
        for candidate in candidates:
            found = run("dpkg", "-S", candidate)
            if found.returncode == 0:
                packages.add(found.stdout.split(":")[0])
                break
        else:
            check(False, f"no package owns {path}")
    return packages


def check_control(deb, qwpack):
    fields = {name: run("dpkg-deb", "-f", deb, name).stdout.strip()
              for name in ("Package", "Version", "Architecture", "Depends", "Description")}
    check(fields["Package"] == "qwpack", "package name: %s" % fields["Package"])
    check(os.path.basename(deb) == "qwpack_%s_%s.deb" % (fields["Version"], fields["Architecture"]),
          "file name %s" % deb)
    check(run(qwpack, "--version").stdout.strip() == "qwpack " + fields["Version"],
          "qwpack --version says the package's version %s" % fields["Version"])
    depends = {item.split()[0] for item in fields["Depends"].split(", ") if item}
    for package in library_packages(qwpack):
        check(package.split(":")[0] in depends, "Depends lacks %s: %s" % (package, fields["Depends"]))
    check(all("(>=" in item for item in fields["Depends"].split(", ")),
          "every dependency carries the version dpkg-shlibdeps found: %s" % fields["Depends"])
    check("\n " in fields["Description"] and all(
        len(line) < 80 for line in fields["Description"].splitlines()), "description")
    return fields["Version"]


def check_packing(root, qwpack, version, scratch):
    share = os.path.join(root, "usr", "share", "qwpack")
    folder = os.path.join(scratch, "payload")
    files = {"QWSetup.exe": b"MZ setup program" * 100, "说明/readme.txt": b"text\r\n" * 2000,
             "data/empty.cfg": b""}
    for relative, data in files.items():
        os.makedirs(os.path.dirname(os.path.join(folder, relative)), exist_ok=True)
        with open(os.path.join(folder, relative), "wb") as out:
            out.write(data)
    for stub, machine in (("win32", 0x14C), ("win64", 0x8664)):
        launcher = os.path.join(scratch, "Setup-%s.exe" % stub)
        options = [] if stub == "win32" else ["--stub", stub]
        packed = run(qwpack, "pack", *options, "-o", launcher, folder, cwd=scratch)
        check(packed.returncode == 0, "pack --stub %s: %s" % (stub, packed.stderr))
        with open(launcher, "rb") as made, open(os.path.join(share, "launcher-%s.exe" % stub), "rb") as source:
            data, carried = made.read(), source.read()
        check(data[:128] == carried[:128] and data[136:len(carried)] == carried[136:],
              "the %s launcher is the package's launcher-%s.exe" % (stub, stub))
        pe = int.from_bytes(data[0x3C:0x40], "little")
        check(int.from_bytes(data[pe + 4:pe + 6], "little") == machine, "%s machine" % stub)
        check(run(qwpack, "verify", launcher).returncode == 0, "verify %s" % stub)
        listed = run(qwpack, "list", launcher).stdout
        check("product version %s.0" % version in listed and
              "OriginalFilename   launcher-%s.exe" % stub in listed, "list shows the version: " + listed)
        workspace = os.path.join(scratch, "ws-" + stub)
        check(run(qwpack, "extract", launcher, "-C", workspace).returncode == 0, "extract %s" % stub)
        for relative, data in files.items():
            with open(os.path.join(workspace, relative), "rb") as extracted:
                check(extracted.read() == data, "%s extracted from %s" % (relative, stub))


def check_manual(root, qwpack):
    page = os.path.join(root, "usr", "share", "man", "man1", "qwpack.1.gz")
    shown = run("man", "--warnings", "-l", page, env=dict(os.environ, MANWIDTH="100", MAN_KEEP_FORMATTING=""))
    check(shown.returncode == 0 and not shown.stderr.strip(), "man -l renders: %s" % shown.stderr)
    text = re.sub(r".\x08", "", shown.stdout)
    usage = run(qwpack, "--help").stdout
    verbs = re.findall(r"^  (\w+) ", usage.split("commands:")[1], re.M)
    check(set(verbs) == {"pack", "list", "verify", "extract", "bench"}, "verbs: %s" % verbs)
    for verb in verbs:
        check(re.search(r"^   %s$" % verb, text, re.M), "the manual has a section for %s" % verb)
        for option in re.findall(r"^  (-[-\w,]+)", run(qwpack, verb, "--help").stdout, re.M):
            check(option in text, "the manual names %s %s" % (verb, option))


def check_documents(root):
    docs = os.path.join(root, "usr", "share", "doc", "qwpack")
    for source in ("README.md", "docs/publishers.md", "docs/security.md"):
        installed = os.path.join(docs, os.path.basename(source))
        check(os.path.exists(installed) and read(installed) == read(os.path.join(SOURCE_ROOT, source)),
              "%s installed as it is in the source tree" % source)
    with open(os.path.join(docs, "copyright"), encoding="utf-8") as copyright_file:
        text = copyright_file.read()
    check(text.startswith("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/")
          and "License: Expat\n Permission is hereby granted" in text, "copyright file")


def main():
    deb = sys.argv[1]
    with tempfile.TemporaryDirectory() as scratch:
        root = os.path.join(scratch, "root")
        check(run("dpkg-deb", "-x", deb, root).returncode == 0, "dpkg-deb -x")
        qwpack = os.path.join(root, "usr", "bin", "qwpack")
        version = check_control(deb, qwpack)
        check_packing(root, qwpack, version, scratch)
        check_manual(root, qwpack)
        check_documents(root)
    print("debian package: %s" % ("%d failed" % len(failures) if failures else "all passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
