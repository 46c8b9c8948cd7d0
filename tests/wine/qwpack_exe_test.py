#!/usr/bin/env python3
"""qwpack.exe from the Windows zip, under wine64, beside the Linux qwpack:
the same launcher byte for byte from a folder of Chinese names (and one
outside the code page refused by both), and with method 2 from programs and
small files on 1 and 2 threads; the launchers it made run to their end,
list, verify and extract agreeing, bench measuring both methods, liblzma's
notices quoted from its source, the version resource read back by Windows
itself, and Ctrl-C leaving no partial output.

Run inside the Wine session:
    scripts/wine-session.sh python3 tests/wine/qwpack_exe_test.py build/qwpack-<version>-windows-x64.zip
`make test` does (make test-packages). Artefacts go to build/qwpack-exe-tests/.
"""
import glob
import json
import os
import random
import shutil
import signal
import subprocess
import sys
import time
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from run_wine_tests import CHINESE, Failure, drive, use_build, windows_path  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "cli"))
import brand_art  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
QWPACK = os.path.join(ROOT, "build", "host", "qwpack")
SETUP = os.path.join(ROOT, "build", "win64", "tests", "wine", "QWSetup.exe")
OUT = os.path.join(ROOT, "build", "qwpack-exe-tests")
DIST_FILES = {"qwpack.exe", "launcher-win32.exe", "launcher-win64.exe", "README.md", "LICENSE",
              "docs/", "docs/publishers.md", "docs/security.md",
              "NOTICES.txt",
              "cmake/", "cmake/qwpackConfig.cmake", "cmake/qwpackConfigVersion.cmake",
              "cmake/qwpackFunctions.cmake", "cmake/qwpackStagePayload.cmake",
              "cmake/qwpackCPackExternal.cmake", "cmake/qwpackVolumes.cmake"}
# A folder path no ANSI code page holds: only wide calls reach it.
FOLDER = os.path.join(OUT, "Ñandú 😀", "payload")
# Method 2's payload: programs for the x86 filter, many small files, and
# over 16 MiB in all, so that the package codes in two stretches.
LZMA_FOLDER = os.path.join(OUT, "lzma-payload")
WINE_DLLS = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"
# The exit status of a Windows process ended by Ctrl-C (0xC000013A) as Unix sees it.
CONTROL_C_EXIT = 0xC000013A & 0xFF


class Run:
    """One program's exit code and output, CRLF folded; output goes through
    files, never pipes, which Wine's helper processes would hold open."""

    def __init__(self, command, name, cwd=None):
        stdout, stderr = (os.path.join(OUT, "logs", f"{name}.{kind}") for kind in ("out", "err"))
        os.makedirs(os.path.dirname(stdout), exist_ok=True)
        with open(stdout, "wb") as out, open(stderr, "wb") as err:
            self.code = subprocess.run(command, stdout=out, stderr=err, stdin=subprocess.DEVNULL,
                                       cwd=cwd or OUT, timeout=300).returncode
        self.out = open(stdout, "rb").read().decode("utf-8").replace("\r\n", "\n")
        self.err = open(stderr, "rb").read().decode("utf-8").replace("\r\n", "\n")

    def expect(self, code, what):
        if self.code != code:
            raise Failure(f"{what}: exit {self.code}, wanted {code}; {self.err.strip()[:500]}")
        return self


def windows(name, *arguments):
    """qwpack.exe from the unpacked zip; host paths are given as Z:\\ paths."""
    return Run([os.environ["QW_WINE"], os.path.join(OUT, "dist", "qwpack.exe"), *arguments],
               "win-" + name)


def linux(name, *arguments):
    return Run([QWPACK, *arguments], "linux-" + name)


def read(path):
    with open(path, "rb") as source:
        return source.read()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)


def expect_same_tree(left, right, ignore=()):
    """Both folders hold the same files with the same bytes."""
    def files(root):
        found = {}
        for directory, _, names in os.walk(root):
            for name in names:
                if name not in ignore:
                    found[os.path.relpath(os.path.join(directory, name), root)] = read(
                        os.path.join(directory, name))
        return found
    mine, theirs = files(left), files(right)
    if mine != theirs:
        differ = sorted(set(mine) ^ set(theirs)) or [k for k in mine if mine[k] != theirs[k]]
        raise Failure(f"{left} and {right} differ: {differ[:5]}")


