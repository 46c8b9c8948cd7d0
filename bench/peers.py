#!/usr/bin/env python3
"""Side by side with the usual tools: one deterministic payload packed and
unpacked by qwpack, tar (gzip, xz), zip, 7-Zip and NSIS, and our 64-bit
launcher beside a 64-bit NSIS installer of the same payload under Wine.

    python3 bench/peers.py [--mb 80] [--files N] [--repeat 3] [--real [DIR]] [--goals-only]
    make peers [PEERS_MB=8] [PEERS_REPEAT=1]
    make peers-real [PEERS_REPEAT=3]

--real packs a tree of real Windows programs and DLLs found on the machine
(Wine's own 64-bit DLLs, /usr/lib/x86_64-linux-gnu/wine/x86_64-windows, by
default) instead of the generated payload. --goals-only keeps the rows the
method-2 goals compare: both qwpack methods, tar + xz, 7-Zip and NSIS LZMA
solid.

Times are wall-clock (page cache warm, written data synced before each
run), memory is the peak resident set of the process and its
waited-for children (/usr/bin/time %M). Every extraction is checked against
the payload's checksum list; a difference ends the run with status 1.
The table goes to stdout and to build/peers/peers.md.
"""
import argparse
import datetime
import hashlib
import os
import platform
import random
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
OUT = os.path.join(ROOT, "build", "peers")
QWPACK = os.path.join(ROOT, "build", "host", "qwpack")
LAUNCHER = os.path.join(ROOT, "build", "win64", "launcher.exe")
SETUP = os.path.join(ROOT, "build", "win64", "tests", "wine", "QWSetup.exe")
# Our own prefix: the shared one is busy with the Wine tests, and this one's
# wineserver is kept running for the whole measurement.
PREFIX = os.path.join(OUT, "wineprefix")
GENERATOR_VERSION = 1
MIB = 1024 * 1024


class Mismatch(Exception):
    pass


# ---------------------------------------------------------------- payload


def syllable_words(rng, count):
    """Pronounceable made-up words: text that compresses like text."""
    onsets = ["b", "c", "d", "f", "g", "h", "k", "l", "m", "n", "p", "r", "s", "t", "v", "w",
              "st", "tr", "pl", "ch", "sh", "th", "gr", "br", "cl", "qu"]
    nuclei = ["a", "e", "i", "o", "u", "ai", "ea", "ou", "io", "y"]
    codas = ["", "", "n", "r", "s", "t", "l", "m", "nd", "ck", "ng", "x"]
    # made-up words, but none that reads as a rude one
    unwanted = ("fuck", "shit", "cunt", "dick", "cock", "fag", "nig", "slut", "whor", "piss",
                "tits", "rape", "anal", "anus", "cum", "sex", "porn", "puss")
    words = set()
    while len(words) < count:
        word = "".join(rng.choice(onsets) + rng.choice(nuclei) + rng.choice(codas)
                       for _ in range(rng.choice((1, 1, 2, 2, 3))))
        if not any(part in word for part in unwanted):
            words.add(word)
    ranked = sorted(words)
    rng.shuffle(ranked)
    return ranked


