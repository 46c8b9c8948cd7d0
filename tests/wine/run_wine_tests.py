#!/usr/bin/env python3
"""The launcher under Wine, end to end: crafted program files are run by the
Windows-side driver (driver.exe), whose "key=value" lines are asserted here.

Run inside the Wine session of the build under test (prefix and display):
    QW_ARCH=win64 scripts/wine-session.sh python3 tests/wine/run_wine_tests.py --arch win64 [-k NAME]
`scripts/wine-tests.sh` runs it for both builds, then prints the summary
(--summary). Artefacts (program files, driver logs, screenshots, the
verdicts in results.json) go to build/wine-tests/<arch>/.
"""
import argparse
import functools
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from package_craft import Entry, build_package, entries_from_directory, make_program  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "cli"))
import brand_art  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
QWPACK = os.path.join(ROOT, "build", "host", "qwpack")
PAYLOAD = os.path.join(ROOT, "examples", "payload")
RESULTS = os.path.join(ROOT, "build", "wine-tests")
ARCHES = ("win64", "win32")
# The build under test, set by use_build(): its launcher, and the driver and
# setup program of the same bitness (the hold hook must load into the launcher).
BUILD = LAUNCHER = DRIVER = SETUP = OUT = ""
CHINESE = {"LC_ALL": "zh_CN.UTF-8"}
ENGLISH = {"LC_ALL": "C.UTF-8"}

DAMAGED_EN = ("This file has been damaged, please download a new one!", "Orvandelle")
DAMAGED_ZH = ("文件被修改，请重新下载!", "澜岫杀毒软件")
LABEL_EN = "Unpacking file. Please wait..."
LABEL_ZH = "正在解压缩文件，请稍候..."
WORKSPACE_NAME = re.compile(r"QW_[0-9A-F]{8}$")


def use_build(arch):
    global BUILD, LAUNCHER, DRIVER, SETUP, SWITCH_PROBE, OUT
    BUILD = os.path.join(ROOT, "build", arch)
    LAUNCHER = os.path.join(BUILD, "launcher.exe")
    DRIVER = os.path.join(BUILD, "tests", "wine", "driver.exe")
    SETUP = os.path.join(BUILD, "tests", "wine", "QWSetup.exe")
    SWITCH_PROBE = os.path.join(BUILD, "tests", "wine", "switch_probe.exe")
    OUT = os.path.join(RESULTS, arch)


def exit_statuses():
    """The README's table of exit statuses: {first word of the end: status}."""
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as readme:
        text = readme.read()
    table = text[text.index("## The launcher's exit statuses"):]
    statuses = {}
    for status, end in re.findall(r"^\| (\d+) \| ([a-z ]+?):", table, re.M):
        statuses[end] = int(status)
    return statuses


STATUS = exit_statuses()


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def unix_path(path):
    """Where a Windows path of this prefix lies here; names are matched
    without regard to case, as Windows would."""
    drive, rest = path[:2].lower(), path[2:].replace("\\", "/").strip("/")
    found = os.path.realpath(os.path.join(os.environ["WINEPREFIX"], "dosdevices", drive))
    for part in filter(None, rest.split("/")):
        exact = os.path.join(found, part)
        if not os.path.exists(exact) and os.path.isdir(found):
            part = next((n for n in os.listdir(found) if n.lower() == part.lower()), part)
        found = os.path.join(found, part)
    return found


class Failure(Exception):
    pass


class Skip(Exception):
    pass


class Facts(dict):
    """The driver's lines of one run; the log keeps them for a failure report."""

    def __init__(self, log):
        super().__init__()
        self.log = log

    def expect(self, key, wanted):
        seen = self.get(key)
        if seen != str(wanted):
            raise Failure(f"{key}: wanted {wanted!r}, saw {seen!r} (log {self.log})")

    def number(self, key):
        try:
            return int(self[key])
        except (KeyError, ValueError):
            raise Failure(f"{key}: no number in the driver's report (log {self.log})")


def drive(scenario, program, *options, env=None, on_fact=None, timeout=90, driver=None,
          program_path=None):
    """Runs the driver on `program`; `on_fact(key, value)` sees each line as it comes."""
    log = os.path.splitext(program)[0] + f".{scenario}.log"
    command = [os.environ["QW_WINE"], driver or DRIVER, scenario, "--private-temp", *options,
               program_path or windows_path(program)]
    environment = dict(os.environ, **(env or ENGLISH))
    facts = Facts(log)
    with open(log, "w", encoding="utf-8") as log_file:
        process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                   env=environment, cwd=os.path.dirname(program))
        started = time.monotonic()
        deadline = started + timeout
        for raw in process.stdout:
            line = raw.decode("utf-8", "replace").rstrip("\n")
            log_file.write(line + "\n")
            key, _, value = line.partition("=")
            facts[key] = value
            if on_fact:
                on_fact(key, value)
            if time.monotonic() > deadline:
                process.kill()
                raise Failure(f"driver timed out (log {log})")
        process.wait()
        log_file.write(f"# driver exit {process.returncode}, {time.monotonic() - started:.1f}s\n")
    return facts


def program_file(case, name, entries, file_count=None, locator=None, stub=None):
    directory = os.path.join(OUT, case)
    os.makedirs(directory, exist_ok=True)
    path = os.path.join(directory, name)
    with open(stub or LAUNCHER, "rb") as source:
        stub_bytes = source.read()
    package = build_package(entries, file_count)
    with open(path, "wb") as out:
        out.write(make_program(stub_bytes, package, locator))
    return path


@functools.lru_cache(maxsize=None)
def setup_entry():
    """QWSetup.exe, LZ-coded once (the coder here is slow) and shared: never changed."""
    with open(SETUP, "rb") as source:
        return Entry("", "QWSetup.exe", source.read())


