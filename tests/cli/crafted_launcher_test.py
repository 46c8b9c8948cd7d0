#!/usr/bin/env python3
"""qwpack list, verify, extract and pack --stub on crafted launcher files: a
bare DOS header whose e_lfanew points near 4 GiB, the built launchers cut
short at every layer, and their header fields set to all ones. Each run ends
with a message and an exit status, never a signal or a sanitizer report; a
file whose package survived still lists, verifies and extracts."""
import json
import os
import struct
import subprocess
import sys
import tempfile

qwpack = os.path.abspath(sys.argv[1])
launchers = [os.path.abspath(path) for path in sys.argv[2:]]
DAMAGED = "This file has been damaged, please download a new one!"
SKIPPED = 77  # ctest's SKIP_RETURN_CODE for this test
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def run(*args):
    # A reader that never ends is a fault too: no run takes near this long.
    return subprocess.run([qwpack, *args], capture_output=True, timeout=120)


def ended_cleanly(result, what):
    """An exit status of the program's own and no sanitizer's word in it."""
    err = result.stderr.decode(errors="replace")
    check(result.returncode >= 0, f"{what}: killed by signal {-result.returncode}")
    check("Sanitizer" not in err and "runtime error" not in err, f"{what}: {err[:600]}")
    return err


def expect_damaged(path, scratch, what):
    """list, verify and extract refuse the file with the launcher's message."""
    for command in (["list", path], ["verify", path],
                    ["extract", path, "-C", os.path.join(scratch, "out")]):
        result = run(*command)
        err = ended_cleanly(result, f"{what}: {command[0]}")
        check(result.returncode == 1 and DAMAGED in err,
              f"{what}: {command[0]} exits {result.returncode}: {err.strip()[:300]}")


def expect_stub_refused(path, scratch, what):
    """pack will not append a package to it, and says why."""
    output = os.path.join(scratch, "Again.exe")
    if os.path.exists(output):
        os.remove(output)
    result = run("pack", "--stub", path, "-o", output, os.path.join(scratch, "payload"))
    err = ended_cleanly(result, f"{what}: pack --stub")
    check(result.returncode == 1 and "the launcher stub cannot be used: " in err
          and not os.path.exists(output),
          f"{what}: pack --stub exits {result.returncode}: {err.strip()[:300]}")


def expect_package_read(path, scratch, what):
    """The package is intact whatever the image's headers say: the launcher
    finds it through the locator alone, and so do list, verify and extract."""
    result = run("list", path)
    ended_cleanly(result, f"{what}: list")
    out = result.stdout.decode(errors="replace")
    check(result.returncode == 0 and out.startswith("version resource: ") and "data.bin" in out,
          f"{what}: list exits {result.returncode}: {out[:300]}")
    result = run("verify", path)
    ended_cleanly(result, f"{what}: verify")
    check(result.returncode == 0, f"{what}: verify exits {result.returncode}")
    workspace = os.path.join(scratch, "out-" + str(len(failures)))
    result = run("extract", path, "-C", workspace)
    ended_cleanly(result, f"{what}: extract")
    check(result.returncode == 0 and os.path.isfile(os.path.join(workspace, "sub", "data.bin")),
          f"{what}: extract exits {result.returncode}")
    # As a stub it may be refused or taken; either way, with a message or a launcher.
    ended_cleanly(run("pack", "--stub", path, "-o", os.path.join(scratch, "Again.exe"),
                      os.path.join(scratch, "payload")), f"{what}: pack --stub")


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)
    return path


class Image:
    """The offsets of a PE file's fields that the readers follow."""

    def __init__(self, data):
        u16 = lambda at: struct.unpack_from("<H", data, at)[0]  # noqa: E731
        u32 = lambda at: struct.unpack_from("<I", data, at)[0]  # noqa: E731
        self.pe = u32(0x3C)
        optional = self.pe + 24
        plus = u16(optional) == 0x20B
        self.directory_count = optional + (108 if plus else 92)
        directories = optional + (112 if plus else 96)
        self.resource_directory = directories + 16
        self.sections = optional + u16(self.pe + 20)
        resource_rva = u32(self.resource_directory)
        for i in range(u16(self.pe + 6)):
            at = self.sections + 40 * i
            address, raw_size, raw_offset = u32(at + 12), u32(at + 16), u32(at + 20)
            if address <= resource_rva < address + raw_size:
                self.resource_section = at
                self.resource_start = raw_offset + resource_rva - address
                to_file = raw_offset - address
        # Type, name and language levels down to the data entry, and the data.
        self.directory_entries = []
        at = self.resource_start
        for wanted in (16, None, None):  # RT_VERSION, then the first of each level
            count = u16(at + 12) + u16(at + 14)
            entry = next(at + 16 + 8 * i for i in range(count)
                         if wanted is None or u32(at + 16 + 8 * i) == wanted)
            self.directory_entries.append(entry + 4)
            at = self.resource_start + (u32(entry + 4) & 0x7FFFFFFF)
        self.data_entry = at
        self.version_node = u32(at) + to_file

    def fields(self):
        """(name, offset, width) of each field set to all ones."""
        return [("e_lfanew", 0x3C, 4), ("NumberOfSections", self.pe + 6, 2),
                ("SizeOfOptionalHeader", self.pe + 20, 2),
                ("NumberOfRvaAndSizes", self.directory_count, 4),
                ("resource directory RVA", self.resource_directory, 4),
                ("resource directory size", self.resource_directory + 4, 4),
                ("resource section VirtualAddress", self.resource_section + 12, 4),
                ("resource section SizeOfRawData", self.resource_section + 16, 4),
                ("resource section PointerToRawData", self.resource_section + 20, 4),
                ("resource type entry", self.directory_entries[0], 4),
                ("resource name entry", self.directory_entries[1], 4),
                ("resource language entry", self.directory_entries[2], 4),
                ("resource directory entry counts", self.resource_start + 12, 4),
                ("version data RVA", self.data_entry, 4),
                ("version data size", self.data_entry + 4, 4),
                ("version root length", self.version_node, 2),
                ("version root value length", self.version_node + 2, 2)]