class Generator:
    """Four kinds of file, each from the one seeded random stream."""

    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.words = syllable_words(self.rng, 4000)
        # Zipf-like weights: a few words are everywhere, most are rare.
        self.word_weights = list(self._cumulative(len(self.words), 1.0))
        # Flatter for code, which compresses less than text (gzip about 2.5:1).
        self.blocks = [self._code_block() for _ in range(20000)]
        self.block_weights = list(self._cumulative(len(self.blocks), 0.8))

    @staticmethod
    def _cumulative(count, exponent):
        total = 0.0
        for rank in range(1, count + 1):
            total += rank ** -exponent
            yield total

    def _code_block(self):
        """A run of instruction-like bytes: common opcodes, registers, offsets."""
        rng = self.rng
        opcodes = [b"\x48\x89", b"\x48\x8b", b"\xe8", b"\xff\x15", b"\x48\x83\xec", b"\x0f\x84",
                   b"\x74", b"\x75", b"\xc3", b"\x55", b"\x5d", b"\x31\xc0", b"\x48\x8d", b"\x41\x57",
                   b"\x90", b"\xcc", b"\x66\x0f\x1f\x44\x00\x00", b"\x85\xc0", b"\x39\xd0", b"\xeb"]
        out = bytearray()
        for _ in range(rng.randint(3, 24)):
            out += rng.choice(opcodes)
            out.append(rng.choice((0x05, 0x44, 0x45, 0x4c, 0xc1, 0xd8, 0xe5, 0x24, 0x0d)))
            if rng.random() < 0.4:
                out += rng.randrange(0, 512, 8).to_bytes(4, "little")
        return bytes(out)

    def words_of(self, count):
        return self.rng.choices(self.words, cum_weights=self.word_weights, k=count)

    def text(self, size):
        rng = self.rng
        style = rng.choice(("prose", "code", "markup"))
        out = []
        length = 0
        while length < size:
            words = self.words_of(rng.randint(4, 14))
            if style == "prose":
                line = " ".join(words).capitalize() + "."
            elif style == "code":
                indent = "    " * rng.randint(0, 3)
                line = f"{indent}{words[0]}_{words[1]}({', '.join(words[2:5])});"
            else:
                line = f'<{words[0]} {words[1]}="{words[2]}">{" ".join(words[3:])}</{words[0]}>'
            out.append(line)
            length += len(line) + 2
        return "\r\n".join(out).encode("ascii")[:size]

    def binary(self, size):
        """Header, code section, string table, zero padding: an executable's shape."""
        rng = self.rng
        out = bytearray(b"MZ\x90\x00" + bytes(60) + b"PE\x00\x00")
        out += bytes(512 - len(out))
        code_end = int(size * rng.uniform(0.55, 0.8))
        while len(out) < code_end:
            chosen = rng.choices(self.blocks, cum_weights=self.block_weights, k=64)
            for block in chosen:
                out += block
                # a call target or an address: the part that varies
                out += rng.getrandbits(32).to_bytes(4, "little")
        out += bytes(-len(out) % 512)
        while len(out) < size:
            out += "\0".join(self.words_of(64)).encode("ascii") + b"\0"
            if rng.random() < 0.2:
                out += bytes(rng.randrange(64, 4096))
        return bytes(out[:size])

    def image(self, size):
        """An uncompressed bitmap: smooth gradients with noise in the low bits."""
        rng = self.rng
        width = rng.choice((256, 320, 512, 640, 800, 1024))
        row_bytes = width * 3
        height = max(1, (size - 54) // row_bytes)
        pixels = row_bytes * height
        header = b"BM" + struct.pack("<IHHIIiiHHIIiiII", 54 + pixels, 0, 0, 54, 40, width, height,
                                     1, 24, 0, pixels, 2835, 2835, 0, 0)
        a, b, c = rng.randint(1, 5), rng.randint(1, 7), rng.randint(1, 3)
        pattern = bytes(((i * a) // 3 + (i % 3) * 60 + (i * c) // (row_bytes // 64 or 1)) & 0xFF
                        for i in range(row_bytes * 2))
        rows = b"".join(pattern[(y * b) % row_bytes:(y * b) % row_bytes + row_bytes]
                        for y in range(height))
        noise_bits = rng.choice((0x01, 0x03, 0x07))
        noise = rng.randbytes(pixels).translate(bytes(i & noise_bits for i in range(256)))
        mixed = int.from_bytes(rows, "little") ^ int.from_bytes(noise, "little")
        body = header + mixed.to_bytes(pixels, "little")
        return body + bytes(max(0, size - len(body)))

    def compressed(self, size):
        """Already compressed media and archives: no redundancy left."""
        magic = self.rng.choice((b"\x89PNG\r\n\x1a\n", b"\xff\xd8\xff\xe0", b"PK\x03\x04",
                                 b"MSCF\0\0\0\0", b"OggS"))
        return (magic + self.rng.randbytes(size))[:size]


# name stem, extensions, share of the files, share of the bytes, kind
KINDS = [
    ("text", ("txt", "xml", "ini", "cpp", "h", "log", "html", "json"), 0.47, 0.24),
    ("binary", ("dll", "exe", "sys", "ocx", "bin"), 0.23, 0.36),
    ("image", ("bmp",), 0.12, 0.20),
    ("compressed", ("png", "jpg", "zip", "cab", "ogg"), 0.15, 0.20),
    ("empty", ("cfg", "lock"), 0.03, 0.0),
]
FOLDER_WORDS = ["bin", "lib", "data", "res", "locale", "plugins", "docs", "help", "media",
                "sounds", "images", "fonts", "drivers", "config", "redist", "maps", "shaders"]


def folder_tree(rng, count):
    """Nested folders, at most four deep, short ASCII names unique ignoring case."""
    folders = [""]
    while len(folders) < count:
        parent = rng.choice(folders)
        if parent.count("/") >= 3:
            continue
        name = f"{rng.choice(FOLDER_WORDS)}{rng.randrange(100):02d}"
        path = f"{parent}/{name}" if parent else name
        if path not in folders:
            folders.append(path)
    return folders


def plan_payload(rng, total_bytes, file_count):
    """(relative path, kind, size) for every file, sizes log-normal within each kind."""
    plan = []
    folders = folder_tree(rng, max(4, file_count // 12))
    serial = 0
    for kind, extensions, file_share, byte_share in KINDS:
        count = max(1, round(file_count * file_share))
        weights = [rng.lognormvariate(0, 1.3) for _ in range(count)]
        scale = total_bytes * byte_share / sum(weights)
        for weight in weights:
            serial += 1
            folder = rng.choice(folders)
            name = f"{rng.choice(FOLDER_WORDS)}_{serial:05d}.{rng.choice(extensions)}"
            path = f"{folder}/{name}" if folder else name
            plan.append((path, kind, int(weight * scale)))
    return plan


def generate_payload(directory, total_bytes, file_count, seed):
    rng = random.Random(seed)
    generator = Generator(seed + 1)
    shutil.rmtree(directory, ignore_errors=True)
    for path, kind, size in plan_payload(rng, total_bytes, file_count):
        target = os.path.join(directory, path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        content = b"" if kind == "empty" else getattr(generator, kind)(size)
        with open(target, "wb") as out:
            out.write(content)
    # The launcher starts the payload's setup program; the other tools just carry it.
    shutil.copyfile(SETUP, os.path.join(directory, "QWSetup.exe"))


SMALL_FILE_SIZE = 1024


def generate_small_payload(directory, file_count, seed):
    """`file_count` text files of 1 KB in nested folders: per-file costs, little data."""
    rng = random.Random(seed + 2)
    generator = Generator(seed + 3)
    shutil.rmtree(directory, ignore_errors=True)
    folders = folder_tree(rng, max(4, file_count // 12))
    for serial in range(1, file_count + 1):
        folder = rng.choice(folders)
        target = os.path.join(directory, folder, f"{rng.choice(FOLDER_WORDS)}_{serial:05d}.txt")
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as out:
            out.write(generator.text(SMALL_FILE_SIZE))


def read_text(path):
    if not os.path.exists(path):
        return ""
    with open(path, encoding="utf-8") as source:
        return source.read()


# ---------------------------------------------------------------- checks


def checksum_list(directory, skip=()):
    """{relative path: (size, sha256)} for every file; folders must hold files."""
    listing = {}
    for base, folders, files in os.walk(directory):
        for name in files:
            full = os.path.join(base, name)
            relative = os.path.relpath(full, directory)
            if relative in skip:
                continue
            listing[relative] = (os.path.getsize(full), file_digest(full))
    return listing


def file_digest(path):
    digest = hashlib.sha256()
    with open(path, "rb") as source:
        for chunk in iter(lambda: source.read(MIB), b""):
            digest.update(chunk)
    return digest.hexdigest()


def write_checksum_list(listing, path):
    with open(path, "w", encoding="utf-8") as out:
        for relative in sorted(listing):
            out.write(f"{listing[relative][1]}  {relative}\n")


def compare_trees(wanted, directory, label, skip=()):
    seen = checksum_list(directory, skip)
    missing = sorted(set(wanted) - set(seen))
    extra = sorted(set(seen) - set(wanted))
    changed = sorted(p for p in set(wanted) & set(seen) if wanted[p] != seen[p])
    if missing or extra or changed:
        lines = [f"{label}: the extracted tree in {directory} differs from the payload"]
        for title, paths in (("missing", missing), ("extra", extra), ("changed", changed)):
            if paths:
                lines.append(f"  {title} ({len(paths)}): " + ", ".join(paths[:8]))
        raise Mismatch("\n".join(lines))


# ---------------------------------------------------------------- measuring


class Measure:
    """Wall time, peak resident set and voluntary context switches of one command;
    repeats keep the median time."""

    def __init__(self, repeat):
        self.repeat = repeat

    def once(self, command, cwd=None, prepare=None):
        if prepare:
            prepare()
        # The previous run's written files go to disk now, not during this one.
        os.sync()
        # Output to a file, not a pipe (see output_of).
        with tempfile.TemporaryFile(dir=OUT) as output, \
                tempfile.NamedTemporaryFile("r", dir=OUT, suffix=".time") as peak_file:
            started = time.perf_counter()
            result = subprocess.run(["/usr/bin/time", "-f", "%M %w", "-o", peak_file.name,
                                     *command],
                                    cwd=cwd, stdin=subprocess.DEVNULL, stdout=output,
                                    stderr=subprocess.STDOUT)
            wall = time.perf_counter() - started
            if result.returncode != 0:
                output.seek(0)
                sys.stderr.write(output.read().decode(errors="replace"))
                raise SystemExit(f"peers: failed ({result.returncode}): {' '.join(command)}")
            peak_kib, switches = map(int, peak_file.read().split()[-2:])
        return wall, peak_kib, switches

    def run(self, command, cwd=None, prepare=None, check=None, warm_up=False):
        """Runs `prepare`, the command and `check` `repeat` times (once more first, untimed,
        with `warm_up`); (wall s of every timed run, largest peak KiB, median context
        switches)."""
        walls, peaks, switches = [], [], []
        for _ in range(self.repeat + (1 if warm_up else 0)):
            wall, peak, switched = self.once(command, cwd, prepare)
            if check:
                check()
            walls.append(wall)
            peaks.append(peak)
            switches.append(switched)
        if warm_up:
            del walls[0], peaks[0], switches[0]
        return walls, max(peaks), statistics.median(switches)


def fresh(directory):
    shutil.rmtree(directory, ignore_errors=True)
    os.makedirs(directory)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Row:
    """One line of a table; `moves_payload` is false for a run that handles no payload."""

    def __init__(self, name, size, measured, note="", moves_payload=True):
        self.name, self.size, self.note = name, size, note
        walls, self.peak_kib, self.switches = measured
        self.wall, self.fastest, self.slowest = statistics.median(walls), min(walls), max(walls)
        self.moves_payload = moves_payload


# ---------------------------------------------------------------- the tools


# One installer serves two runs: with /S it is silent; without, it shows its
# window (the installation page, details at their default) and closes itself
# at the end.
NSIS_SCRIPT = """Unicode true
Target amd64-unicode
{compressor}
Name "Peers"
OutFile "{out}"
InstallDir "$TEMP\\Peers"
RequestExecutionLevel user
AutoCloseWindow true
Page instfiles
Section
  SetOutPath "$INSTDIR"
  File /r "{payload}/*.*"
SectionEnd
"""
# name, compressor line, stub file
NSIS_VARIANTS = [("zlib", "SetCompressor zlib", "zlib"),
                 ("lzma-solid", "SetCompressor /SOLID lzma", "lzma_solid")]
NSIS_STUBS = "/usr/share/nsis/Stubs"
LZMA_PACK = "qwpack pack --method lzma"
# Where a real payload may be found: Wine's own 64-bit DLLs and programs.
REAL_PAYLOADS = ["/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"]


def nsis_variants(goals_only):
    return [v for v in NSIS_VARIANTS if not goals_only or v[0] == "lzma-solid"]


def pack_rows(measure, payload, wanted, work, goals_only=False, archivers=True):
    """Every creation and every Linux extraction; (pack rows, extract rows, artefacts)."""
    packs, extracts, made = [], [], {}
    out_dir = os.path.join(work, "out")

    def extracted(label):
        return lambda: compare_trees(wanted, out_dir, label)

    def add_pack(name, command, output, cwd=None, note=""):
        measured = measure.run(command, cwd=cwd,
                               prepare=lambda: os.path.exists(output) and os.remove(output))
        packs.append(Row(name, os.path.getsize(output), measured, note))
        made[name] = output

    def add_extract(name, command):
        measured = measure.run(command, prepare=lambda: fresh(out_dir), check=extracted(name))
        extracts.append(Row(name, None, measured))

    cores = os.cpu_count()
    ours = os.path.join(work, "Setup-qwpack.exe")
    add_pack(f"qwpack pack ({cores} threads)",
             [QWPACK, "pack", "-o", ours, "--stub", LAUNCHER, payload], ours,
             note=f"64-bit launcher included ({megabytes(LAUNCHER)} MB)")
    if not goals_only:
        ours_one = os.path.join(work, "Setup-qwpack-1.exe")
        add_pack("qwpack pack --threads 1",
                 [QWPACK, "pack", "-o", ours_one, "--stub", LAUNCHER, "--threads", "1", payload],
                 ours_one, note="same bytes as above")
        if not same_file(ours, ours_one):
            raise Mismatch("qwpack pack: the launchers made with 1 and with every thread differ")
    ours_lzma = os.path.join(work, "Setup-qwpack-lzma.exe")
    add_pack(f"{LZMA_PACK} ({cores} threads)",
             [QWPACK, "pack", "--method", "lzma", "-o", ours_lzma, "--stub", LAUNCHER, payload],
             ours_lzma, note="method 2: LZMA, 64 MiB dictionary, x86 filter on PE code")
    add_extract("qwpack extract", [QWPACK, "extract", ours, "-C", out_dir])
    add_extract("qwpack extract (method 2)", [QWPACK, "extract", ours_lzma, "-C", out_dir])

    if not goals_only:
        tar_gz = os.path.join(work, "payload.tar.gz")
        add_pack("tar + gzip -6", ["tar", "-C", payload, "-czf", tar_gz, "."], tar_gz)
        add_extract("tar + gzip", ["tar", "-C", out_dir, "-xzf", tar_gz])
    if archivers:
        tar_xz = os.path.join(work, "payload.tar.xz")
        add_pack("tar + xz -6", ["tar", "-C", payload, "-cJf", tar_xz, "."], tar_xz,
                 note="xz single-threaded as tar calls it")
        add_extract("tar + xz", ["tar", "-C", out_dir, "-xJf", tar_xz])
    if not goals_only:
        zip_file = os.path.join(work, "payload.zip")
        add_pack("zip -6", ["zip", "-q", "-r", zip_file, "."], zip_file, cwd=payload)
        add_extract("unzip", ["unzip", "-q", zip_file, "-d", out_dir])
    if archivers:
        seven = os.path.join(work, "payload.7z")
        add_pack("7zz (LZMA2 -mx5)", ["7zz", "a", "-bso0", "-bsp0", seven, "."], seven,
                 cwd=payload, note=f"{cores} threads")
        add_extract("7zz x", ["7zz", "x", "-bso0", "-bsp0", f"-o{out_dir}", seven])

    for variant, compressor, stub_name in nsis_variants(goals_only):
        script = os.path.join(work, f"peers-{variant}.nsi")
        installer = os.path.join(work, f"Setup-nsis-{variant}.exe")
        with open(script, "w", encoding="utf-8") as out:
            out.write(NSIS_SCRIPT.format(compressor=compressor, out=installer, payload=payload))
        stub = os.path.join(NSIS_STUBS, f"{stub_name}-amd64-unicode")
        add_pack(f"makensis ({variant}, amd64)", ["makensis", "-V1", script], installer,
                 note=f"64-bit NSIS stub included ({megabytes(stub)} MB)")
    shutil.rmtree(out_dir, ignore_errors=True)
    return packs, extracts, made


def megabytes(path):
    return f"{os.path.getsize(path) / 1e6:.2f}" if os.path.exists(path) else "?"


def same_file(first, second):
    with open(first, "rb") as a, open(second, "rb") as b:
        return a.read() == b.read()


def output_of(command):
    """A command's output through a file: Wine's helper processes, started by the first Wine
    program, inherit its output and outlive it, so a pipe would never end."""
    with tempfile.TemporaryFile("w+", dir=OUT) as output:
        subprocess.run(command, stdin=subprocess.DEVNULL, stdout=output,
                       stderr=subprocess.DEVNULL, check=True)
        output.seek(0)
        return output.read().strip()


def wine_temp_dir(wine):
    """Where the launcher makes its workspace: Wine's %TEMP%, seen from this side."""
    shown = output_of([wine, "cmd", "/c", "echo %TEMP%"])
    unix = output_of([wine, "winepath", "-u", shown])
    if not os.path.isdir(unix):
        raise SystemExit(f"peers: Wine's temporary folder {shown} ({unix}) is not there")
    return unix


def wineserver_of(wine):
    """The server beside the loader: Debian's wine64 package puts neither on the PATH."""
    beside = os.path.join(os.path.dirname(wine), "wineserver")
    return beside if os.access(beside, os.X_OK) else "wineserver"


def wait_for(path, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if os.path.exists(path) and os.path.getsize(path) > 0:
            return True
        time.sleep(0.05)
    return False


class WineRuns:
    """Our launcher and the NSIS installers under Wine, each run checked file by file."""

    def __init__(self, measure, temp):
        self.measure, self.temp = measure, temp
        self.before = set()

    def _clear_workspaces(self):
        for name in os.listdir(self.temp):
            if name.startswith("QW_"):
                shutil.rmtree(os.path.join(self.temp, name))
        self.before = set(os.listdir(self.temp))

    def _check_workspace(self, wanted):
        made_now = [n for n in set(os.listdir(self.temp)) - self.before if n.startswith("QW_")]
        if len(made_now) != 1:
            raise Mismatch(f"launcher: wanted one new workspace in {self.temp}, saw {made_now}")
        workspace = os.path.join(self.temp, made_now[0])
        report = os.path.join(workspace, "QWSetup-received.txt")
        if not wait_for(report, 30):
            raise Mismatch(f"launcher: QWSetup.exe wrote no {report}")
        time.sleep(0.3)  # QWSetup.exe closes its report and exits
        compare_trees(wanted, workspace, "launcher under Wine", skip=("QWSetup-received.txt",))

    def launcher(self, name, launcher, wanted, note):
        measured = self.measure.run([os.environ["QW_WINE"], launcher],
                                    prepare=self._clear_workspaces,
                                    check=lambda: self._check_workspace(wanted), warm_up=True)
        self._clear_workspaces()
        return Row(name, os.path.getsize(launcher), measured, note)

    def nsis(self, name, installer, wanted, target, note, silent=True):
        command = [os.environ["QW_WINE"], installer, *(["/S"] if silent else []),
                   f"/D={windows_path(target)}"]
        measured = self.measure.run(
            command, warm_up=True, prepare=lambda: shutil.rmtree(target, ignore_errors=True),
            check=lambda: compare_trees(wanted, target, f"{name} under Wine"))
        shutil.rmtree(target, ignore_errors=True)
        return Row(name, os.path.getsize(installer), measured, note)


def wine_rows(runs, wanted, work, made, goals_only=False):
    """Our launcher, each NSIS installer and a bare start of QWSetup.exe, all under Wine."""
    wine = os.environ["QW_WINE"]
    rows = []

    # QWSetup.exe alone: what starting and ending any Windows program costs here.
    bare = os.path.join(work, "bare")
    fresh(bare)
    shutil.copyfile(SETUP, os.path.join(bare, "QWSetup.exe"))
    received = os.path.join(bare, "QWSetup-received.txt")
    bare_command = [wine, os.path.join(bare, "QWSetup.exe"), "-D"]

    def check_bare():
        if not os.path.exists(received):
            raise Mismatch(f"QWSetup.exe alone: it wrote no {received}")

    measured = runs.measure.run(bare_command, cwd=bare, warm_up=True, check=check_bare,
                                prepare=lambda: os.path.exists(received) and os.remove(received))
    rows.append(Row("QWSetup.exe alone", None, measured, "Wine's start and exit of a program",
                    moves_payload=False))

    launcher = made[next(name for name in made if name.startswith("qwpack pack ("))]
    rows.append(runs.launcher("our launcher (qwpack, 64-bit)", launcher, wanted,
                              "window, copy-out, unpack, start QWSetup.exe"))
    launcher = made[next(name for name in made if name.startswith(LZMA_PACK))]
    rows.append(runs.launcher("our launcher, method 2 (64-bit)", launcher, wanted,
                              "the same, LZMA blocks"))
    for variant, _, _ in nsis_variants(goals_only):
        installer = made[f"makensis ({variant}, amd64)"]
        target = os.path.join(work, f"nsis-{variant}")
        rows.append(runs.nsis(f"NSIS installer ({variant}, 64-bit) /S", installer, wanted, target,
                              "silent: no window; unpack only"))
        if variant == "zlib" and not goals_only:
            rows.append(runs.nsis(f"NSIS installer ({variant}, 64-bit), window", installer,
                                  wanted, target, "installation page, closes itself at the end",
                                  silent=False))
    return rows


def small_files_rows(runs, args, work):
    """Many small files: our launcher beside the NSIS zlib installer run silently."""
    payload = os.path.join(OUT, "payload-small")
    stamp = os.path.join(OUT, "payload-small.stamp")
    wanted_stamp = f"{GENERATOR_VERSION} {args.small_files} {SMALL_FILE_SIZE} {args.seed}\n"
    if read_text(stamp) != wanted_stamp or not os.path.isdir(payload):
        generate_small_payload(payload, args.small_files, args.seed)
        with open(stamp, "w", encoding="utf-8") as out:
            out.write(wanted_stamp)
    shutil.copyfile(SETUP, os.path.join(payload, "QWSetup.exe"))
    wanted = checksum_list(payload)

    launcher = os.path.join(work, "Small-qwpack.exe")
    subprocess.run([QWPACK, "pack", "-o", launcher, "--stub", LAUNCHER, payload], check=True,
                   stdout=subprocess.DEVNULL)
    script = os.path.join(work, "small-zlib.nsi")
    installer = os.path.join(work, "Small-nsis-zlib.exe")
    with open(script, "w", encoding="utf-8") as out:
        out.write(NSIS_SCRIPT.format(compressor="SetCompressor zlib", out=installer,
                                     payload=payload))
    subprocess.run(["makensis", "-V1", script], check=True, stdout=subprocess.DEVNULL)
    rows = [runs.launcher("our launcher (qwpack, 64-bit)", launcher, wanted,
                          "window, copy-out, unpack, start QWSetup.exe"),
            runs.nsis("NSIS installer (zlib, 64-bit) /S", installer, wanted,
                      os.path.join(work, "nsis-small"), "silent: no window; unpack only")]
    return rows, wanted


# ---------------------------------------------------------------- the table


def ratio(value, ours):
    if value is None or not ours:
        return "—"
    return f"{value / ours:.2f}×"


def table(title, rows, ours, payload_bytes, with_size=True, with_switches=False):
    head = ["", "wall s", "range s", "× ours", "MB/s", "peak MiB", "× ours"]
    if with_size:
        head += ["size MB", "× ours"]
    if with_switches:
        head.append("context switches")
    head.append("note")
    lines = [f"### {title}", "", "| " + " | ".join(head) + " |",
             "|" + "|".join(["---"] + ["---:"] * (len(head) - 2) + ["---"]) + "|"]
    for row in rows:
        cells = [row.name, f"{row.wall:.2f}", f"{row.fastest:.2f}–{row.slowest:.2f}",
                 ratio(row.wall, ours.wall),
                 f"{payload_bytes / 1e6 / row.wall:.1f}" if row.moves_payload else "—",
                 f"{row.peak_kib / 1024:.0f}", ratio(row.peak_kib, ours.peak_kib)]
        if with_size:
            cells += ["—" if row.size is None else f"{row.size / 1e6:.2f}",
                      ratio(row.size, ours.size)]
        if with_switches:
            cells.append(f"{row.switches:.0f}")
        cells.append(row.note)
        lines.append("| " + " | ".join(cells) + " |")
    return "\n".join(lines)


def goal_lines(packs, wine):
    """The method-2 goals: ratios to NSIS LZMA solid, measured in this run."""
    def find(rows, prefix):
        return next((row for row in rows if row.name.startswith(prefix)), None)
    ours_pack, nsis_pack = find(packs, LZMA_PACK), find(packs, "makensis (lzma-solid")
    ours_run, nsis_run = find(wine, "our launcher, method 2"), find(wine, "NSIS installer (lzma-solid")
    if not (ours_pack and nsis_pack and ours_run and nsis_run):
        return []
    def line(what, ours, theirs, goal):
        value = ours / theirs
        return f"| {what} | {ours:.2f} | {theirs:.2f} | {value:.2f}× | ≤ {goal:.2f}× | " \
               f"{'met' if value <= goal else 'missed'} |"
    return ["### Method-2 goals: ours ÷ NSIS LZMA solid, medians of this run", "",
            "| | method 2 | NSIS LZMA solid | ratio | goal | |", "|---|---:|---:|---:|---:|---|",
            line("program file, MB", ours_pack.size / 1e6, nsis_pack.size / 1e6, 1.0),
            line("run under wine64, s (NSIS with /S)", ours_run.wall, nsis_run.wall, 1.0),
            line("packing, s", ours_pack.wall, nsis_pack.wall, 0.25), ""]


def report(args, payload_bytes, file_count, packs, extracts, wine, small, command, load):
    launcher = next(row for row in wine if row.name.startswith("our launcher"))
    notices = (launcher.size - os.path.getsize(LAUNCHER)) // 4096 + file_count
    cpu = "?"
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as info:
            cpu = next(line.split(":", 1)[1].strip() for line in info if line.startswith("model name"))
    except (OSError, StopIteration):
        pass
    wine_version = output_of([os.environ["QW_WINE"], "--version"])
    what = f"{args.real} (real programs and DLLs)" if args.real else f"seed {args.seed}"
    parts = [
        f"Payload: {file_count} files, {payload_bytes / 1e6:.1f} MB ({what}, "
        f"QWSetup.exe included); {args.repeat} timed run(s) each: median wall time, the "
        "fastest and slowest, largest peak. MB/s is payload MB per wall second.",
        f"Machine: {cpu}, {os.cpu_count()} cores, {platform.system()} {platform.release()}, "
        f"{wine_version}; load average {load:.2f} at the start (the cores are shared); "
        f"{datetime.date.today().isoformat()}. Command: `{command}`.",
        "",
        *goal_lines(packs, wine),
        table("Packing (Linux); ratios to qwpack pack with every thread", packs, packs[0],
              payload_bytes),
        "",
        table("Unpacking (Linux); ratios to qwpack extract", extracts, extracts[0], payload_bytes,
              with_size=False),
        "",
        table("Installer run under Wine, start to exit; ratios to our launcher", wine,
              launcher, payload_bytes, with_switches=True),
        "",
        f"Our launcher's worker sends about {notices} progress notices (one per 4096 bytes "
        "of package copied out, one per file); the window receives, synchronously, only "
        "those that move its bar: at most 201 and the final notice (the Wine tests count "
        "them). Under Wine each message sent from one thread to another is a round trip "
        "through wineserver, as is each file and directory call: the context switches above "
        "count them. qwpack extract does the same copy-out and unpack natively, without "
        f"notices, in {extracts[0].wall:.2f} s.",
    ]
    if small:
        rows, wanted = small
        small_bytes = sum(size for size, _ in wanted.values())
        parts += [
            "",
            table(f"{len(wanted)} small files under Wine ({args.small_files} of "
                  f"{SMALL_FILE_SIZE} bytes and QWSetup.exe, {small_bytes / 1e6:.1f} MB), start "
                  "to exit; ratios to our launcher", rows, rows[0], small_bytes,
                  with_switches=True),
        ]
    return "\n".join(parts) + "\n"


# ---------------------------------------------------------------- main


def snapshot_builds(kind=""):
    """Copies of qwpack, the launcher and QWSetup.exe: the shared build folders may be
    rebuilt while the measurement runs (one set per payload kind, for runs at once)."""
    global QWPACK, LAUNCHER, SETUP
    copies = os.path.join(OUT, "bin" + kind)
    os.makedirs(copies, exist_ok=True)
    taken = []
    for built in (QWPACK, LAUNCHER, SETUP):
        copy = os.path.join(copies, os.path.basename(built))
        shutil.copy2(built, copy)
        taken.append(copy)
    QWPACK, LAUNCHER, SETUP = taken


def in_wine_session():
    return "QW_WINE" in os.environ and "DISPLAY" in os.environ


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--mb", type=float, default=float(os.environ.get("PEERS_MB", 80)),
                        help="payload size in MB (default 80, or $PEERS_MB)")
    parser.add_argument("--files", type=int, default=0,
                        help="payload file count (default 25 per MB)")
    parser.add_argument("--small-files", type=int, default=2000,
                        help="file count of the small-files probe under Wine (1 KB each; "
                        "default 2000, 0: none)")
    parser.add_argument("--seed", type=int, default=1957)
    parser.add_argument("--repeat", type=int, default=int(os.environ.get("PEERS_REPEAT", 3)),
                        help="runs per measurement; the median time counts (default 3, or "
                        "$PEERS_REPEAT)")
    parser.add_argument("--real", nargs="?", const="", default=None, metavar="DIR",
                        help="a real payload: DIR, or the first of " + ", ".join(REAL_PAYLOADS) +
                        " found")
    parser.add_argument("--without-archivers", action="store_true",
                        help="leave out tar + xz and 7-Zip (a long run made shorter still)")
    parser.add_argument("--goals-only", action="store_true",
                        help="only the rows the method-2 goals compare (a long run made shorter)")
    args = parser.parse_args()
    file_count = args.files or max(20, round(args.mb * 25))
    if args.real == "":
        args.real = next((d for d in REAL_PAYLOADS if os.path.isdir(d)), None)
        if not args.real:
            raise SystemExit("peers: no real payload on this machine; looked for "
                             + ", ".join(REAL_PAYLOADS))

    if not in_wine_session():
        # Everything runs inside one Wine session of our own prefix (one per
        # payload kind, so that both runs may go at once).
        env = dict(os.environ, WINEPREFIX=PREFIX + ("-real" if args.real is not None else ""))
        session = os.path.join(ROOT, "scripts", "wine-session.sh")
        os.execvpe(session, [session, sys.executable, os.path.abspath(__file__), *sys.argv[1:]],
                   env)

    for tool, package in (("tar", "tar"), ("gzip", "gzip"), ("xz", "xz-utils"), ("zip", "zip"),
                          ("unzip", "unzip"), ("7zz", "7zip"), ("makensis", "nsis"),
                          ("/usr/bin/time", "time")):
        if not shutil.which(tool):
            raise SystemExit(f"peers: {tool} is missing (Debian package {package}; "
                             "scripts/install-deps.sh installs it)")
    for built in (QWPACK, LAUNCHER, SETUP):
        if not os.path.exists(built):
            raise SystemExit(f"peers: {built} is missing; build the host and win64 presets")

    snapshot_builds("-real" if args.real else "")
    payload = os.path.join(OUT, "payload")
    sums = os.path.join(OUT, "payload.sha256")
    stamp = os.path.join(OUT, "payload.stamp")
    wanted_stamp = f"{GENERATOR_VERSION} {args.mb} {file_count} {args.seed}\n"
    if args.real:
        # A copy beside the generated payload, with the setup program the launcher starts.
        payload = os.path.join(OUT, "payload-real")
        stamp = os.path.join(OUT, "payload-real.stamp")
        wanted_stamp = f"real {args.real}\n"
        if read_text(stamp) != wanted_stamp or not os.path.isdir(payload):
            print(f"peers: copying {args.real}", file=sys.stderr)
            shutil.rmtree(payload, ignore_errors=True)
            shutil.copytree(args.real, payload, symlinks=False)
            with open(stamp, "w", encoding="utf-8") as out:
                out.write(wanted_stamp)
    elif read_text(stamp) != wanted_stamp or not os.path.isdir(payload):
        print(f"peers: generating {args.mb:g} MB in {file_count} files (seed {args.seed})",
              file=sys.stderr)
        generate_payload(payload, int(args.mb * 1e6), file_count, args.seed)
        with open(stamp, "w", encoding="utf-8") as out:
            out.write(wanted_stamp)
    wanted = checksum_list(payload)
    if wanted.get("QWSetup.exe", (0, ""))[1] != file_digest(SETUP):
        # a newer QWSetup.exe was built: the payload carries the current one
        shutil.copyfile(SETUP, os.path.join(payload, "QWSetup.exe"))
        wanted = checksum_list(payload)
    write_checksum_list(wanted, sums)
    payload_bytes = sum(size for size, _ in wanted.values())

    work = os.path.join(OUT, "work-real" if args.real else "work")
    fresh(work)
    load = os.getloadavg()[0]
    measure = Measure(args.repeat)
    # One wineserver, kept running, for every Wine run: none of them pays for its start.
    # A server left from the prefix's creation goes first (it would not stay).
    wineserver = wineserver_of(os.environ["QW_WINE"])
    subprocess.run(["timeout", "30", wineserver, "-w"])
    subprocess.run([wineserver, "-p"], check=True)
    try:
        print("peers: packing and unpacking on Linux", file=sys.stderr)
        packs, extracts, made = pack_rows(measure, payload, wanted, work, args.goals_only,
                                          not args.without_archivers)
        print("peers: installers under Wine", file=sys.stderr)
        runs = WineRuns(measure, wine_temp_dir(os.environ["QW_WINE"]))
        wine = wine_rows(runs, wanted, work, made, args.goals_only)
        small = None
        if args.small_files and not args.goals_only:
            print(f"peers: {args.small_files} small files under Wine", file=sys.stderr)
            small = small_files_rows(runs, args, work)
    except Mismatch as failure:
        raise SystemExit(f"peers: FAILED (the files are left in {work})\n{failure}")
    finally:
        subprocess.run([wineserver, "-k"])

    command = "make peers" + (f" PEERS_MB={args.mb:g}" if args.mb != 80 else "") + \
        (f" PEERS_REPEAT={args.repeat}" if args.repeat != 3 else "")
    if args.real or args.goals_only or args.without_archivers:
        command = "python3 bench/peers.py " + " ".join(sys.argv[1:])
    text = report(args, payload_bytes, len(wanted), packs, extracts, wine, small, command, load)
    with open(os.path.join(OUT, "peers-real.md" if args.real else "peers.md"), "w",
              encoding="utf-8") as out:
        out.write(text)
    print(text)
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