def make_payload():
    """Nested folders, GBK names (one whose second byte is 0x5C, the
    separator's code), an empty file, coded and incompressible blocks."""
    rng = random.Random(1957)
    trail_5c = bytes([0x95, 0x5C]).decode("gbk")
    files = {
        "QWSetup.exe": read(SETUP),
        "readme.txt": b"Read me first.\r\n" * 40,
        "数据/说明.txt": "中文内容\r\n".encode("gbk") * 500,
        "数据/空.cfg": b"",
        f"数据/{trail_5c}/深.txt": b"deep " * 3000,
        "docs/en/guide.txt": b"".join(rng.choice([b"setup ", b"file ", b"path ", b"\r\n"])
                                      for _ in range(6000)),
        "bin/data.bin": bytes(rng.getrandbits(8) for _ in range(10000)),
    }
    for relative, data in files.items():
        write(os.path.join(FOLDER, relative), data)


def make_lzma_payload():
    """The zip's programs and the Wine suite's, Wine's own DLLs in name order
    up to 14 MiB, and 600 small text files in 20 folders."""
    programs = [os.path.join(OUT, "dist", name) for name in
                ("qwpack.exe", "launcher-win32.exe", "launcher-win64.exe")]
    programs += sorted(glob.glob(os.path.join(os.path.dirname(SETUP), "*.exe")))
    for program in programs:
        write(os.path.join(LZMA_FOLDER, "bin", os.path.basename(program)), read(program))
    write(os.path.join(LZMA_FOLDER, "QWSetup.exe"), read(SETUP))
    dlls, taken = sorted(glob.glob(os.path.join(WINE_DLLS, "*.dll"))), 0
    if not dlls:
        raise Failure(f"no Wine DLLs in {WINE_DLLS} for the payload")
    for dll in dlls:
        if taken > 14 << 20:
            break
        write(os.path.join(LZMA_FOLDER, "wine", os.path.basename(dll)), read(dll))
        taken += os.path.getsize(dll)
    rng = random.Random(26)
    words = [b"setup", b"launcher", b"file", b"path", b"block", b"entry", b"\r\n", b"0x1F"]
    for i in range(600):
        text = b" ".join(rng.choice(words) for _ in range(rng.randrange(1, 400)))
        write(os.path.join(LZMA_FOLDER, "notes", f"part{i % 20:02d}", f"note{i:03d}.txt"), text)


# --- the cases ----------------------------------------------------------------

def dist_zip_holds_qwpack_and_both_launchers():
    """The zip: one folder with qwpack.exe, both launchers, README, LICENSE,
    the publishers' and security documents and the CMake package."""
    with zipfile.ZipFile(sys.argv[1]) as archive:
        names = archive.namelist()
        tops = {name.split("/", 1)[0] for name in names}
        if len(tops) != 1 or {name.split("/", 1)[1] for name in names} != DIST_FILES:
            raise Failure(f"the zip holds {names}")
        archive.extractall(OUT)
    os.rename(os.path.join(OUT, tops.pop()), os.path.join(OUT, "dist"))
    bench_help = windows("bench-help", "bench", "--help").expect(0, "bench --help").out
    if "none of the comparison codecs" not in bench_help:
        raise Failure(f"bench --help does not say the codecs are missing: {bench_help}")
    expect_notices_quote_the_source(read(os.path.join(OUT, "dist", "NOTICES.txt")).decode())