def big_entry(name="big.bin", size=3 * 1024 * 1024):
    """Enough to keep a run busy for a while; half compressible."""
    chunk = bytes(range(256)) * 16 + os.urandom(4096)
    return Entry("", name, (chunk * (size // len(chunk) + 1))[:size], coded=False)


# --- checks shared by the cases ---------------------------------------------

def expect_workspace(facts):
    workspace = facts.get("workspace", "")
    temporary = facts.get("temp", "")
    if not workspace.startswith(temporary) or not WORKSPACE_NAME.match(workspace[len(temporary):]):
        raise Failure(f"workspace {workspace!r} is not the temporary-files path {temporary!r} "
                      f"plus QW_ and 8 upper-case hex digits")
    return workspace


def expect_unpacked(facts, entries):
    """Every entry's file in the workspace, byte for byte, and nothing else."""
    root = facts.get("workspace.unix", "")
    if not os.path.isdir(root):
        raise Failure(f"workspace {root!r} is not a directory on this side")
    wanted = {}
    for entry in entries:
        # Split after decoding: a trail byte 0x5C is no separator.
        levels = [p for p in entry.subdirectory.decode(entry.encoding).split("\\") if p]
        wanted[os.path.join(*levels, entry.file_name.decode(entry.encoding))] = entry.data
    found = {}
    for directory, _, files in os.walk(root):
        for name in files:
            path = os.path.join(directory, name)
            relative = os.path.relpath(path, root)
            if name != "QWSetup-received.txt":
                with open(path, "rb") as source:
                    found[relative] = source.read()
    if set(found) != set(wanted):
        raise Failure(f"workspace holds {sorted(found)}, wanted {sorted(wanted)}")
    for relative, data in wanted.items():
        if found[relative] != data:
            raise Failure(f"{relative}: unpacked bytes differ from the packed ones")




def expect_private_workspace(facts):
    """Nobody but the owner may enter. Wine keeps no DACL that a directory
    was created with: it turns it into the Unix mode (every trustee in the
    token maps to the owner) and reads back a DACL made from that mode, so
    which of SYSTEM, the Administrators and the user the launcher named
    shows only on Windows (the unit tests check the descriptor asked for).
    What Wine can show is the mode it derives: the workspace grants nobody
    else, where a directory made without a DACL (the temporary-files
    directory around it) lets everyone read."""
    workspace = facts["workspace.unix"]
    others = os.stat(workspace).st_mode & 0o007
    around = os.stat(os.path.dirname(workspace)).st_mode & 0o007
    if others or not around:
        raise Failure(f"workspace mode grants others {others:o} (the directory "
                      f"around it {around:o}): the launcher's DACL did not shut them out")


def expect_launched(facts):
    workspace = expect_workspace(facts)
    facts.expect("box.seen", 0)
    facts.expect("exit.code", STATUS["setup started"])
    facts.expect("workspace.package_copy_exists", 0)
    facts.expect("setup.record", "present")
    # The launcher quotes the program's path, so that a workspace path with
    # spaces is never split at a space and no prefix of it is ever run.
    facts.expect("setup.commandLine", f'"{workspace}\\QWSetup.exe" -D')
    facts.expect("setup.argc", 2)
    facts.expect("setup.argv1", "-D")
    facts.expect("setup.ownDirectory", workspace)
    facts.expect("setup.showWindow", 5)


def notice_counts(entries):
    """(sent, delivered): the notices the worker sends for an honest package of
    `entries`, and those that reach the window, a progress notice repeating
    the position before it left out; the final notice counts in both."""
    body = len(build_package(entries)) - 4
    positions = [min(copied, body) * 100 // body for copied in range(4096, body + 4096, 4096)]
    progress = 0
    for entry in entries:
        if entry.data:
            progress += 100
            positions.append(progress // len(entries) + 100)
    moved = [p for i, p in enumerate(positions) if i == 0 or p != positions[i - 1]]
    return len(positions) + 1, len(moved) + 1


def expect_failure_box(facts, text, caption, status):
    facts.expect("box.seen", 1)
    facts.expect("box.caption", caption)
    facts.expect("box.text", text)
    facts.expect("box.buttons", 1)  # OK alone
    facts.expect("box.icons", 0)
    facts.expect("box.owned_by_progress_window", 1)
    facts.expect("box.package_copy_exists", 0)
    facts.expect("box.closed", 1)
    facts.expect("exit.code", STATUS[status])
    facts.expect("setup.record", "absent")


# --- the cases ----------------------------------------------------------------

CASES = []


def case(function):
    CASES.append(function)
    return function


@case
def success_unpacks_and_starts_setup():
    """Stored and LZ-coded blocks, nested subdirectories, an empty file, a
    multi-block file of exactly 8192 bytes: all unpacked, QW.tmp gone, the
    setup program started from the workspace with -D alone. Of the hundreds
    of progress notices the worker sends, only those that move the bar reach
    the window: at most 201 positions and the final notice."""
    entries = entries_from_directory(PAYLOAD) + [
        setup_entry(),
        Entry("a\\b\\c", "deep.txt", b"three levels down\r\n" * 300),
        Entry("a", "two-blocks.bin", bytes(range(256)) * 32, coded=False),
        Entry("", "one-byte", b"x"),
        big_entry(),
    ]
    facts = drive("outcome", program_file("success", "Setup.exe", entries), "--count-notices")
    expect_launched(facts)
    expect_unpacked(facts, entries)
    expect_private_workspace(facts)
    sent, delivered = notice_counts(entries)
    print(f"  notices: the worker sent {sent}, the window received "
          f"{facts.get('notices.delivered')} ({facts.get('notices.progress')} progress)")
    if facts.number("notices.delivered") > 202:
        raise Failure("more notices than 201 bar positions and the final one")
    facts.expect("notices.delivered", delivered)
    facts.expect("notices.progress", delivered - 1)


def read_report(path):
    with open(path, encoding="utf-8", errors="replace") as source:
        return dict(line.rstrip("\n").partition("=")[::2] for line in source if "=" in line)


@case
def workspace_cannot_be_taken():
    """A second program of the same user loops while the launcher runs
    (held a second once QWSetup.exe is verified, the second of three
    entries): it renames every QW_ directory it finds, deletes its
    QWSetup.exe and opens that for writing.
    Once the launcher is released toward the start, a rename attempt opens
    the directory for deletion without moving it (intruder.cpp says why).
    Every attempt fails until the setup program has started, which starts
    from the workspace the launcher made with every file intact."""
    entries = [big_entry("before.bin"), setup_entry(), big_entry("after.bin")]
    directory = os.path.join(OUT, "intruder")
    program = program_file("intruder", "Intruded.exe", entries)
    temp, report = os.path.join(directory, "tmp"), os.path.join(directory, "intruder.txt")
    stop, release = os.path.join(directory, "stop"), os.path.join(directory, "release")
    os.makedirs(temp)
    intruder = subprocess.Popen([os.environ["QW_WINE"], os.path.join(BUILD, "tests", "wine", "intruder.exe"),
                                 windows_path(temp), windows_path(report), windows_path(stop),
                                 windows_path(release)],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        def release_after_a_while(key, value):
            if key == "hold.workspace_unix" and value:
                time.sleep(1)  # the intruder keeps trying on the held workspace
                open(release, "w").close()

        facts = drive("outcome", program, "--temp", windows_path(temp), "--hold-at", "166",
                      "--release-when", windows_path(release), on_fact=release_after_a_while)
    finally:
        open(stop, "w").close()
        intruder.wait(timeout=60)
    seen = read_report(report)
    print("  intruder: " + ", ".join(f"{k} {v}" for k, v in sorted(seen.items())
                                     if k.startswith(("attempts", "refused"))))
    if seen.get("violations") != "0":
        raise Failure(f"the intruder succeeded before the setup program started: {seen}")
    for kind in ("rename", "delete", "write"):
        if int(seen.get(f"refused.{kind}", 0)) == 0:
            raise Failure(f"no {kind} attempt met the workspace or QWSetup.exe: {seen}")
    facts.expect("hold", 1)
    expect_launched(facts)
    expect_unpacked(facts, entries)


@case
def link_repointed_while_held():
    """The temporary-files path runs through a link (a directory junction on
    Windows, a symbolic link here) that a second program points elsewhere
    while the run is held, once QWSetup.exe is verified (the second of
    three entries), with a decoy QWSetup.exe under the same workspace name
    there. The launcher goes on in the workspace it made: the verified
    QWSetup.exe starts from there, the last entry is written there, and
    nothing is written through the re-pointed link."""
    entries = [big_entry("before.bin"), setup_entry(), big_entry("after.bin")]
    directory = os.path.join(OUT, "repointed")
    program = program_file("repointed", "Repointed.exe", entries)
    real, decoy, link = (os.path.join(directory, name) for name in ("real", "decoy", "link"))
    for folder in (real, decoy):
        os.makedirs(os.path.join(folder, "tmp"))
    os.symlink(real, link)
    release = os.path.join(directory, "release")
    made = {}

    def repoint(key, value):
        if key != "hold.workspace_unix" or not value:
            return
        made["name"] = os.path.basename(value)
        decoy_workspace = os.path.join(decoy, "tmp", made["name"])
        os.makedirs(decoy_workspace)
        shutil.copy(SETUP, os.path.join(decoy_workspace, "QWSetup.exe"))
        os.remove(link)
        os.symlink(decoy, link)
        open(release, "w").close()

    facts = drive("outcome", program, "--temp", windows_path(os.path.join(link, "tmp")),
                  "--hold-at", "166", "--release-when", windows_path(release), on_fact=repoint)
    facts.expect("hold", 1)
    facts.expect("box.seen", 0)
    facts.expect("exit.code", STATUS["setup started"])
    if "name" not in made:
        raise Failure(f"the run was never held in a workspace (log {facts.log})")
    workspace = os.path.join(real, "tmp", made["name"])
    decoy_workspace = os.path.join(decoy, "tmp", made["name"])
    found = sorted(os.listdir(workspace))
    if found != ["QWSetup-received.txt", "QWSetup.exe", "after.bin", "before.bin"]:
        raise Failure(f"the launcher's own workspace holds {found}")
    for entry in entries:
        with open(os.path.join(workspace, entry.file_name.decode()), "rb") as unpacked:
            if unpacked.read() != entry.data:
                raise Failure(f"{entry.file_name.decode()} differs in the launcher's workspace")
    if sorted(os.listdir(decoy_workspace)) != ["QWSetup.exe"]:
        raise Failure(f"written through the re-pointed link: {sorted(os.listdir(decoy_workspace))}")
    with open(os.path.join(workspace, "QWSetup-received.txt"), encoding="latin-1") as record:
        received = record.read()
    if made["name"] not in received or "decoy" in received:
        raise Failure(f"the setup program that started is not the verified one: {received!r}")


@case
def quit_message_during_the_run():
    """A WM_QUIT posted to the window's thread while the run goes on (any
    program on the desktop may post one) ends the run as a cancel does,
    with a status of its own: no message, no launch, the workspace keeping
    what was unpacked so far."""
    program = program_file("quit", "Quit.exe", [big_entry(), setup_entry()])
    facts = drive("outcome", program, "--hold", "--post-quit")
    facts.expect("hold", 1)
    facts.expect("quit.posted", 1)
    facts.expect("box.seen", 0)
    facts.expect("exit.code", STATUS["quit"])
    facts.expect("setup.record", "absent")


@case
def names_ending_in_a_dot_or_a_space():
    """An entry named "QWSetup.exe." would be written as QWSetup.exe, under
    a name the launcher does not know it by: such names are refused like
    every other Windows would rewrite, and nothing of them is written."""
    with open(SETUP, "rb") as source:
        setup = source.read()
    for name in ("QWSetup.exe.", "QWSetup.exe "):
        program = program_file("dotnames", "Dot.exe", [Entry("", name, setup)])
        facts = drive("outcome", program)
        workspace = expect_workspace(facts)
        expect_failure_box(facts, f"Write file:{workspace}\\{name} error!", "Dot", "write error")
        if os.listdir(facts["workspace.unix"]):
            raise Failure(f"{name!r}: written: {os.listdir(facts['workspace.unix'])}")


def packed_example(case, *pack_options):
    """The example payload and QWSetup.exe packed by qwpack pack: (program, payload)."""
    if not os.path.exists(QWPACK):
        raise Skip(f"{QWPACK} not built")
    payload = os.path.join(OUT, case, "payload")
    shutil.copytree(PAYLOAD, payload)
    shutil.copy(SETUP, payload)
    with open(os.path.join(payload, "data", "repeated.txt"), "wb") as out:
        out.write((b"coded blocks, two of them exactly\n" * 241)[:8192])  # two full blocks
    program = os.path.join(OUT, case, "Packed.exe")
    packed = subprocess.run([QWPACK, "pack", *pack_options, "-o", program, "--stub", LAUNCHER,
                             payload], capture_output=True, text=True)
    if packed.returncode != 0:
        raise Failure(f"qwpack pack failed ({packed.returncode}): {packed.stderr.strip()}")
    return program, payload


@case
def qwpack_output_runs():
    """The publisher's tool end to end: the example payload and QWSetup.exe,
    packed by qwpack pack, come out of the launcher byte for byte."""
    program, payload = packed_example("qwpack")
    listed = subprocess.run([QWPACK, "list", "--json", program], capture_output=True, text=True)
    repeated = [e for e in json.loads(listed.stdout)["entries"] if e["path"] == "data/repeated.txt"]
    if not repeated or repeated[0]["method"] != 1 or repeated[0]["stored"] >= 8192:
        raise Failure(f"qwpack stored data/repeated.txt uncoded: {repeated}; the test needs LZ blocks")
    facts = drive("outcome", program)
    expect_launched(facts)
    expect_unpacked(facts, entries_from_directory(payload))


def first_block_of(program, path):
    """The file offset of the first stored byte of `path`'s first block."""
    with open(program, "rb") as f:
        data = f.read()
    offset = int.from_bytes(data[128:132], "little")
    at = offset + 4
    while at < len(data):
        header = data[at:at + 224]
        name = header[104:204].split(b"\0")[0].decode()
        subdirectory = header[4:104].split(b"\0")[0].decode()
        if (subdirectory + "\\" + name).lstrip("\\") == path:
            return at + 224 + 4
        at = offset + int.from_bytes(header[220:224], "little")
    raise Failure(f"no entry {path}")


@case
def qwpack_method2_runs_and_reports_a_damaged_block():
    """Method 2 (qwpack pack --method lzma): the example payload and the
    setup program (an x86 program, so through the branch filter) come out
    byte for byte and the setup program starts; with one coded block's
    control byte damaged, the launcher reports the decode error of that
    entry."""
    program, payload = packed_example("qwpack-lzma", "--method", "lzma")
    listed = subprocess.run([QWPACK, "list", "--json", program], capture_output=True, text=True)
    methods = {e["path"]: e["method"] for e in json.loads(listed.stdout)["entries"]}
    if methods.get("QWSetup.exe") != 2 or methods.get("data/repeated.txt") != 2:
        raise Failure(f"qwpack pack --method lzma wrote other methods: {methods}")
    facts = drive("outcome", program)
    expect_launched(facts)
    expect_unpacked(facts, entries_from_directory(payload))

    damaged = os.path.join(OUT, "qwpack-lzma", "Damaged.exe")
    with open(program, "rb") as f:
        data = bytearray(f.read())
    data[first_block_of(program, "data\\repeated.txt")] = 0x01  # no coded chunk's control byte
    with open(damaged, "wb") as out:
        out.write(data)
    facts = drive("outcome", damaged)
    workspace = expect_workspace(facts)
    expect_failure_box(facts, f"Decompress file:{workspace}\\data\\repeated.txt error!",
                       "Damaged", "decompress error")


@case
def signed_launcher_runs():
    """A packed launcher signed afterwards (its certificate table lies after
    the package) still unpacks and starts the setup program."""
    program, payload = packed_example("signed")
    directory = os.path.dirname(program)
    key, certificate = os.path.join(directory, "key.pem"), os.path.join(directory, "cert.pem")
    signed = os.path.join(directory, "Signed.exe")
    for command in (["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                     "-out", certificate, "-days", "2", "-subj", "/CN=qwlauncher test"],
                    ["osslsigncode", "sign", "-certs", certificate, "-key", key, "-n", "Setup",
                     "-in", program, "-out", signed]):
        done = subprocess.run(command, capture_output=True, text=True)
        if done.returncode != 0:
            raise Failure(f"{command[0]} failed: {done.stderr.strip()}")
    facts = drive("outcome", signed)
    expect_launched(facts)
    expect_unpacked(facts, entries_from_directory(payload))


@case
def failure_open_package_copy():
    """The package copy replaced by a directory while the worker is held in
    its copy-out: reopening it for reading fails (notice 2)."""
    path = program_file("open", "OpenFail.exe", [setup_entry(), big_entry()])
    release = os.path.join(OUT, "open", "release")
    if os.path.exists(release):
        os.remove(release)

    def swap_package_copy(key, value):
        if key == "hold.workspace_unix" and value:
            copy = os.path.join(value, "QW.tmp")
            os.remove(copy)  # the worker keeps writing to the unlinked file
            os.mkdir(copy)
            open(release, "w").close()

    facts = drive("outcome", path, "--hold", "--release-when", windows_path(release),
                  on_fact=swap_package_copy)
    facts.expect("hold", 1)
    facts.expect("hold.release_seen", 1)
    workspace = expect_workspace(facts)
    copy = workspace + "\\QW.tmp"
    facts.expect("box.seen", 1)
    facts.expect("box.caption", "OpenFail")
    facts.expect("box.text", f"Open file:{copy} error!")
    facts.expect("exit.code", STATUS["open error"])
    facts.expect("setup.record", "absent")


@case
def failure_write():
    """An output file that cannot be created: a name the platform refuses,
    and a name that would leave the workspace, which the launcher refuses."""
    for name, file_name in (("WriteFail", "a?b"), ("Setup.v2", "..")):
        entries = [setup_entry(), Entry("", file_name, b"data")]
        facts = drive("outcome", program_file("write", name + ".exe", entries))
        workspace = expect_workspace(facts)
        expect_failure_box(facts, f"Write file:{workspace}\\{file_name} error!", name, "write error")
        expect_unpacked(facts, entries[:1])


@case
def failure_decompress():
    """A block that cannot be decoded: a last block declared longer than a
    block can be, and an LZ stream that opens with a match."""
    too_long = Entry("d", "too-long.bin", b"y" * 100, coded=False)
    too_long.last_block_size = 5000
    match_first = Entry("d", "match-first.bin", b"z" * 100)
    match_first.blocks = [(1, b"\xff" * 16)]
    match_first.method = 1
    for entry in (too_long, match_first):
        facts = drive("outcome", program_file("decompress", "DecodeFail.exe", [setup_entry(), entry]))
        workspace = expect_workspace(facts)
        path = f"{workspace}\\d\\{entry.file_name.decode()}"
        expect_failure_box(facts, f"Decompress file:{path} error!", "DecodeFail",
                           "decompress error")


@case
def failure_checksum():
    """A stored byte changed after packing: the entry's checksum fails on the
    second of three entries; the bar stands at 100 + 100/3."""
    damaged = Entry("", "damaged.txt", b"payload " * 1000, coded=False)
    damaged.blocks = [(flag, stored[:-1] + b"!") for flag, stored in damaged.blocks]
    damaged.checksum = Entry("", "damaged.txt", b"payload " * 1000, coded=False).computed_checksum()
    entries = [setup_entry(), damaged, Entry("", "after.txt", b"never written")]
    facts = drive("outcome", program_file("checksum", "CrcFail.exe", entries))
    workspace = expect_workspace(facts)
    expect_failure_box(facts, f"CRC file:{workspace}\\damaged.txt error!", "CrcFail",
                       "checksum error")
    facts.expect("box.bar_pos", 133)


@case
def failure_directory():
    """A subdirectory that cannot be created (a file stands where its parent
    must be), and one that would climb out of the workspace."""
    for name, subdirectory in (("DirFail", "f\\g"), ("DirEscape", "..\\..\\escaped")):
        entries = [setup_entry(), Entry("", "f", b"a file, not a directory"),
                   Entry(subdirectory, "x.txt", b"x")]
        facts = drive("outcome", program_file("directory", name + ".exe", entries))
        workspace = expect_workspace(facts)
        expect_failure_box(facts, f"Create Directory:{workspace}\\{subdirectory} error!", name,
                           "directory error")
        escaped = os.path.join(os.path.dirname(os.path.dirname(facts["workspace.unix"])), "escaped")
        if os.path.exists(escaped):
            raise Failure(f"{escaped} was created outside the workspace")


@case
def failure_damaged_package():
    """File count 0 (after a full copy-out: bar at 100), a package reaching
    past the end of the file, and the bare launcher with no package at all."""
    entries = [setup_entry()]
    size = len(make_program(open(LAUNCHER, "rb").read(), build_package(entries)))
    stub_size = os.path.getsize(LAUNCHER)
    programs = [
        (program_file("damaged", "Count0.exe", entries, file_count=0), 100),
        (program_file("damaged", "PastEnd.exe", entries, locator=(stub_size, size - stub_size + 1)), 0),
        (LAUNCHER, 0),
    ]
    for program, bar in programs:
        facts = drive("outcome", program)
        expect_failure_box(facts, *DAMAGED_EN, "damaged package")
        facts.expect("box.bar_pos", bar)


def pe_header(image):
    """(offset of the PE signature, machine field's offset) of a PE image."""
    signature = struct.unpack_from("<I", image, 0x3C)[0]
    if image[signature:signature + 4] != b"PE\0\0":
        raise Failure("not a PE image")
    return signature, signature + 4


def setup_for_no_machine():
    """QWSetup.exe as a PE for the Alpha AXP (0x0184): no Windows of today
    runs it, and neither does Wine, where a DOS program would start."""
    image = bytearray(setup_entry().data)
    struct.pack_into("<H", image, pe_header(image)[1], 0x0184)
    return Entry("", "QWSetup.exe", bytes(image), coded=False)


@case
def failure_setup_not_started():
    """Everything unpacked, but QWSetup.exe cannot be started: missing from
    the package (what the launcher itself can tell), or a program for a
    machine no Windows runs (what only the system's refusal tells). One
    message names it."""
    for name, entries in (("NoSetup", [Entry("", "readme.txt", b"no setup program here")]),
                          ("AlphaSetup", [setup_for_no_machine()])):
        facts = drive("outcome", program_file("setup", name + ".exe", entries))
        workspace = expect_workspace(facts)
        expect_failure_box(facts, f"Run file:{workspace}\\QWSetup.exe error!", name,
                           "setup not started")
        expect_unpacked(facts, entries)


def launcher_without_dialogs():
    """The launcher with its dialog templates 102 and 103 renamed (1102 and
    1103) in its resource directory, so that its window cannot be made."""
    image = bytearray(open(LAUNCHER, "rb").read())
    signature, _ = pe_header(image)
    optional = signature + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    resource_rva = struct.unpack_from("<I", image, directories + 2 * 8)[0]
    sections = optional + struct.unpack_from("<H", image, signature + 20)[0]
    for i in range(struct.unpack_from("<H", image, signature + 6)[0]):
        _, size, rva, _, raw = struct.unpack_from("<8sIIII", image, sections + 40 * i)
        if rva <= resource_rva < rva + size:
            root = raw + resource_rva - rva
            break
    else:
        raise Failure("no section holds the resource directory")

    def entries(directory):
        named, numbered = struct.unpack_from("<HH", image, directory + 12)
        return [directory + 16 + 8 * i for i in range(named + numbered)]

    renamed = 0
    for kind in entries(root):
        name, target = struct.unpack_from("<II", image, kind)
        if name != 5:  # RT_DIALOG
            continue
        for template in entries(root + (target & 0x7FFFFFFF)):
            if struct.unpack_from("<I", image, template)[0] in (102, 103):
                struct.pack_into("<I", image, template, struct.unpack_from("<I", image, template)[0] + 1000)
                renamed += 1
    if renamed != 2:
        raise Failure(f"renamed {renamed} dialog templates, wanted 2")
    path = os.path.join(OUT, "nowindow", "stub.exe")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(image)
    return path


@case
def window_cannot_be_made():
    """A window that cannot be created (no dialog template to make it from)
    ends the run with a status of its own, not as a cancel: no message,
    no workspace, no launch."""
    program = program_file("nowindow", "NoWindow.exe", [setup_entry()], stub=launcher_without_dialogs())
    for env in (ENGLISH, CHINESE):
        facts = drive("outcome", program, env=env)
        facts.expect("box.seen", 0)
        facts.expect("exit.code", STATUS["no window"])
        facts.expect("workspace", "")


class SmallDrivesOnly:
    """For the length of a `with`: the prefix's only fixed drive is T:, a
    tmpfs of 64 MiB (or `size_mb`); C: counts as a network drive (or
    `c_kind`) and Z: (the host's /) is gone. Wine reads drive kinds from
    HKLM\\Software\\Wine\\Drives when its services start, so the wineserver
    is restarted on the way in and out. seal() makes T: read-only."""

    def __init__(self, case, size_mb=64, c_kind="network"):
        self.mount = os.path.join(OUT, case, "small-drive")
        self.devices = os.path.join(os.environ["WINEPREFIX"], "dosdevices")
        self.size_mb = size_mb
        self.c_kind = c_kind

    def seal(self):
        subprocess.run(["mount", "-o", "remount,ro", self.mount], check=True)

    def wine(self, *arguments):
        subprocess.run([os.environ["QW_WINE"], *arguments], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=120)

    def restart_wine(self):
        subprocess.run(["/usr/lib/wine/wineserver", "-k"], stderr=subprocess.DEVNULL)
        subprocess.run(["/usr/lib/wine/wineserver", "-w"], stderr=subprocess.DEVNULL, timeout=60)

    def set_kinds(self, kinds):
        for drive, kind in kinds.items():
            key = r"HKLM\Software\Wine\Drives"
            if kind:
                self.wine("reg", "add", key, "/v", drive, "/d", kind, "/f")
            else:
                self.wine("reg", "delete", key, "/v", drive, "/f")

    def __enter__(self):
        os.makedirs(self.mount, exist_ok=True)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={self.size_mb}m", "tmpfs",
                                  self.mount], capture_output=True, text=True)
        if mounted.returncode != 0:
            raise Skip(f"cannot mount a small tmpfs here: {mounted.stderr.strip()}")
        self.set_kinds({"c:": self.c_kind, "t:": "hd"})
        self.restart_wine()
        os.symlink(self.mount, os.path.join(self.devices, "t:"))
        os.remove(os.path.join(self.devices, "z:"))
        return self

    def __exit__(self, *exc):
        self.restart_wine()
        os.remove(os.path.join(self.devices, "t:"))
        os.symlink("/", os.path.join(self.devices, "z:"))
        self.set_kinds({"c:": None, "t:": None})
        self.restart_wine()
        subprocess.run(["umount", self.mount], check=False)
        return False


@case
def no_room_for_the_workspace():
    """No volume with 300 MiB free: the temporary-files directory and the
    only fixed drive lie on a 64 MiB tmpfs. The no-space message in both
    languages, its exit status, and no workspace made."""
    program = program_file("noroom", "NoRoom.exe", [setup_entry()])
    with SmallDrivesOnly("noroom") as drives:
        for name in ("driver.exe", "NoRoom.exe"):
            shutil.copy(DRIVER if name == "driver.exe" else program, drives.mount)
        temp = os.path.join(drives.mount, "tmp")
        os.makedirs(temp)
        for env, text, caption in ((ENGLISH, "No Enough Free Space For Temporary Files!", DAMAGED_EN[1]),
                                   (CHINESE, "没有足够的空间存放临时文件！", DAMAGED_ZH[1])):
            facts = drive("outcome", os.path.join(OUT, "noroom", f"NoRoom-{env['LC_ALL']}.exe"),
                          "--temp", "T:\\tmp", env=env, driver=os.path.join(drives.mount, "driver.exe"),
                          program_path="T:\\NoRoom.exe")
            facts.expect("box.seen", 1)
            facts.expect("box.text", text)
            facts.expect("box.caption", caption)
            facts.expect("exit.code", STATUS["no volume with room"])
            facts.expect("workspace", "")
            if os.listdir(temp) or set(os.listdir(drives.mount)) != {"driver.exe", "NoRoom.exe", "tmp"}:
                raise Failure(f"something was created on the small drive: {os.listdir(drives.mount)}, "
                              f"{os.listdir(temp)}")


@case
def workspace_cannot_be_made():
    """The temporary-files directory lies on a drive with room on which no
    folder can be made (a read-only tmpfs of 400 MiB). With another fixed
    drive with room, the launcher moves on to it and unpacks there; with
    none left, a message and a status of their own, not the no-room ones."""
    program = program_file("notmade", "NotMade.exe", [setup_entry()])
    drive_c = os.path.join(os.environ["WINEPREFIX"], "drive_c")
    for c_kind in ("network", "hd"):
        before = set(os.listdir(drive_c))
        with SmallDrivesOnly("notmade", size_mb=400, c_kind=c_kind) as drives:
            for name in ("driver.exe", "NotMade.exe"):
                shutil.copy(DRIVER if name == "driver.exe" else program, drives.mount)
            os.makedirs(os.path.join(drives.mount, "tmp"))
            drives.seal()
            facts = drive("outcome", os.path.join(OUT, "notmade", f"NotMade-{c_kind}.exe"),
                          "--temp", "T:\\tmp", driver=os.path.join(drives.mount, "driver.exe"),
                          program_path="T:\\NotMade.exe")
        made = sorted(name for name in set(os.listdir(drive_c)) - before if WORKSPACE_NAME.match(name))
        if c_kind == "network":
            facts.expect("box.seen", 1)
            facts.expect("box.text", "Cannot Create A Folder For Temporary Files!")
            facts.expect("box.caption", DAMAGED_EN[1])
            facts.expect("exit.code", STATUS["workspace not made"])
            if made:
                raise Failure(f"made on C:, a network drive: {made}")
            continue
        facts.expect("box.seen", 0)
        facts.expect("exit.code", STATUS["setup started"])
        found = take_workspace_at_c_root(made)
        if found != ["QWSetup-received.txt", "QWSetup.exe"]:
            raise Failure(f"the workspace on C: holds {found}")


def take_workspace_at_c_root(made):
    """The names in the one workspace `made` at C:'s root, once the setup
    program has started from it; the workspace is removed."""
    if len(made) != 1:
        raise Failure(f"no single workspace at C:'s root: {made}")
    workspace = os.path.join(os.environ["WINEPREFIX"], "drive_c", made[0])
    for _ in range(50):  # the setup program records what it received as it starts
        if os.path.exists(os.path.join(workspace, "QWSetup-received.txt")):
            break
        time.sleep(0.1)
    found = sorted(os.listdir(workspace))
    shutil.rmtree(workspace)
    return found


def packed_set(case, volumes_wanted=3):
    """The example payload, QWSetup.exe and some noise packed by qwpack pack
    into a set of volumes of 1 MiB: (program, payload, volumes)."""
    if not os.path.exists(QWPACK):
        raise Skip(f"{QWPACK} not built")
    payload = os.path.join(OUT, case, "payload")
    shutil.copytree(PAYLOAD, payload)
    shutil.copy(SETUP, payload)
    for part in range(3):
        with open(os.path.join(payload, "data", f"noise{part}.bin"), "wb") as out:
            out.write(os.urandom(700000))
    program = os.path.join(OUT, case, "Set Of Volumes.exe")
    packed = subprocess.run([QWPACK, "pack", "--volume-size", "1M", "-o", program, "--stub",
                             LAUNCHER, payload], capture_output=True, text=True)
    if packed.returncode != 0:
        raise Failure(f"qwpack pack failed ({packed.returncode}): {packed.stderr.strip()}")
    volumes = sorted(name for name in os.listdir(os.path.dirname(program)) if name.endswith(".qwv"))
    if len(volumes) < volumes_wanted:
        raise Failure(f"the set has {volumes}, the test needs {volumes_wanted} volumes or more")
    return program, payload, [os.path.join(os.path.dirname(program), v) for v in volumes]


@case
def volume_set_unpacks_verifies_and_starts_setup():
    """A set of three volumes or more beside its program file: every file
    of every volume unpacked byte for byte, the package copy gone, and the
    setup program started from the workspace."""
    program, payload, _ = packed_set("set")
    facts = drive("outcome", program)
    expect_launched(facts)
    expect_unpacked(facts, entries_from_directory(payload))


@case
def changed_volume_ends_with_the_checksum_status():
    """One byte of the second volume changed: the checksum message names
    that volume, the checksum status, nothing of any volume unpacked and
    nothing started; a missing volume is an open error naming it."""
    program, _, volumes = packed_set("set-changed")
    with open(volumes[1], "r+b") as volume:
        volume.seek(os.path.getsize(volumes[1]) // 2)
        byte = volume.read(1)
        volume.seek(-1, os.SEEK_CUR)
        volume.write(bytes([byte[0] ^ 1]))
    facts = drive("outcome", program)
    expect_failure_box(facts, f"CRC file:{windows_path(volumes[1])} error!",
                       "Set Of Volumes", "checksum error")
    if os.listdir(facts["workspace.unix"]):
        raise Failure(f"the workspace holds {os.listdir(facts['workspace.unix'])}")
    os.remove(volumes[2])
    facts = drive("outcome", program)
    facts.expect("exit.code", STATUS["open error"])
    if windows_path(volumes[2]) not in facts.get("box.text", ""):
        raise Failure(f"the open error does not name {volumes[2]}: {facts.get('box.text')!r}")


@case
def room_for_the_files_only_on_another_drive():
    """The temporary-files directory lies on a 320 MiB drive: room for the
    least a workspace needs, not for the 340 MiB the package unpacks to.
    The launcher passes it over for C:, which has the room, unpacks there
    and starts the setup program; nothing is made on the small drive, and
    the log says what was needed and what each volume had."""
    if not os.path.exists(QWPACK):
        raise Skip(f"{QWPACK} not built")
    payload = os.path.join(OUT, "room", "payload")
    os.makedirs(payload, exist_ok=True)
    shutil.copy(SETUP, payload)
    with open(os.path.join(payload, "zeros.bin"), "wb") as out:
        out.truncate(340 * 1024 * 1024)
    program = os.path.join(OUT, "room", "Room.exe")
    packed = subprocess.run([QWPACK, "pack", "-o", program, "--stub", LAUNCHER, payload],
                            capture_output=True, text=True)
    os.remove(os.path.join(payload, "zeros.bin"))
    if packed.returncode != 0:
        raise Failure(f"qwpack pack failed ({packed.returncode}): {packed.stderr.strip()}")
    drive_c = os.path.join(os.environ["WINEPREFIX"], "drive_c")
    before = set(os.listdir(drive_c))
    with SmallDrivesOnly("room", size_mb=320, c_kind="hd") as drives:
        for name in ("driver.exe", "Room.exe"):
            shutil.copy(DRIVER if name == "driver.exe" else program, drives.mount)
        os.makedirs(os.path.join(drives.mount, "tmp"))
        facts = drive("outcome", program, "--temp", "T:\\tmp",
                      *launcher_arguments("/log=C:\\room.log"),
                      driver=os.path.join(drives.mount, "driver.exe"), program_path="T:\\Room.exe",
                      timeout=300)
        left = os.listdir(os.path.join(drives.mount, "tmp"))
    made = sorted(name for name in set(os.listdir(drive_c)) - before if WORKSPACE_NAME.match(name))
    facts.expect("box.seen", 0)
    facts.expect("exit.code", STATUS["setup started"])
    found = take_workspace_at_c_root(made)
    if found != ["QWSetup-received.txt", "QWSetup.exe", "zeros.bin"]:
        raise Failure(f"the workspace on C: holds {found}")
    if left:
        raise Failure(f"made in the small drive's temporary-files directory: {left}")
    log = read_log(os.path.join(drive_c, "room.log"))
    os.remove(os.path.join(drive_c, "room.log"))
    for said in (r"room needed: 34\d MiB \(package copy \d+ bytes, 2 files of 35\d+ bytes\)",
                 r"volume T:\\tmp\\: not enough free space \(3[01]\d MiB free\)",
                 r"volume C:\\: chosen \(\d+ MiB free\)"):
        if not re.search(said, log):
            raise Failure(f"the log does not say /{said}/:\n{log}")


@case
def chinese_interface():
    """System language 2052: the Chinese template and damaged-package message,
    the per-file messages still English; GBK names whose trail byte is 0x5C
    are one directory level, not two."""
    facts = drive("outcome", program_file("chinese", "Count0.exe", [setup_entry()], file_count=0),
                  env=CHINESE)
    expect_failure_box(facts, *DAMAGED_ZH, "damaged package")

    # Two characters whose second bytes are the separator's code, 0x5C.
    subdirectory = "数据\\" + bytes([0x95, 0x5C, 0xB1, 0x5C]).decode("gbk")
    entries = [setup_entry(), Entry(subdirectory, "说明.txt", "中文内容".encode("gbk"), encoding="gbk")]
    facts = drive("outcome", program_file("chinese", "安装.exe", entries), "--hold", env=CHINESE)
    facts.expect("window.label", LABEL_ZH)
    expect_launched(facts)
    expect_unpacked(facts, entries)

    entries = [setup_entry(), Entry("", "a?b", b"data")]
    facts = drive("outcome", program_file("chinese", "WriteFail.exe", entries), env=CHINESE)
    workspace = expect_workspace(facts)
    expect_failure_box(facts, f"Write file:{workspace}\\a?b error!", "WriteFail", "write error")


@case
def notices_from_outside():
    """Notices of the driver's own to the held window: progress 150 moves the
    bar and the run goes on to its end; codes 0 and 9 end the process at
    once, with no message and no launch."""
    program = program_file("notices", "Notices.exe", [setup_entry(), big_entry()])
    facts = drive("outcome", program, "--hold", "--send-notice", "8:150")
    facts.expect("notice8.window_alive", 1)
    facts.expect("notice8.bar_pos", 150)
    expect_launched(facts)
    for code in (0, 9):
        facts = drive("outcome", program, "--hold", "--send-notice", f"{code}:0")
        facts.expect(f"notice{code}.window_alive", 0)
        facts.expect("box.seen", 0)
        facts.expect("exit.code", STATUS["unknown notice"])
        facts.expect("setup.record", "absent")


@case
def keys_enter_ignored_escape_abandons():
    """Enter leaves the run going; Escape ends it with no message and no
    launch, leaving the package copy in the workspace."""
    facts = drive("keys", program_file("keys", "Keys.exe", [setup_entry(), big_entry()]))
    facts.expect("hold", 1)
    facts.expect("enter.process_alive", 1)
    facts.expect("enter.window_visible", 1)
    facts.expect("enter.box_seen", 0)
    facts.expect("escape.ended", 1)
    facts.expect("escape.box_seen", 0)
    facts.expect("exit.code", STATUS["cancelled"])
    facts.expect("workspace.package_copy_exists", 1)
    facts.expect("setup.record", "absent")


def expect_look(facts, label, bar_height=24):
    facts.expect("hold", 1)
    facts.expect("window.popup", 1)
    facts.expect("window.frame_bits", 0)
    facts.expect("window.appwindow", 1)
    facts.expect("window.toolwindow", 0)
    facts.expect("window.title", "")
    facts.expect("window.label", label)
    facts.expect("window.bar_range", "0..200")
    for axis in ("x", "y"):
        if abs(facts.number(f"window.centre_offset2_{axis}")) > 1:
            raise Failure(f"window not centred in the work area along {axis}")
    facts.expect("erase.comparable", 1)
    facts.expect("erase.right_column_mismatches", 0)
    facts.expect("erase.bottom_row_mismatches", 0)
    facts.expect("erase.corner_is_skin", 1)
    facts.expect("erase.skin_mismatches", 0)
    if facts.number("erase.caption_white_pixels") < 10:
        raise Failure("no white caption drawn at (30,5)")
    facts.expect("caption.mismatches", 0)  # the caption drawn again over the skin
    if facts.number("label.skin_share_percent") < 50:
        raise Failure("the label hides the skin behind it")
    facts.expect("bar.client", facts["bar.outer"])
    if not facts["bar.outer"].endswith(f"x{bar_height}"):
        raise Failure(f"bar is {facts['bar.outer']}, wanted {bar_height} pixels high")
    facts.expect("bar.border_styles", 0)
    facts.expect("bar.edge_exstyles", 0)
    facts.expect("fill.size", f"1x{bar_height - 2}")
    for position in (0, 1, 5, 100, 150, 199, 200):
        key = f"bar.pos{position}"
        facts.expect(f"{key}.getpos", position)
        facts.expect(f"{key}.fill", facts[f"{key}.expected_fill"])
        facts.expect(f"{key}.mismatches", 0)
    facts.expect("exit.code", STATUS["cancelled"])  # Escape ends the look check


@case
def look_english():
    """The window's drawing read back from the screen: skin, border, caption,
    taskbar style, the bar's frame, fill and remainder at several positions."""
    shot = os.path.join(OUT, "look", "progress-window-en.bmp")
    facts = drive("look", program_file("look", "Look.exe", [setup_entry(), big_entry()]),
                  "--screenshot", windows_path(shot))
    expect_look(facts, LABEL_EN)
    facts.expect("screenshot.saved", 1)
    if facts["bar.outer"] == "242x24":
        # The fill widths named for a bar of 242 pixels.
        for position, fill in ((0, 0), (1, 1), (5, 6), (150, 180), (200, 240)):
            facts.expect(f"bar.pos{position}.fill", fill)


@case
def look_chinese():
    """The same under the Chinese template, with the Chinese caption."""
    shot = os.path.join(OUT, "look", "progress-window-zh.bmp")
    facts = drive("look", program_file("look", "LookZh.exe", [setup_entry(), big_entry()]),
                  "--screenshot", windows_path(shot), env=CHINESE)
    expect_look(facts, LABEL_ZH)


def sign(program, signed):
    """`program` signed by osslsigncode with a throw-away certificate, and verified."""
    directory = os.path.dirname(program)
    key, certificate = os.path.join(directory, "key.pem"), os.path.join(directory, "cert.pem")
    for command in (["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                     "-out", certificate, "-days", "2", "-subj", "/CN=qwlauncher test"],
                    ["osslsigncode", "sign", "-certs", certificate, "-key", key, "-n", "Setup",
                     "-in", program, "-out", signed],
                    ["osslsigncode", "verify", "-CAfile", certificate, signed]):
        done = subprocess.run(command, capture_output=True, text=True)
        if done.returncode != 0:
            raise Failure(f"{command[0]} {command[1]} failed: {done.stdout.strip()} {done.stderr.strip()}")


@case
def brand_as_windows_sees_it():
    """A launcher packed with every brand option, Chinese values included,
    then signed: Windows' own calls read back its version strings
    (GetFileVersionInfoW), its run level (the activation context) and its
    icon (ExtractIconExW, pixel for pixel against the .ico file); its window
    shows the publisher's skin, bar fill and caption in both languages, its
    message boxes carry the publisher's names, and it still unpacks
    everything and starts the setup program."""
    program, payload = packed_example("brand")
    folder = os.path.dirname(program)
    art = brand_art.write_art(os.path.join(folder, "art"))
    branded = os.path.join(folder, "Branded.exe")
    packed = subprocess.run([QWPACK, "pack", "-o", branded, "--stub", LAUNCHER,
                             *brand_art.brand_options(art), payload], capture_output=True, text=True)
    if packed.returncode != 0:
        raise Failure(f"qwpack pack with a brand failed: {packed.stderr.strip()}")
    signed = os.path.join(folder, "Signed.exe")
    sign(branded, signed)

    icon = windows_path(art["logo.ico"])
    facts = drive("brand", signed, "--icon-file", icon,
                  "--screenshot", windows_path(os.path.join(folder, "icon-large.bmp")))
    for key, value in brand_art.VERSION_INFO.items():
        facts.expect(f"version.{key}", value)
    facts.expect("version.fixed_file", "7.1.2.3")
    facts.expect("version.fixed_product", "7.1.0.0")
    facts.expect("manifest.run_level", "asInvoker")
    facts.expect("icon.count", 1)
    facts.expect("icon.large", "32x32")
    facts.expect("icon.large_mismatches", 0)
    facts.expect("icon.small", "16x16")
    facts.expect("icon.small_mismatches", 0)
    # What Explorer's Properties would show, as Windows read it, beside the screenshots.
    with open(os.path.join(folder, "properties.txt"), "w", encoding="utf-8") as out:
        out.writelines(f"{key[len('version.'):]}: {value}\n" for key, value in facts.items()
                       if key.startswith("version.") and key != "version.found")
    # The same checks tell the project's own launcher apart.
    facts = drive("brand", LAUNCHER, "--icon-file", icon)
    facts.expect("manifest.run_level", "requireAdministrator")
    facts.expect("version.ProductName", "qwlauncher")
    if facts.number("icon.large_mismatches") == 0:
        raise Failure("the project's icon compares equal to the publisher's: the check sees nothing")

    for language, env, label, caption in (("en", ENGLISH, LABEL_EN, brand_art.NAME + "   "),
                                          ("zh", CHINESE, LABEL_ZH, brand_art.NAME_ZH + "    ")):
        shot = os.path.join(folder, f"branded-window-{language}.bmp")
        facts = drive("look", branded, "--skin-file", windows_path(art["skin.bmp"]),
                      "--fill-file", windows_path(art["fill.bmp"]),
                      "--caption-hex", caption.encode().hex(), "--screenshot", windows_path(shot),
                      env=env)
        expect_look(facts, label, bar_height=20)
        if facts.number("caption.other_mismatches") == 0:
            raise Failure("the project's caption compares equal to the publisher's")

    facts = drive("outcome", signed)
    expect_launched(facts)
    expect_unpacked(facts, entries_from_directory(payload))

    with open(branded, "rb") as source:
        cut = os.path.join(folder, "Cut.exe")
        with open(cut, "wb") as out:
            out.write(source.read()[:-100])
    for env, (text, _), caption in ((ENGLISH, DAMAGED_EN, brand_art.NAME),
                                    (CHINESE, DAMAGED_ZH, brand_art.NAME_ZH)):
        expect_failure_box(drive("outcome", cut, env=env), text, caption, "damaged package")


# --- the suite's tools for runs with switches ------------------------------

def behaviour_entry(**settings):
    """QWSetup-behaviour.txt, which tells the recording setup program what to
    do (examples/setup/QWSetup.cpp): exit=N, child_ms=N, child_breakaway=1,
    child_marker=PATH, record_copy=PATH."""
    text = "".join(f"{name}={value}\r\n" for name, value in settings.items())
    return Entry("", "QWSetup-behaviour.txt", text.encode("utf-8"))


def launcher_arguments(text):
    """The driver's options that put `text` on the launcher's command line
    after its quoted path, exactly as given (any character)."""
    return ["--launcher-args-hex", text.encode("utf-8").hex()]


def setup_arguments(facts, parser="wide"):
    """The setup program's arguments as it recorded them, split by
    CommandLineToArgvW ("wide") or by the C runtime ("crt")."""
    count = facts.number(f"setup.{parser}Argc")
    return [bytes.fromhex(facts.get(f"setup.{parser}Argv{i}", "")).decode("utf-8")
            for i in range(count)]


def wait_for_file(path, seconds):
    deadline = time.monotonic() + seconds
    while not os.path.exists(path) and time.monotonic() < deadline:
        time.sleep(0.1)
    return os.path.exists(path)


@case
def recording_setup_program_and_window_count():
    """The suite's tools for runs with switches, shown on a run without: the
    recording setup program exits with the code it is asked for, starts a
    child that outlives it, and records its arguments as both of Windows'
    parsers split them; the driver counts every window the launcher makes,
    here one dialog (the progress window) and no message box."""
    entries = [setup_entry(), behaviour_entry(exit=3010, child_ms=1500)]
    facts = drive("outcome", program_file("recording", "Setup.exe", entries), "--count-windows")
    workspace = expect_workspace(facts)
    facts.expect("box.seen", 0)
    facts.expect("exit.code", STATUS["setup started"])
    facts.expect("windows.dialogs", 1)
    if facts.number("windows.created") < 2:
        raise Failure("the progress window's controls were not counted: the hook sees nothing")
    facts.expect("setup.exitCode", 3010)
    program = f"{workspace}\\QWSetup.exe"
    for parser in ("wide", "crt"):
        if setup_arguments(facts, parser) != [program, "-D"]:
            raise Failure(f"{parser} arguments {setup_arguments(facts, parser)!r}")
    marker = os.path.join(facts["workspace.unix"], "QWSetup-child.txt")
    if not wait_for_file(marker, 10):
        raise Failure("the setup program's child never wrote its marker")
    with open(marker, encoding="utf-8") as source:
        ended = source.read().strip()
    if ended != f"ended pid={facts.get('setup.child.pid')}":
        raise Failure(f"child marker {ended!r}, child {facts.get('setup.child.pid')}")


def switch_probe(scenario, folder, *arguments):
    """Runs tests/wine/switch_probe.cpp; its facts, read from the file it writes."""
    report = os.path.join(folder, f"{scenario}.report")
    subprocess.run([os.environ["QW_WINE"], SWITCH_PROBE, scenario, windows_path(report),
                    *arguments], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=90, check=False)
    facts = Facts(report)
    if os.path.exists(report):
        facts.update(read_report(report))
    if facts.get("done") != "0":
        raise Failure(f"switch_probe {scenario} did not finish (report {report})")
    return facts


@case
def whole_setup_waited_for_log_and_removal_on_the_system():
    """The system calls behind runs with switches: the setup program, started
    in a job, is waited for until the child it leaves running has ended, and
    its own exit code comes back; started alone, or with a child that breaks
    away from the job, the wait ends with the setup program. The log file is
    made only where nothing is, or replaces a plain file of one name, never
    a hard link's other file; a held workspace cannot be renamed away, and
    one with a read-only file and a name outside the code page is removed
    whole down from its hold."""
    folder = os.path.join(OUT, "switch-probe")
    shutil.rmtree(folder, ignore_errors=True)
    for name, settings, scenario, whole in (
            ("job", {"exit": 3010, "child_ms": 2000}, "wait", True),
            ("alone", {"exit": 1603, "child_ms": 2000}, "alone", False),
            ("breakaway", {"exit": 1641, "child_ms": 2000, "child_breakaway": 1}, "wait", False)):
        setup = os.path.join(folder, name)
        os.makedirs(setup)
        shutil.copy(SETUP, setup)
        with open(os.path.join(setup, "QWSetup-behaviour.txt"), "wb") as out:
            out.write(behaviour_entry(**settings).data)
        marker = os.path.join(setup, "QWSetup-child.txt")
        facts = switch_probe(scenario, folder, windows_path(os.path.join(setup, "QWSetup.exe")),
                             windows_path(marker))
        facts.expect("waited", 1)
        facts.expect("exit.code", settings["exit"])
        facts.expect("join", 0 if scenario == "wait" else 3)
        facts.expect("marker.at_end", 1 if whole else 0)
        if not wait_for_file(marker, 10):
            raise Failure(f"{name}: the child never ended")
    logs = os.path.join(folder, "logs")
    os.makedirs(logs)
    facts = switch_probe("log", folder, windows_path(logs))
    for key, value in (("new.created", 1), ("new.written", 1), ("taken.created", 0),
                       ("taken.error", 80), ("replaced.created", 1), ("hardlink.made", 1),
                       ("hardlink.created", 0), ("hardlink.target_kept", 1),
                       ("directory.created", 0)):
        facts.expect(key, value)
    facts = switch_probe("cleanup", folder, windows_path(os.path.join(folder, "QW_0A1B2C3D")))
    for key, value in (("wide_name.made", 1), ("held", 1), ("rename.refused", 1), ("removed", 1),
                       ("entries", 4), ("left", 0), ("gone", 1)):
        facts.expect(key, value)


def convert_screenshots():
    """PNG copies of the driver's BMP screenshots, for viewing."""
    if not shutil.which("convert"):
        return
    for directory, _, files in os.walk(OUT):
        for name in files:
            if name.endswith(".bmp"):
                bmp = os.path.join(directory, name)
                subprocess.run(["convert", bmp, bmp[:-4] + ".png"], check=False)


def why_32bit_cannot_run():
    """Why the 32-bit loader cannot run on this machine, or "" when it can start."""
    loader = "/usr/lib/wine/wine"
    if not os.path.exists(loader):
        return (f"no 32-bit Wine loader at {loader}: Debian's wine32:i386 is not installed "
                "(scripts/install-deps.sh tries to install it)")
    try:
        # Needs no prefix and no wineserver: only that the kernel starts the loader.
        probe = subprocess.run([loader, "--version"], capture_output=True, timeout=30)
    except OSError as error:
        return f"this kernel does not start 32-bit programs ({loader}: {error.strerror})"
    except subprocess.TimeoutExpired:
        return f"{loader} --version did not answer in 30 s"
    if probe.returncode != 0:
        return f"{loader} --version failed with status {probe.returncode}"
    return ""


def probe_console_program(arch):
    """Runs the suite's tiny console program of the build's bitness once; "" when it ran."""
    probe = os.path.join(BUILD, "tests", "wine", "probe.exe")
    report = os.path.join(OUT, "probe.txt")
    bits = "32" if arch == "win32" else "64"
    try:
        # Its output goes to a file: Wine's helpers would hold a pipe open.
        done = subprocess.run([os.environ["QW_WINE"], probe, windows_path(report)],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    except (OSError, subprocess.TimeoutExpired) as error:
        return f"the {bits}-bit probe program did not run: {error}"
    seen = open(report, encoding="ascii", errors="replace").read().strip() \
        if os.path.exists(report) else ""
    if done.returncode != 0 or seen != f"probe {bits}-bit":
        return (f"the {bits}-bit probe program ended with status {done.returncode} "
                f"and reported {seen!r}")
    return ""


def write_results(arch, verdicts, not_run=None):
    os.makedirs(OUT, exist_ok=True)
    with open(os.path.join(OUT, "results.json"), "w", encoding="utf-8") as out:
        json.dump({"arch": arch, "not_run": not_run, "cases": verdicts}, out, indent=1)


def record_not_run(arch, reason, selected):
    shutil.rmtree(OUT, ignore_errors=True)
    write_results(arch, {c.__name__: f"SKIP  not run: {reason}" for c in selected}, reason)
    print(f"wine tests ({arch}): NOT run: {reason}")


def run_cases(arch, selected):
    for needed in (LAUNCHER, DRIVER, SETUP):
        if not os.path.exists(needed):
            print(f"wine tests: {needed} is missing; build the {arch} preset first")
            return 2
    if os.environ.get("QW_ARCH") != arch or "QW_WINE" not in os.environ:
        print(f"wine tests: run inside QW_ARCH={arch} scripts/wine-session.sh")
        return 2
    shutil.rmtree(OUT, ignore_errors=True)
    os.makedirs(OUT)
    if arch == "win32":
        reason = why_32bit_cannot_run()
        if reason:
            record_not_run(arch, reason, selected)
            return 0
        # The loader starts: a probe that does not run is our build's fault.
        failure = probe_console_program(arch)
        if failure:
            write_results(arch, {c.__name__: f"FAIL  {failure}, though the 32-bit loader runs"
                                 for c in selected})
            print(f"wine tests ({arch}): FAILED: {failure}, though the 32-bit loader runs")
            return 1
    failed = skipped = 0
    verdicts = {}
    started = time.monotonic()
    for function in selected:
        case_started = time.monotonic()
        try:
            function()
            verdict = "PASS"
        except Failure as failure:
            verdict = f"FAIL  {failure}"
            failed += 1
        except Skip as reason:
            verdict = f"SKIP  {reason}"
            skipped += 1
        verdicts[function.__name__] = verdict
        print(f"{arch} {function.__name__:45s} {time.monotonic() - case_started:5.1f}s  {verdict}",
              flush=True)
    convert_screenshots()
    write_results(arch, verdicts)
    print(f"wine tests ({arch}): {len(selected) - failed - skipped}/{len(selected)} passed, "
          f"{skipped} skipped in {time.monotonic() - started:.0f}s; artefacts in {OUT}")
    return 1 if failed else 0


def print_summary(selected):
    """Both builds side by side; non-zero when a case failed or a build left no verdicts."""
    results = {}
    for arch in ARCHES:
        path = os.path.join(RESULTS, arch, "results.json")
        if os.path.exists(path):
            with open(path, encoding="utf-8") as source:
                results[arch] = json.load(source)
    print(f"\n{'wine tests':45s} " + " ".join(f"{arch:6s}" for arch in ARCHES))
    for function in selected:
        cells = []
        for arch in ARCHES:
            verdict = results.get(arch, {}).get("cases", {}).get(function.__name__, "NONE")
            cells.append(f"{verdict.split()[0]:6s}")
        print(f"{function.__name__:45s} " + " ".join(cells))
    status = 0
    for arch in ARCHES:
        if arch not in results:
            print(f"{arch}: no verdicts: its run did not complete (see the output above)")
            status = 1
            continue
        verdicts = list(results[arch]["cases"].values())
        passed = sum(v == "PASS" for v in verdicts)
        failed = sum(v.startswith("FAIL") for v in verdicts)
        print(f"{arch}: {passed}/{len(verdicts)} passed, {failed} failed, "
              f"{len(verdicts) - passed - failed} skipped")
        status |= 1 if failed else 0
        if results[arch]["not_run"]:
            bits = "32" if arch == "win32" else "64"
            print(f"\n*** {bits}-bit launcher NOT run: {results[arch]['not_run']} ***\n")
    return status


def damaged_entry(name="damaged.txt"):
    """An entry whose stored bytes were changed after packing: its checksum fails."""
    damaged = Entry("", name, b"payload " * 1000, coded=False)
    damaged.blocks = [(flag, stored[:-1] + b"!") for flag, stored in damaged.blocks]
    damaged.checksum = Entry("", name, b"payload " * 1000, coded=False).computed_checksum()
    return damaged


def switch_run(case, name, entries, switches, *options, env=None):
    """The launcher of `entries` run with `switches` on its command line;
    the driver counts every window it makes."""
    return drive("outcome", program_file(case, name, entries), "--count-windows",
                 *launcher_arguments(switches), *options, env=env)


def read_log(path):
    with open(path, encoding="utf-8-sig") as log:
        return log.read()


@case
def quiet_run_waits_for_the_whole_setup():
    """/quiet: no window and no message box is ever made; the launcher waits
    until the setup program and the child it leaves running have ended,
    exits with the setup program's own 3010, and removes its workspace;
    with /keep the workspace stays. A damaged package ends with its Windows
    error code, no box, and a log that names the entry."""
    directory = os.path.join(OUT, "quiet")
    os.makedirs(directory, exist_ok=True)
    for keep in (False, True):
        record, marker = (os.path.join(directory, f"{name}-{keep}.txt") for name in ("record", "child"))
        entries = [setup_entry(), big_entry("data.bin", 512 * 1024),
                   behaviour_entry(exit=3010, child_ms=2500, child_marker=windows_path(marker),
                                   record_copy=windows_path(record))]
        log = os.path.join(directory, f"quiet-{keep}.log")
        switches = ("/quiet /keep" if keep else "/S") + f" /log={windows_path(log)}"
        facts = switch_run("quiet", "Quiet.exe", entries, switches)
        facts.expect("windows.created", 0)
        facts.expect("box.seen", 0)
        facts.expect("exit.code", 3010)
        if not os.path.exists(marker):
            raise Failure("the launcher ended before the setup program's child had ended")
        received = read_report(record)
        if not received.get("ownDirectory"):
            raise Failure(f"the setup program recorded no folder: {record}")
        workspace = unix_path(received["ownDirectory"])
        if os.path.isdir(workspace) != keep:
            raise Failure(f"/keep {keep}: the workspace {'is gone' if keep else 'stays'}: {workspace}")
        said = "kept: /keep" if keep else " removed ("
        if said not in read_log(log):
            raise Failure(f"the log does not say {said!r}: {log}")
    log = os.path.join(directory, "damaged.log")
    entries = [setup_entry(), damaged_entry()]
    facts = switch_run("quiet", "Damaged.exe", entries, f"/quiet /log={windows_path(log)}")
    facts.expect("windows.created", 0)
    facts.expect("box.seen", 0)
    facts.expect("exit.code", 23)  # ERROR_CRC
    text = read_log(log)
    for wanted in ("damaged.txt", "CRC file:", "checksum error", "exit code 23"):
        if wanted not in text:
            raise Failure(f"the log does not say {wanted!r}: {log}")


@case
def passive_run_shows_the_window_and_no_box():
    """/passive: the progress window as always, no message box; a failure
    ends with its Windows error code, and the setup program's own code ends
    a run that got that far."""
    facts = switch_run("passive", "Passive.exe", [setup_entry(), damaged_entry()], "/passive")
    facts.expect("windows.dialogs", 1)
    facts.expect("box.seen", 0)
    facts.expect("exit.code", 23)  # ERROR_CRC
    facts = switch_run("passive", "Passive1603.exe", [setup_entry(), behaviour_entry(exit=1603)],
                       "/passive")
    facts.expect("windows.dialogs", 1)
    facts.expect("box.seen", 0)
    facts.expect("exit.code", 1603)


@case
def arguments_after_the_double_dash_reach_the_setup_program():
    """Every argument after "--" reaches the setup program after -D exactly,
    as CommandLineToArgvW and the C runtime both split it: spaces, quotes,
    trailing backslashes, an empty argument and Chinese characters."""
    directory = os.path.join(OUT, "arguments")
    os.makedirs(directory, exist_ok=True)
    record = os.path.join(directory, "record.txt")
    given = ["plain", "two words", 'say "hi"', "C:\\Program Files\\", "", "安装 目录", "a\\\\\"b"]
    quoted = []
    for argument in given:
        if argument and not any(c in argument for c in ' \t"'):
            quoted.append(argument)
            continue
        out, backslashes = '"', 0
        for c in argument:
            if c == "\\":
                backslashes += 1
                continue
            out += "\\" * (backslashes * 2 + 1 if c == '"' else backslashes) + c
            backslashes = 0
        quoted.append(out + "\\" * (backslashes * 2) + '"')
    entries = [setup_entry(), behaviour_entry(record_copy=windows_path(record))]
    facts = switch_run("arguments", "Args.exe", entries, "/wait /keep -- " + " ".join(quoted))
    facts.expect("box.seen", 0)
    facts.expect("exit.code", 0)
    received = read_report(record)
    for parser in ("wide", "crt"):
        count = int(received.get(f"{parser}Argc", "0"))
        argv = [bytes.fromhex(received.get(f"{parser}Argv{i}", "")).decode("utf-8")
                for i in range(count)]
        if argv[1:] != ["-D"] + given:
            raise Failure(f"{parser}: the setup program received {argv[1:]!r}, not {['-D'] + given!r}")


@case
def extract_unpacks_and_starts_nothing():
    """/extract=DIR: every file in DIR as packed, verified, and the setup
    program never started; DIR is made when missing; a DIR that holds
    anything is refused with nothing written."""
    directory = os.path.join(OUT, "extract")
    target = os.path.join(directory, "copy", "of the product")
    entries = [setup_entry(), Entry("docs", "guide.txt", b"read me " * 500), big_entry("data.bin", 300000)]
    program = program_file("extract", "Extract.exe", entries)
    facts = drive("outcome", program, "--count-windows", *launcher_arguments(f"/quiet /extract=\"{windows_path(target)}\""))
    facts.expect("windows.created", 0)
    facts.expect("exit.code", 0)
    found = {}
    for folder, _, files in os.walk(target):
        for name in files:
            with open(os.path.join(folder, name), "rb") as source:
                found[os.path.relpath(os.path.join(folder, name), target)] = source.read()
    wanted = {os.path.join(*[p for p in e.subdirectory.decode().split("\\") if p], e.file_name.decode()): e.data
              for e in entries}
    if found != wanted:
        raise Failure(f"the folder holds {sorted(found)}, wanted {sorted(wanted)}")
    full = os.path.join(directory, "full")
    os.makedirs(full)
    with open(os.path.join(full, "keep.txt"), "w") as keep:
        keep.write("mine")
    facts = drive("outcome", program, *launcher_arguments(f"/passive /extract={windows_path(full)}"))
    facts.expect("box.seen", 0)
    facts.expect("exit.code", 145)  # ERROR_DIR_NOT_EMPTY
    if os.listdir(full) != ["keep.txt"]:
        raise Failure(f"written into a folder that was not empty: {os.listdir(full)}")


@case
def unknown_switch_unpacks_nothing():
    """A switch the launcher does not know: its message box naming it, its
    status, and nothing unpacked; in a run that waits, its Windows code."""
    program = program_file("unknown", "Unknown.exe", [setup_entry()])
    facts = drive("outcome", program, *launcher_arguments("/bogus"))
    facts.expect("box.seen", 1)
    if "/bogus" not in facts.get("box.text", ""):
        raise Failure(f"the message does not name the switch: {facts.get('box.text')!r}")
    facts.expect("exit.code", STATUS["bad command line"])
    facts.expect("workspace", "")
    facts = drive("outcome", program, "--count-windows", *launcher_arguments("/quiet /bogus"))
    facts.expect("windows.created", 0)
    facts.expect("exit.code", 160)  # ERROR_BAD_ARGUMENTS
    facts.expect("workspace", "")


@case
def deployment_script_reads_the_setup_code():
    """As a deployment script runs it: cmd /c start "" /wait Setup.exe /quiet,
    then echo %ERRORLEVEL%, prints the setup program's own code."""
    directory = os.path.join(OUT, "deploy")
    program = program_file("deploy", "Deploy.exe", [setup_entry(), behaviour_entry(exit=3010)])
    output = os.path.join(directory, "errorlevel.txt")
    script = os.path.join(directory, "deploy.cmd")
    with open(script, "w", newline="\r\n") as batch:
        batch.write(f'@start "" /wait "{windows_path(program)}" /quiet\n')
        batch.write(f'@echo %ERRORLEVEL%> "{windows_path(output)}"\n')
    subprocess.run([os.environ["QW_WINE"], "cmd", "/c", windows_path(script)],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120,
                   env=dict(os.environ, **ENGLISH))
    with open(output, encoding="latin-1") as printed:
        seen = printed.read().strip()
    if seen != "3010":
        raise Failure(f"the script printed {seen!r}, not the setup program's 3010")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-k", dest="pattern", help="run only the cases whose name contains this")
    parser.add_argument("--arch", choices=ARCHES, default="win64", help="the build under test")
    parser.add_argument("--why-not", action="store_true",
                        help="print why the 32-bit loader cannot run here (nothing when it can)")
    parser.add_argument("--not-run", metavar="REASON",
                        help="record every case of --arch as skipped for REASON")
    parser.add_argument("--summary", action="store_true", help="print both builds' verdicts")
    arguments = parser.parse_args()
    selected = [c for c in CASES if not arguments.pattern or arguments.pattern in c.__name__]
    use_build(arguments.arch)
    if arguments.why_not:
        print(why_32bit_cannot_run() if arguments.arch == "win32" else "")
        return 0
    if arguments.summary:
        return print_summary(selected)
    if arguments.not_run:
        record_not_run(arguments.arch, arguments.not_run, selected)
        return 0
    return run_cases(arguments.arch, selected)


if __name__ == "__main__":
    sys.exit(main())