def crafted_from(launcher, scratch):
    name = os.path.basename(os.path.dirname(launcher))
    packed = os.path.join(scratch, f"Setup-{name}.exe")
    result = run("pack", "--stub", launcher, "-o", packed, os.path.join(scratch, "payload"))
    check(result.returncode == 0, f"{name}: pack: {result.stderr.decode(errors='replace')}")
    with open(packed, "rb") as f:
        data = f.read()
    with open(launcher, "rb") as f:
        stub_size = len(f.read())
    image = Image(data)

    expect_damaged(launcher, scratch, f"{name}: the launcher with no package")
    cuts = {"in the locator": 132, "in the PE header": image.pe + 10,
            "in the section table": image.sections + 50,
            "in the version resource": image.version_node + 40,
            "before the package": stub_size, "in the package": stub_size + 300,
            "a byte short": len(data) - 1}
    for where, length in cuts.items():
        path = write(os.path.join(scratch, "cut.exe"), data[:length])
        expect_damaged(path, scratch, f"{name}: cut short {where} ({length} bytes)")
        expect_stub_refused(path, scratch, f"{name}: cut short {where} ({length} bytes)")
    for field, offset, width in image.fields():
        crafted = bytearray(data)
        crafted[offset:offset + width] = b"\xFF" * width
        path = write(os.path.join(scratch, "crafted.exe"), bytes(crafted))
        expect_package_read(path, scratch, f"{name}: {field} at all ones")
    crafted = bytearray(data)
    crafted[128:136] = b"\xFF" * 8
    path = write(os.path.join(scratch, "crafted.exe"), bytes(crafted))
    expect_damaged(path, scratch, f"{name}: the locator at all ones")
    hostile_resources(data, image, scratch, name)


def hostile_resources(data, image, scratch, name):
    """Resources that cost a reader time or break its text: list ends with a
    listing (the package is intact) whatever they hold."""
    # A lone surrogate in the product's name and in a version string.
    crafted = bytearray(data)
    for text in ("Orvandelle", "The qwlauncher authors"):
        at = crafted.find(text.encode("utf-16-le"))
        check(at > 0, f"{name}: {text!r} in the resources")
        crafted[at + 2:at + 4] = b"\x00\xD8"
    path = write(os.path.join(scratch, "surrogate.exe"), bytes(crafted))
    result = run("list", "--json", path)
    ended_cleanly(result, f"{name}: list --json with lone surrogates")
    try:
        listing = json.loads(result.stdout.decode("utf-8"))
        company = dict(listing["version_resource"]["strings"])["CompanyName"]
        check(company.startswith("T\ufffd") and listing["brand"]["name"].startswith("O\ufffd"),
              f"{name}: list --json shows {company!r} and {listing['brand']['name']!r}")
    except (ValueError, KeyError, TypeError) as error:
        check(False, f"{name}: list --json exits {result.returncode}: {error}: {result.stdout[:300]}")
    # Every type entry naming one directory of as many entries: a walk that
    # counted only leaves would take hours; each directory is entered once.
    crafted = bytearray(data)
    count = 20000
    shared = 16 + 8 * count
    for directory, target in ((0, shared), (shared, 2 * shared)):
        at = image.resource_start + directory
        struct.pack_into("<IIHHHH", crafted, at, 0, 0, 0, 0, 0, count)
        for i in range(count):
            struct.pack_into("<II", crafted, at + 16 + 8 * i, i + 1, 0x80000000 | target)
    crafted[image.resource_start + 2 * shared:image.resource_start + 2 * shared + 16] = bytes(16)
    path = write(os.path.join(scratch, "shared.exe"), bytes(crafted))
    result = run("list", path)
    ended_cleanly(result, f"{name}: list with a shared resource directory")
    out = result.stdout.decode(errors="replace")
    check(result.returncode == 0 and "data.bin" in out and "entered twice" in out,
          f"{name}: list with a shared resource directory exits {result.returncode}: {out[:400]}")


with tempfile.TemporaryDirectory() as scratch:
    os.makedirs(os.path.join(scratch, "payload", "sub"))
    write(os.path.join(scratch, "payload", "QWSetup.exe"), b"MZ" + bytes(300))
    write(os.path.join(scratch, "payload", "sub", "data.bin"), b"data " * 3000)

    for lfanew in (0xFFFFFFFC, 0xFFFFFFFF, 0x7FFFFFFF, 60):
        header = bytearray(64)
        header[0:2] = b"MZ"
        struct.pack_into("<I", header, 0x3C, lfanew)
        path = write(os.path.join(scratch, "dos.exe"), bytes(header))
        expect_damaged(path, scratch, f"a 64-byte DOS header with e_lfanew {lfanew:#x}")
        expect_stub_refused(path, scratch, f"a 64-byte DOS header with e_lfanew {lfanew:#x}")

    present = [launcher for launcher in launchers if os.path.exists(launcher)]
    for launcher in present:
        crafted_from(launcher, scratch)

print("%d failed" % len(failures))
if failures:
    sys.exit(1)
if not present:
    print("skipped the built launchers' cases: none of", ", ".join(launchers), "is built")
    sys.exit(SKIPPED)