def expect_notices_quote_the_source(notices):
    """NOTICES.txt quotes, word for word, what the debian/copyright of the
    xz-utils source that qwpack.exe's liblzma was built from says of it."""
    version = subprocess.run(["dpkg-query", "-W", "-f=${Version}", "liblzma-dev"],
                             capture_output=True, text=True, check=True).stdout
    copyright_file = os.path.join(ROOT, "build", "third-party", f"xz-utils-{version}", "debian",
                                  "copyright")
    paragraphs = read(copyright_file).decode().split("\n\n")
    quoted = [p.strip("\n") for p in paragraphs if p.startswith("Files: *\n")]
    notices = notices.replace("\r\n", "\n")
    if (f"xz-utils {version}" not in notices or "liblzma is in the public domain." not in notices
            or len(quoted) != 1 or quoted[0] not in notices):
        raise Failure(f"NOTICES.txt does not quote {copyright_file} on liblzma:\n{notices[:800]}")


def bench_shows_both_methods():
    """qwpack.exe bench measures method 1 and method 2 beside memcpy, the
    Linux qwpack's rows without the comparison codecs, at the same ratios
    (the same coded bytes) and with every round trip sound."""
    program = os.path.join(OUT, "dist", "launcher-win64.exe")
    ours = json.loads(windows("bench", "bench", "--json", windows_path(program))
                      .expect(0, "qwpack.exe bench").out)
    theirs = json.loads(linux("bench", "bench", "--json", program).expect(0, "qwpack bench").out)
    wanted = [row for row in theirs if row["codec"].split()[0] in ("memcpy", "qwlz", "qwlzma")]
    if [row["codec"] for row in ours] != [row["codec"] for row in wanted] or len(ours) != 3:
        raise Failure(f"qwpack.exe bench rows: {[row['codec'] for row in ours]}")
    for mine, linux_row in zip(ours, wanted):
        if mine["ratio"] != linux_row["ratio"] or not mine["round_trip"]:
            raise Failure(f"{mine['codec']}: {mine} beside Linux {linux_row}")


def pack_gives_the_linux_bytes():
    """From a folder whose own path no code page holds, with Chinese names:
    qwpack.exe and the Linux qwpack write the same launcher, with the default
    stub (win32, beside qwpack.exe; the build's for Linux) and with win64."""
    for name, options in (("default", []), ("win64", ["--stub", "win64", "--threads", "1"])):
        ours = os.path.join(OUT, f"Windows-{name}.exe")
        theirs = os.path.join(OUT, f"Linux-{name}.exe")
        windows("pack-" + name, "pack", *options, "-o", windows_path(ours),
                windows_path(FOLDER)).expect(0, "qwpack.exe pack")
        linux("pack-" + name, "pack", *options, "-o", theirs, FOLDER).expect(0, "qwpack pack")
        if read(ours) != read(theirs):
            raise Failure(f"{ours} and {theirs} differ")


def volume_set_gives_the_linux_bytes():
    """--volume-size: qwpack.exe writes the program file and every volume
    with the Linux qwpack's bytes, and its verify names a changed volume."""
    folder = os.path.join(OUT, "Ñandú 😀", "large payload")
    shutil.copytree(FOLDER, folder, dirs_exist_ok=True)
    noise = random.Random(23)
    for part in range(3):
        write(os.path.join(folder, "bin", f"noise{part}.bin"), noise.randbytes(700000))
    sets = {}
    for side, run in (("Windows", windows), ("Linux", linux)):
        program = os.path.join(OUT, side + "-set", "Setup.exe")
        os.makedirs(os.path.dirname(program), exist_ok=True)
        path = windows_path if side == "Windows" else (lambda p: p)
        run("pack-set", "pack", "--volume-size", "1M", "-o", path(program),
            path(folder)).expect(0, "pack --volume-size")
        sets[side] = {name: read(os.path.join(os.path.dirname(program), name))
                      for name in os.listdir(os.path.dirname(program))}
    if len(sets["Linux"]) < 3 or sets["Windows"] != sets["Linux"]:
        raise Failure(f"the sets differ: {sorted(sets['Windows'])} and {sorted(sets['Linux'])}")
    program = os.path.join(OUT, "Windows-set", "Setup.exe")
    windows("verify-set", "verify", windows_path(program)).expect(0, "qwpack.exe verify of a set")
    volume = os.path.join(OUT, "Windows-set", "Setup-2.qwv")
    changed = bytearray(sets["Windows"]["Setup-2.qwv"])
    changed[100] ^= 1
    write(volume, bytes(changed))
    refused = windows("verify-changed-set", "verify", windows_path(program))
    if refused.code != 1 or "Setup-2.qwv: changed" not in refused.err:
        raise Failure(f"a changed volume: exit {refused.code}, {refused.err.strip()[:300]}")
    shutil.rmtree(folder)


