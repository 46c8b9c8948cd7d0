#!/usr/bin/env python3
"""qwpack pack with a publisher's brand, read back by pefile (an
independent reader): every option lands where Windows looks for it, the
image stays consistent, a brand file gives the same bytes as the options,
bad input is refused with its reason and leaves nothing behind, and without
a brand the launcher stub is written untouched.

usage: brand_test.py QWPACK BUILD_DIRECTORY   (the stubs: BUILD/win32, BUILD/win64)
"""
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import brand_art as art  # noqa: E402

try:
    import pefile
except ImportError:  # a Python of its own beside Debian's python3-pefile
    sys.path.append("/usr/lib/python3/dist-packages")
    import pefile

QWPACK = BUILD = ""
RT_BITMAP, RT_ICON, RT_STRING, RT_GROUP_ICON, RT_MANIFEST = 2, 3, 6, 14, 24


def stubs():
    found = [(arch, os.path.join(BUILD, arch, "launcher.exe")) for arch in ("win32", "win64")]
    return [(arch, path) for arch, path in found if os.path.exists(path)]


def resource(pe, kind, name):
    for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if entry.id == kind:
            for named in entry.directory.entries:
                if named.id == name:
                    data = named.directory.entries[0].data.struct
                    return pe.get_data(data.OffsetToData, data.Size)
    return None


def string_block(block):
    strings, at = [], 0
    while len(strings) < 16 and at + 2 <= len(block):
        count, = struct.unpack_from("<H", block, at)
        strings.append(block[at + 2:at + 2 + 2 * count].decode("utf-16-le"))
        at += 2 + 2 * count
    return strings


class BrandTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not stubs():
            raise unittest.SkipTest(f"no launcher built under {BUILD}")
        cls.scratch = tempfile.mkdtemp()
        cls.payload = os.path.join(cls.scratch, "payload")
        os.makedirs(os.path.join(cls.payload, "sub"))
        with open(os.path.join(cls.payload, "QWSetup.exe"), "wb") as out:
            out.write(b"setup " * 3000)
        with open(os.path.join(cls.payload, "sub", "data.bin"), "wb") as out:
            out.write(os.urandom(5000))
        cls.art = art.write_art(os.path.join(cls.scratch, "art"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def pack(self, stub, output, *options, cwd=None):
        return subprocess.run([QWPACK, "pack", "--stub", stub, "-o", output, *options,
                               self.payload], capture_output=True, text=True, cwd=cwd)

    def packed(self, stub, name, *options):
        output = os.path.join(self.scratch, name)
        done = self.pack(stub, output, *options)
        self.assertEqual(done.returncode, 0, done.stderr)
        with open(output, "rb") as source:
            return output, source.read()

    def test_without_a_brand_the_stub_goes_in_untouched(self):
        empty = os.path.join(self.scratch, "empty.json")
        with open(empty, "w") as out:
            out.write("{}")
        for arch, stub in stubs():
            with open(stub, "rb") as source:
                original = source.read()
            _, plain = self.packed(stub, f"plain-{arch}.exe")
            self.assertEqual(plain[:128], original[:128])
            self.assertEqual(plain[136:len(original)], original[136:])
            _, empty_brand = self.packed(stub, f"empty-{arch}.exe", "--brand", empty)
            self.assertEqual(empty_brand, plain)

    def test_every_option_reads_back_where_windows_looks(self):
        for arch, stub in stubs():
            output, data = self.packed(stub, f"branded-{arch}.exe", *art.brand_options(self.art))
            pe = pefile.PE(data=data)
            self.assertEqual(pe.get_warnings(), [])
            strings = {}
            for info in pe.FileInfo[0]:
                for table in getattr(info, "StringTable", []):
                    strings = {k.decode(): v.decode() for k, v in table.entries.items()}
            for key, value in art.VERSION_INFO.items():
                self.assertEqual(strings.get(key), value, key)
            fixed = pe.VS_FIXEDFILEINFO[0]
            self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), (0x70001, 0x20003))
            self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS), (0x70001, 0))

            icons = [e for e in pe.DIRECTORY_ENTRY_RESOURCE.entries if e.id == RT_ICON][0]
            self.assertEqual(len(icons.directory.entries), len(art.ICON_SIZES))  # none left over
            group = resource(pe, RT_GROUP_ICON, 128)
            count, = struct.unpack_from("<H", group, 4)
            self.assertEqual(count, len(art.ICON_SIZES))
            for i, size in enumerate(art.ICON_SIZES):
                width, _, _, _, _, bits, length, ident = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
                image = resource(pe, RT_ICON, ident)
                self.assertEqual((width, bits, length), (size, 32, len(image)))
                self.assertEqual(image, art.icon_image(size, art.ICON_COLOURS[size]))
            for ident, name in ((129, "skin.bmp"), (134, "fill.bmp")):
                with open(self.art[name], "rb") as source:
                    self.assertEqual(resource(pe, RT_BITMAP, ident), source.read()[14:], name)
            manifest = resource(pe, RT_MANIFEST, 1).decode()
            self.assertIn('level="asInvoker"', manifest)
            self.assertNotIn("requireAdministrator", manifest)
            names = string_block(resource(pe, RT_STRING, 1))
            self.assertEqual(names[1:3], [art.NAME, art.NAME_ZH])

            # The image holds together: the checksum over the whole file, the
            # resource directory and the last section's end.
            self.assertEqual(pe.OPTIONAL_HEADER.CheckSum, pe.generate_checksum())
            rsrc = [s for s in pe.sections if s.Name.rstrip(b"\0") == b".rsrc"][0]
            directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[2]
            self.assertEqual((directory.VirtualAddress, directory.Size),
                             (rsrc.VirtualAddress, rsrc.Misc_VirtualSize))
            last = pe.sections[-1]
            alignment = pe.OPTIONAL_HEADER.SectionAlignment
            self.assertEqual(pe.OPTIONAL_HEADER.SizeOfImage,
                             (last.VirtualAddress + last.Misc_VirtualSize + alignment - 1) & -alignment)

            self.assertEqual(subprocess.run([QWPACK, "verify", output], capture_output=True).returncode, 0)
            listed = json.loads(subprocess.run([QWPACK, "list", "--json", output],
                                               capture_output=True, text=True).stdout)
            self.assertEqual(listed["brand"], {"name": art.NAME, "name_zh": art.NAME_ZH,
                                               "execution_level": "asInvoker", "icon": "custom",
                                               "skin": "custom", "bar_fill": "custom"})
            self.assertEqual(listed["version_resource"]["strings"]["CompanyName"], art.COMPANY_ZH)
            text = subprocess.run([QWPACK, "list", output], capture_output=True, text=True).stdout
            self.assertIn(f"name (Chinese)     {art.NAME_ZH}", text)

    def test_a_brand_file_gives_the_same_bytes_and_options_override_it(self):
        arch, stub = stubs()[-1]
        _, by_options = self.packed(stub, "options.exe", *art.brand_options(self.art))
        folder = os.path.join(self.scratch, "farm", "brand")
        shutil.copytree(os.path.dirname(self.art["skin.bmp"]), os.path.join(folder, "art"))
        brand = {"name": art.NAME, "name-zh": art.NAME_ZH, "icon": "art/logo.ico",
                 "skin": "art/skin.bmp", "bar-fill": "art/fill.bmp",
                 "execution-level": "asInvoker", "version-info": art.VERSION_INFO}
        with open(os.path.join(folder, "brand.json"), "w", encoding="utf-8") as out:
            json.dump(brand, out, ensure_ascii=False)
        # Run from elsewhere: the pictures are found beside the brand file.
        output = os.path.join(self.scratch, "by-file.exe")
        done = self.pack(stub, output, "--brand", "farm/brand/brand.json", cwd=self.scratch)
        self.assertEqual(done.returncode, 0, done.stderr)
        with open(output, "rb") as source:
            self.assertEqual(source.read(), by_options)

        # A build tool learns of every file the brand is made from.
        depfile = os.path.join(self.scratch, "by-file.d")
        done = self.pack(stub, output, "--brand", "farm/brand/brand.json", "--depfile", depfile,
                         cwd=self.scratch)
        self.assertEqual(done.returncode, 0, done.stderr)
        with open(depfile) as source:
            listed = source.read()
        for name in ("brand.json", "logo.ico", "skin.bmp", "fill.bmp"):
            self.assertIn(name, listed)

        done = self.pack(stub, output, "--brand", os.path.join(folder, "brand.json"),
                         "--name", "Override", "--version-info", "CompanyName=Override Inc.",
                         "--execution-level", "highestAvailable")
        self.assertEqual(done.returncode, 0, done.stderr)
        listed = json.loads(subprocess.run([QWPACK, "list", "--json", output],
                                           capture_output=True, text=True).stdout)
        self.assertEqual((listed["brand"]["name"], listed["brand"]["name_zh"]), ("Override", art.NAME_ZH))
        self.assertEqual(listed["brand"]["execution_level"], "highestAvailable")
        strings = listed["version_resource"]["strings"]
        self.assertEqual((strings["CompanyName"], strings["Comments"]),
                         ("Override Inc.", art.VERSION_INFO["Comments"]))

    def test_bad_input_is_refused_with_its_reason_and_leaves_nothing(self):
        arch, stub = stubs()[-1]
        bad = os.path.join(self.scratch, "bad")
        os.makedirs(bad)

        def write(name, data):
            path = os.path.join(bad, name)
            with open(path, "wb") as out:
                out.write(data)
            return path

        icon = art.icon_file()
        with open(stub, "rb") as source:
            stub_bytes = source.read()
        cases = [
            (["--icon", write("cut.ico", icon[:len(icon) - 100])], "runs past the end of the file"),
            (["--icon", write("none.ico", icon[:4] + b"\0\0")], "holds no images"),
            (["--icon", write("not.ico", b"GIF89a" + icon)], "not an icon file"),
            (["--skin", write("small.bmp", art.bmp(399, 300, 24, art.skin_pixel))],
             "399 x 300 pixels; the window needs 400 x 300"),
            (["--skin", write("deep.bmp", art.bmp(400, 300, 24, art.skin_pixel)[:28] + b"\x08\0"
                              + art.bmp(400, 300, 24, art.skin_pixel)[30:])], "8 bits per pixel"),
            (["--skin", write("png.bmp", b"\x89PNG\r\n\x1a\n" + bytes(100))], "not a BMP file"),
            (["--bar-fill", write("wide.bmp", art.bmp(2, 18, 24, art.fill_pixel))], "1 x 1 to 64"),
            (["--skin", write("cut.bmp", art.bmp(400, 300, 24, art.skin_pixel)[:-10])], "cut short"),
            (["--version-info", "Publisher=Contoso"], "unknown key"),
            (["--version-info", "Comments=" + "x" * 257], "at most 256 fit"),
            (["--version-info", "FileVersion=beta"], "dotted version"),
            (["--version-info", "CompanyName"], "not KEY=VALUE"),
            (["--name", "N" * 65], "at most 64"),
            (["--name", ""], "the name is empty"),
            ([b"--name", b"Contoso \xff"], "not valid UTF-8"),
            (["--execution-level", "root"], "not asInvoker"),
            (["--icon", os.path.join(bad, "missing.ico")], "missing.ico"),
            (["--brand", write("brand.json", b'{"nmae": "x"}')], "unknown key nmae"),
            (["--brand", write("broken.json", b'{"name": ')], "not valid JSON"),
            (["--stub", write("overlay.exe", stub_bytes + bytes(512)), "--name", "X"],
             "cannot be rewritten: data follows its last section"),
        ]
        for options, reason in cases:
            output = os.path.join(bad, "out", "Setup.exe")
            os.makedirs(os.path.dirname(output), exist_ok=True)
            given_stub = options[1] if options[0] == "--stub" else stub
            done = self.pack(given_stub, output, *options[2 if options[0] == "--stub" else 0:])
            self.assertNotEqual(done.returncode, 0, options)
            self.assertIn(reason, done.stderr, options)
            self.assertEqual(os.listdir(os.path.dirname(output)), [], options)
        # Every problem at once, not only the first.
        done = self.pack(stub, os.path.join(bad, "out", "Setup.exe"), "--name", "",
                         "--execution-level", "root")
        self.assertIn("the name is empty", done.stderr)
        self.assertIn("not asInvoker", done.stderr)


if __name__ == "__main__":
    QWPACK, BUILD = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    unittest.main(argv=sys.argv[:1])
