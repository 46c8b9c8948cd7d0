#!/usr/bin/env python3
"""cmake/build/move_pe_header.py on synthetic PE files: the headers move behind
the package locator unchanged, nothing else moves, and files it cannot
move safely are refused. Given the C++ image code's probe (pe_probe) and
the build folder, its checksum and layout check are held against the C++
ones on crafted images and the built launchers.

usage: move_pe_header_test.py [PE_PROBE BUILD_DIR]"""
import os
import struct
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "..", "..", "..", "cmake", "build", "move_pe_header.py")
sys.path.insert(0, os.path.dirname(SCRIPT))
import move_pe_header as mover  # noqa: E402

STUB = b"This program cannot be run in DOS mode.\r\r\n$"


def synthetic_pe(plus=False, size_of_headers=0x400, sections=4, checksum=0, e_lfanew=0x80):
    """A PE file as GNU ld lays one out: the DOS stub up to e_lfanew, the
    headers, zero slack up to SizeOfHeaders, then the sections' raw data."""
    optional_size = 240 if plus else 224
    data = bytearray(size_of_headers + sections * 0x200)
    data[0:2] = b"MZ"
    struct.pack_into("<I", data, 0x3C, e_lfanew)
    data[0x4E:0x4E + len(STUB)] = STUB
    at = e_lfanew
    data[at:at + 4] = b"PE\0\0"
    struct.pack_into("<HHIIIHH", data, at + 4, 0x8664 if plus else 0x14C, sections, 0, 0, 0,
                     optional_size, 0x0102)
    optional = at + 24
    struct.pack_into("<H", data, optional, 0x20B if plus else 0x10B)
    struct.pack_into("<I", data, optional + 16, 0x1000)  # entry point
    struct.pack_into("<II", data, optional + 32, 0x1000, 0x200)  # section and file alignment
    struct.pack_into("<I", data, optional + 60, size_of_headers)
    struct.pack_into("<I", data, optional + 64, checksum)
    count_at = optional + (108 if plus else 92)
    struct.pack_into("<I", data, count_at, 16)
    table = optional + optional_size
    for i in range(sections):
        raw = size_of_headers + i * 0x200
        struct.pack_into("<8sIIII", data, table + 40 * i, b".s%d" % i, 0x200, 0x1000 * (i + 1),
                         0x200, raw)
        data[raw:raw + 0x200] = bytes((i * 7 + j) & 0xFF for j in range(0x200))
    return bytes(data)


def reference_checksum(data, checksum_at):
    """The PE checksum the long way: every 16-bit word summed, the carries
    folded back in at the end, the file's length added."""
    length = len(data)
    words = bytearray(data)
    words[checksum_at:checksum_at + 4] = bytes(4)
    if length % 2:
        words.append(0)
    total = sum(words[i] | words[i + 1] << 8 for i in range(0, len(words), 2))
    while total > 0xFFFF:
        total = (total & 0xFFFF) + (total >> 16)
    return total + length