def branded_pack_gives_the_linux_bytes():
    """A brand file beside its pictures, in a folder no code page holds, with
    Chinese names and version strings, and options over it: qwpack.exe and
    the Linux qwpack write the same branded launcher, with either stub."""
    folder = os.path.join(os.path.dirname(FOLDER), "brand")
    brand_art.write_art(os.path.join(folder, "art"))
    brand = {"name": brand_art.NAME, "name-zh": brand_art.NAME_ZH, "skin": "art/skin.bmp",
             "bar-fill": "art/fill.bmp", "version-info": brand_art.VERSION_INFO}
    write(os.path.join(folder, "brand.json"), json.dumps(brand, ensure_ascii=False).encode())
    icon = os.path.join(folder, "art", "logo.ico")
    for name, options in (("default", []), ("win64", ["--stub", "win64", "--threads", "1"])):
        ours = os.path.join(OUT, f"Windows-branded-{name}.exe")
        theirs = os.path.join(OUT, f"Linux-branded-{name}.exe")
        common = ["--version-info", "CompanyName=" + brand_art.COMPANY_ZH + " (覆盖)",
                  "--execution-level", "highestAvailable"]
        windows("branded-" + name, "pack", *options, *common, "--icon", windows_path(icon),
                "--brand", windows_path(os.path.join(folder, "brand.json")),
                "-o", windows_path(ours), windows_path(FOLDER)).expect(0, "qwpack.exe pack --brand")
        linux("branded-" + name, "pack", *options, *common, "--icon", icon,
              "--brand", os.path.join(folder, "brand.json"), "-o", theirs,
              FOLDER).expect(0, "qwpack pack --brand")
        if read(ours) != read(theirs):
            raise Failure(f"{ours} and {theirs} differ")
    listed = json.loads(linux("branded-list", "list", "--json", theirs).out)
    if listed["version_resource"]["strings"]["CompanyName"] != brand_art.COMPANY_ZH + " (覆盖)":
        raise Failure(f"the option did not override the brand file: {listed['version_resource']}")


def names_outside_the_code_page_are_refused():
    """ñ has no GBK form (a best-fit conversion would make it n): both tools
    refuse the folder, name the file, and leave no output."""
    folder = os.path.join(OUT, "refused")
    write(os.path.join(folder, "QWSetup.exe"), read(SETUP))
    write(os.path.join(folder, "Español.txt"), b"hola")
    output = os.path.join(OUT, "Refused.exe")
    expected = "'Español.txt' has characters code page 936 cannot hold"
    for run in (windows("refused", "pack", "-o", windows_path(output), windows_path(folder)),
                linux("refused", "pack", "-o", output, folder)):
        run.expect(1, "pack of a name outside the code page")
        if expected not in run.err:
            raise Failure(f"no clear refusal: {run.err.strip()}")
    if glob.glob(output + "*"):
        raise Failure(f"left behind: {glob.glob(output + '*')}")


def lzma_pack_gives_the_linux_bytes():
    """Method 2 on programs and small files, over two stretches: qwpack.exe
    writes the launcher the Linux qwpack writes, on 1 and on 2 threads. A
    qwpack.exe built without liblzma fails here, after its refusal has been
    checked for a clear message and no output left behind."""
    make_lzma_payload()
    made = {}
    for threads in ("1", "2"):
        options = ["pack", "--method", "lzma", "--stub", "win64", "--threads", threads]
        made[f"Windows-lzma-{threads}.exe"] = windows(
            "pack-lzma-" + threads, *options, "-o",
            windows_path(os.path.join(OUT, f"Windows-lzma-{threads}.exe")),
            windows_path(LZMA_FOLDER))
        made[f"Linux-lzma-{threads}.exe"] = linux(
            "pack-lzma-" + threads, *options, "-o", os.path.join(OUT, f"Linux-lzma-{threads}.exe"),
            LZMA_FOLDER).expect(0, "qwpack pack --method lzma")
    refused = made["Windows-lzma-1.exe"]
    if refused.code != 0:
        left = glob.glob(os.path.join(OUT, "Windows-lzma-1.exe*"))
        if "cannot write --method lzma" not in refused.err or left:
            raise Failure(f"a refusal that is not clear ({refused.err.strip()}) or left {left}")
        raise Failure(f"qwpack.exe refuses --method lzma: {refused.err.strip()}")
    launchers = {name: read(os.path.join(OUT, name)) for name in made}
    if len(set(launchers.values())) != 1:
        raise Failure(f"the method-2 launchers differ: "
                      f"{ {name: len(data) for name, data in launchers.items()} }")
    listed = json.loads(linux("list-lzma-made", "list", "--json",
                              os.path.join(OUT, "Linux-lzma-1.exe")).out)["entries"]
    if {e["method"] for e in listed if e["stored"]} != {2}:
        raise Failure(f"not a method-2 launcher: {listed[:3]}")


def lzma_launcher_made_by_qwpack_exe_runs():
    """The method-2 launcher qwpack.exe made unpacks the payload byte for
    byte and starts QWSetup.exe -D."""
    facts = drive("outcome", os.path.join(OUT, "Windows-lzma-2.exe"))
    facts.expect("box.seen", 0)
    facts.expect("exit.code", 0)
    facts.expect("setup.record", "present")
    expect_same_tree(facts["workspace.unix"], LZMA_FOLDER, ignore={"QWSetup-received.txt"})


def method_lzma_read():
    """A method-2 launcher the Linux qwpack made is listed, verified and
    extracted by qwpack.exe byte for byte."""
    launcher = os.path.join(OUT, "Linux-lzma.exe")
    linux("pack-lzma", "pack", "--method", "lzma", "-o", launcher, FOLDER).expect(0, "qwpack pack")
    listed = json.loads(windows("list-lzma", "list", "--json", windows_path(launcher))
                        .expect(0, "qwpack.exe list").out)["entries"]
    if {e["method"] for e in listed if e["stored"]} != {2}:
        raise Failure(f"qwpack.exe lists other methods: {listed}")
    windows("verify-lzma", "verify", windows_path(launcher)).expect(0, "qwpack.exe verify")
    extracted = os.path.join(OUT, "extract-lzma")
    windows("extract-lzma", "extract", windows_path(launcher), "-C",
            windows_path(extracted)).expect(0, "qwpack.exe extract")
    expect_same_tree(FOLDER, extracted)


def launcher_made_by_qwpack_exe_runs():
    """The 64-bit launcher qwpack.exe made unpacks the folder byte for byte
    (Chinese names under the Chinese system locale) and starts QWSetup.exe."""
    facts = drive("outcome", os.path.join(OUT, "Windows-win64.exe"), env=CHINESE)
    facts.expect("box.seen", 0)
    facts.expect("exit.code", 0)
    facts.expect("setup.record", "present")
    facts.expect("workspace.package_copy_exists", 0)
    expect_same_tree(facts["workspace.unix"], FOLDER, ignore={"QWSetup-received.txt"})