class MovePeHeaderTest(unittest.TestCase):
    def check_moved(self, original, moved):
        old = mover.Headers(original)
        new = mover.Headers(moved)
        self.assertEqual(new.start, 136)
        self.assertEqual(len(moved), len(original))
        self.assertEqual(moved[new.start:new.end], original[old.start:old.end])
        self.assertEqual(moved[:0x3C], original[:0x3C])  # DOS header before e_lfanew
        self.assertEqual(moved[0x40:0x80], original[0x40:0x80])  # the DOS stub
        self.assertEqual(moved[128:136], bytes(8))  # free for the package locator
        self.assertEqual(moved[old.size_of_headers:], original[old.size_of_headers:])
        self.assertEqual(new.section_list(moved), old.section_list(original))

    def test_moves_pe32_and_pe32_plus_headers_behind_the_locator(self):
        for plus in (False, True):
            original = synthetic_pe(plus=plus)
            self.check_moved(original, mover.move_pe_header(original))

    def test_leaves_a_header_at_136_or_later_alone(self):
        original = synthetic_pe(e_lfanew=0xC0)
        self.assertEqual(mover.move_pe_header(original), original)

    def test_refuses_without_slack_before_size_of_headers(self):
        # 0x80 + 24 + 224 + 4 * 40 = 536 bytes of headers; 8 more do not fit in 540.
        with self.assertRaises(mover.PeError):
            mover.move_pe_header(synthetic_pe(size_of_headers=540))
        self.check_moved(synthetic_pe(size_of_headers=544),
                         mover.move_pe_header(synthetic_pe(size_of_headers=544)))

    def test_refuses_when_the_slack_holds_data(self):
        data = bytearray(synthetic_pe())
        end = mover.Headers(bytes(data)).end
        data[end + 3] = 0x55
        with self.assertRaises(mover.PeError):
            mover.move_pe_header(bytes(data))

    def test_refuses_what_is_not_a_pe_file(self):
        data = bytearray(synthetic_pe())
        data[0x80:0x84] = b"NE\0\0"
        with self.assertRaises(mover.PeError):
            mover.move_pe_header(bytes(data))
        with self.assertRaises(mover.PeError):
            mover.move_pe_header(b"MZ" + bytes(10))

    def test_recomputes_a_checksum_that_was_set(self):
        moved = mover.move_pe_header(synthetic_pe(checksum=0x1234))
        headers = mover.Headers(moved)
        stored = struct.unpack_from("<I", moved, headers.checksum_at)[0]
        self.assertEqual(stored, reference_checksum(moved, headers.checksum_at))
        unset = mover.move_pe_header(synthetic_pe(checksum=0))
        self.assertEqual(struct.unpack_from("<I", unset, headers.checksum_at)[0], 0)

    def test_resources_must_begin_their_section_and_come_last_but_for_relocations(self):
        mover.check_resources_last(synthetic_pe())  # no resources: nothing to rebuild
        mover.check_resources_last(with_directories(0x4000))
        mover.check_resources_last(with_directories(0x3000, relocations=0x4000))
        for resources, relocations in ((0x3000, 0), (0x2000, 0x4000), (0x3010, 0x4000)):
            with self.assertRaises(mover.PeError):
                mover.check_resources_last(with_directories(resources, relocations))
        with tempfile.TemporaryDirectory() as scratch:
            path = os.path.join(scratch, "launcher.exe")
            with open(path, "wb") as f:
                f.write(with_directories(0x2000, 0x4000))
            result = subprocess.run([sys.executable, SCRIPT, path], capture_output=True, text=True)
            self.assertNotEqual(result.returncode, 0)
            self.assertIn("follow the resources", result.stderr)

    def test_script_rewrites_the_file_in_place_and_reports(self):
        with tempfile.TemporaryDirectory() as scratch:
            path = os.path.join(scratch, "launcher.exe")
            original = synthetic_pe()
            with open(path, "wb") as f:
                f.write(original)
            result = subprocess.run([sys.executable, SCRIPT, "--report", path],
                                    capture_output=True, text=True, check=True)
            self.assertIn("PE header at 136", result.stdout)
            self.assertIn("bitmap 129 0 bytes", result.stdout)
            with open(path, "rb") as f:
                self.check_moved(original, f.read())
            # A second run finds nothing to do.
            subprocess.run([sys.executable, SCRIPT, path], check=True)
            with open(path, "rb") as f:
                self.assertEqual(mover.Headers(f.read()).start, 136)


def with_directories(resources, relocations=0):
    """A synthetic PE whose resource and relocation directories name the
    given addresses."""
    data = bytearray(synthetic_pe())
    headers = mover.Headers(bytes(data))
    struct.pack_into("<II", data, headers.directories + 16, resources, 0x100)
    struct.pack_into("<II", data, headers.directories + 40, relocations, 0x10)
    return bytes(data)