def expect_list_verify_extract_agree(name, program, folder):
    """list (text and JSON), verify and extract --notices of qwpack.exe give
    what the Linux qwpack gives, and both extract `folder`."""
    ours = windows(name, "list", windows_path(program)).expect(0, "qwpack.exe list")
    theirs = linux(name, "list", program).expect(0, "qwpack list")
    if ours.out.replace("\\", "/") != theirs.out:
        raise Failure(f"list differs:\n{ours.out}\n{theirs.out}")
    ours = windows(name + "-json", "list", "--json", windows_path(program)).expect(0, "list --json")
    theirs = linux(name + "-json", "list", "--json", program).expect(0, "list --json")
    listed = json.loads(ours.out)
    listed["entries"] = [dict(row, path=row["path"].replace("\\", "/")) for row in listed["entries"]]
    if listed != json.loads(theirs.out):
        raise Failure(f"list --json differs:\n{ours.out}\n{theirs.out}")

    ours = windows(name + "-verify", "verify", windows_path(program)).expect(0, "qwpack.exe verify")
    theirs = linux(name + "-verify", "verify", program).expect(0, "qwpack verify")
    if ours.out.split(": ", 1)[1] != theirs.out.split(": ", 1)[1]:
        raise Failure(f"verify differs: {ours.out} / {theirs.out}")

    workspaces = os.path.join(OUT, name + "-windows"), os.path.join(OUT, name + "-linux")
    ours = windows(name + "-extract", "extract", windows_path(program), "-C",
                   windows_path(workspaces[0]), "--notices").expect(0, "qwpack.exe extract")
    theirs = linux(name + "-extract", "extract", program, "-C", workspaces[1],
                   "--notices").expect(0, "extract")
    if ours.out != theirs.out:
        raise Failure(f"the notices differ:\n{ours.out}\n{theirs.out}")
    expect_same_tree(workspaces[0], folder)
    expect_same_tree(workspaces[1], folder)


def lzma_list_verify_extract_agree():
    expect_list_verify_extract_agree("lzma", os.path.join(OUT, "Windows-lzma-2.exe"), LZMA_FOLDER)


def list_verify_extract_agree():
    """The same for method 1, and a damaged launcher is refused alike."""
    program = os.path.join(OUT, "Windows-default.exe")
    expect_list_verify_extract_agree("extract", program, FOLDER)

    damaged = bytearray(read(program))
    package = int.from_bytes(damaged[128:132], "little")
    damaged[package + 4 + 212] ^= 0xFF  # the first entry's checksum
    write(os.path.join(OUT, "Damaged.exe"), bytes(damaged))
    ours = windows("damaged", "verify", windows_path(os.path.join(OUT, "Damaged.exe")))
    theirs = linux("damaged", "verify", os.path.join(OUT, "Damaged.exe"))
    for run in (ours, theirs):
        run.expect(1, "verify of a damaged launcher")
    if not ours.err.startswith("CRC file:") or ours.err.replace("\\", "/") != theirs.err:
        raise Failure(f"damage reported differently: {ours.err} / {theirs.err}")


def host_paths_outside_the_code_page():
    """The launcher, -C and -o are host paths: any name Windows holds, such
    as Muñoz, which code page 936 cannot (only entry names go through it).
    pack -o writes there, verify and extract read the launcher from there,
    extract into a workspace there, and a failure names the real path."""
    folder = os.path.join(OUT, "Muñoz")
    program = os.path.join(folder, "Setup.exe")
    os.makedirs(folder)
    windows("host-path-pack", "pack", "-o", windows_path(program),
            windows_path(FOLDER)).expect(0, "pack -o into Muñoz")
    if read(program) != read(os.path.join(OUT, "Windows-default.exe")):
        raise Failure(f"{program} is not the launcher packed elsewhere")
    windows("host-path-verify", "verify", windows_path(program)).expect(0, "verify in Muñoz")
    workspace = os.path.join(folder, "out")
    windows("host-path-extract", "extract", windows_path(program), "-C", windows_path(workspace),
            "--notices").expect(0, "extract from and into Muñoz")
    expect_same_tree(workspace, FOLDER)

    damaged = os.path.join(folder, "Damaged.exe")
    shutil.copyfile(os.path.join(OUT, "Damaged.exe"), damaged)
    workspace = os.path.join(folder, "damaged")
    run = windows("host-path-damaged", "extract", windows_path(damaged), "-C",
                  windows_path(workspace)).expect(1, "extract of a damaged launcher")
    expected = f"CRC file:{windows_path(workspace)}\\QWSetup.exe error!"
    if run.err.strip() != expected:
        raise Failure(f"the message names another path: {run.err.strip()!r}, wanted {expected!r}")


def version_resource_reads_back():
    """Windows' GetFileVersionInfoW reads in each launcher what qwpack list
    prints, and the version is qwpack's own."""
    version = linux("version", "--version").expect(0, "qwpack --version").out.split()[-1]
    if windows("version", "--version").expect(0, "qwpack.exe --version").out.split()[-1] != version:
        raise Failure("qwpack.exe and qwpack carry different versions")
    for name, bits in (("default", "32"), ("win64", "64")):
        program = os.path.join(OUT, f"Windows-{name}.exe")
        facts = drive("version", program)
        facts.expect("version.found", 1)
        facts.expect("version.fixed_file", version + ".0")
        facts.expect("version.fixed_product", version + ".0")
        facts.expect("version.FileVersion", version)
        facts.expect("version.ProductVersion", version)
        facts.expect("version.OriginalFilename", f"launcher-win{bits}.exe")
        listed = windows("list-" + name, "list", windows_path(program)).out
        for key in ("CompanyName", "FileDescription", "LegalCopyright", "ProductName"):
            if f"  {key:<18} {facts.get('version.' + key)}\n" not in listed:
                raise Failure(f"{key}: Windows reads {facts.get('version.' + key)!r}, "
                              f"qwpack.exe list prints:\n{listed}")


def control_c_leaves_no_partial_output():
    """Ctrl-C (SIGINT, which Wine turns into the console's Ctrl-C event) in
    the middle of a pack: no launcher and no temporary file remain."""
    folder = os.path.join(OUT, "large")
    write(os.path.join(folder, "QWSetup.exe"), read(SETUP))
    for i in range(3):
        write(os.path.join(folder, f"part{i}.bin"), os.urandom(16 << 20))
    output = os.path.join(OUT, "Large.exe")
    with open(os.path.join(OUT, "logs", "win-interrupted.err"), "wb") as err:
        process = subprocess.Popen([os.environ["QW_WINE"], os.path.join(OUT, "dist", "qwpack.exe"),
                                    "pack", "--threads", "1", "-o", windows_path(output),
                                    windows_path(folder)],
                                   stdout=subprocess.DEVNULL, stderr=err, stdin=subprocess.DEVNULL)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and process.poll() is None:
            parts = glob.glob(output + ".part-*")
            if parts and os.path.getsize(parts[0]) > (1 << 20):
                break
            time.sleep(0.05)
        if process.poll() is not None:
            raise Failure(f"qwpack.exe ended (exit {process.returncode}) before it could be interrupted")
        os.kill(process.pid, signal.SIGINT)
        code = process.wait(timeout=60)
    if code != CONTROL_C_EXIT:
        raise Failure(f"exit {code} after Ctrl-C, wanted {CONTROL_C_EXIT} (0xC000013A)")
    if glob.glob(output + "*"):
        raise Failure(f"left behind: {glob.glob(output + '*')}")
    shutil.rmtree(folder)


def main():
    if len(sys.argv) != 2 or "QW_WINE" not in os.environ:
        print(__doc__)
        return 2
    use_build("win64")  # the driver that runs the launchers qwpack.exe made
    shutil.rmtree(OUT, ignore_errors=True)
    os.makedirs(OUT)
    make_payload()
    cases = [dist_zip_holds_qwpack_and_both_launchers, bench_shows_both_methods,
             pack_gives_the_linux_bytes, volume_set_gives_the_linux_bytes,
             branded_pack_gives_the_linux_bytes,
             names_outside_the_code_page_are_refused, lzma_pack_gives_the_linux_bytes,
             lzma_launcher_made_by_qwpack_exe_runs, lzma_list_verify_extract_agree,
             method_lzma_read, launcher_made_by_qwpack_exe_runs,
             list_verify_extract_agree, host_paths_outside_the_code_page,
             version_resource_reads_back,
             control_c_leaves_no_partial_output]
    failed = 0
    started = time.monotonic()
    for case in cases:
        case_started = time.monotonic()
        try:
            case()
            verdict = "PASS"
        except (Failure, subprocess.SubprocessError, OSError, KeyError, ValueError) as failure:
            verdict = f"FAIL  {failure}"
            failed += 1
        print(f"{case.__name__:45s} {time.monotonic() - case_started:5.1f}s  {verdict}", flush=True)
    print(f"qwpack.exe tests: {len(cases) - failed}/{len(cases)} passed "
          f"in {time.monotonic() - started:.0f}s; artefacts in {OUT}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