def crafted_layouts():
    """(name, image) pairs around each rule of the layout check."""
    yield "resources last", with_directories(0x4000)
    yield "relocations behind the resources", with_directories(0x3000, relocations=0x4000)
    yield "another section behind", with_directories(0x3000)
    yield "two sections behind", with_directories(0x2000, relocations=0x4000)
    yield "directory inside its section", with_directories(0x3010, relocations=0x4000)
    yield "directory in no section", with_directories(0x9000)
    yield "data behind the sections", with_directories(0x4000) + b"tail"
    yield "odd length", with_directories(0x4000) + b"t"
    symbols = bytearray(with_directories(0x4000))
    struct.pack_into("<I", symbols, 0x80 + 12, 0x1234)
    yield "COFF symbol table", bytes(symbols)
    for field, value in ((32, 0x1001), (36, 0x20000), (36, 0)):
        misaligned = bytearray(with_directories(0x4000))
        struct.pack_into("<I", misaligned, 0x80 + 24 + field, value)
        yield "alignment field %d = 0x%X" % (field, value), bytes(misaligned)
    behind = bytearray(with_directories(0x3000, relocations=0x4000))
    table = mover.Headers(bytes(behind)).section_table
    struct.pack_into("<I", behind, table + 40 * 1 + 20, 0x400 + 3 * 0x200)  # .s1's raw data moved
    yield "a section's data behind the resources", bytes(behind)
    gap = bytearray(with_directories(0x3000, relocations=0x4000))
    struct.pack_into("<I", gap, table + 40 * 3 + 20, 0x400 + 4 * 0x200)
    yield "a gap before the relocations", bytes(gap) + bytes(0x200)
    overlap = bytearray(with_directories(0x4000))
    struct.pack_into("<I", overlap, 0x80 + 24 + 60, 0x1000)  # SizeOfHeaders past the sections
    yield "headers overlapping the resources", bytes(overlap)
    yield "moved headers", mover.move_pe_header(with_directories(0x3000, relocations=0x4000))


class AgreesWithTheImageCode(unittest.TestCase):
    """The post-link step and qwpack's resource writer must judge a layout
    alike, and write the same checksum, or a launcher that builds could not
    be branded."""
    probe = None
    build = None

    def probe_verdicts(self, images):
        with tempfile.TemporaryDirectory() as scratch:
            paths = []
            for i, (_, data) in enumerate(images):
                paths.append(os.path.join(scratch, "%d.exe" % i))
                with open(paths[-1], "wb") as f:
                    f.write(data)
            out = subprocess.run([self.probe] + paths, capture_output=True, text=True,
                                 check=True).stdout
        return [line.split("\t") for line in out.splitlines()]

    def test_same_verdict_and_checksum(self):
        if not self.probe:
            self.skipTest("no pe_probe given")
        images = list(crafted_layouts())
        for build in ("win32", "win64"):
            path = os.path.join(self.build, build, "launcher.exe")
            if os.path.exists(path):
                with open(path, "rb") as f:
                    images.append(("built " + build, f.read()))
        self.assertGreater(len(images), 15)
        accepted = 0
        for (name, data), (kind, checksum, layout) in zip(images, self.probe_verdicts(images)):
            with self.subTest(name):
                headers = mover.Headers(data)
                self.assertEqual(kind, "checksum")
                self.assertEqual(int(checksum, 16), mover.pe_checksum(data, headers.checksum_at))
                try:
                    mover.check_resources_last(data)
                    python = "ok"
                except mover.PeError as error:
                    python = str(error)
                self.assertEqual(python == "ok", layout == "ok",
                                 "Python: %s; C++: %s" % (python, layout))
                accepted += layout == "ok"
        self.assertGreaterEqual(accepted, 3)


if __name__ == "__main__":
    if len(sys.argv) >= 3:
        AgreesWithTheImageCode.probe, AgreesWithTheImageCode.build = sys.argv[1:3]
        del sys.argv[1:3]
    unittest.main()
