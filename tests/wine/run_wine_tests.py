#!/usr/bin/env python3
"""The launcher under Wine, end to end: crafted program files are run by the
Windows-side driver (driver.exe), whose "key=value" lines are asserted here.

Run inside the Wine session (prefix and virtual display):
    scripts/wine-session.sh python3 tests/wine/run_wine_tests.py [-k NAME]
`make test` does. Artefacts (program files, driver logs, screenshots) go to
build/wine-tests/.
"""
import argparse
import functools
import json
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from package_craft import Entry, build_package, entries_from_directory, make_program  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
WIN64 = os.path.join(ROOT, "build", "win64")
QWPACK = os.path.join(ROOT, "build", "host", "qwpack")
LAUNCHER = os.path.join(WIN64, "launcher.exe")
DRIVER = os.path.join(WIN64, "tests", "wine", "driver.exe")
SETUP = os.path.join(WIN64, "tests", "wine", "QWSetup.exe")
PAYLOAD = os.path.join(ROOT, "examples", "payload")
OUT = os.path.join(ROOT, "build", "wine-tests")
CHINESE = {"LC_ALL": "zh_CN.UTF-8"}
ENGLISH = {"LC_ALL": "C.UTF-8"}

DAMAGED_EN = ("This file has been damaged, please download a new one!", "Orvandelle")
DAMAGED_ZH = ("文件被修改，请重新下载!", "澜岫杀毒软件")
LABEL_EN = "Unpacking file. Please wait..."
LABEL_ZH = "正在解压缩文件，请稍候..."
WORKSPACE_NAME = re.compile(r"QW_[0-9A-F]{8}$")


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


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


def drive(scenario, program, *options, env=None, on_fact=None, timeout=90):
    """Runs the driver on `program`; `on_fact(key, value)` sees each line as it comes."""
    log = os.path.splitext(program)[0] + f".{scenario}.log"
    command = [os.environ["QW_WINE"], DRIVER, scenario, "--private-temp", *options,
               windows_path(program)]
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


def expect_launched(facts):
    workspace = expect_workspace(facts)
    facts.expect("box.seen", 0)
    facts.expect("exit.code", 0)
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


def expect_failure_box(facts, text, caption):
    facts.expect("box.seen", 1)
    facts.expect("box.caption", caption)
    facts.expect("box.text", text)
    facts.expect("box.buttons", 1)  # OK alone
    facts.expect("box.icons", 0)
    facts.expect("box.owned_by_progress_window", 1)
    facts.expect("box.package_copy_exists", 0)
    facts.expect("box.closed", 1)
    facts.expect("exit.code", 0)
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
    sent, delivered = notice_counts(entries)
    print(f"  notices: the worker sent {sent}, the window received "
          f"{facts.get('notices.delivered')} ({facts.get('notices.progress')} progress)")
    if facts.number("notices.delivered") > 202:
        raise Failure("more notices than 201 bar positions and the final one")
    facts.expect("notices.delivered", delivered)
    facts.expect("notices.progress", delivered - 1)


def packed_example(case):
    """The example payload and QWSetup.exe packed by qwpack pack: (program, payload)."""
    if not os.path.exists(QWPACK):
        raise Skip(f"{QWPACK} not built")
    payload = os.path.join(OUT, case, "payload")
    shutil.copytree(PAYLOAD, payload)
    shutil.copy(SETUP, payload)
    with open(os.path.join(payload, "data", "repeated.txt"), "wb") as out:
        out.write((b"coded blocks, two of them exactly\n" * 241)[:8192])  # two full blocks
    program = os.path.join(OUT, case, "Packed.exe")
    packed = subprocess.run([QWPACK, "pack", "-o", program, "--stub", LAUNCHER, payload],
                            capture_output=True, text=True)
    if packed.returncode != 0:
        raise Failure(f"qwpack pack failed ({packed.returncode}): {packed.stderr.strip()}")
    return program, payload


@case
def qwpack_output_runs():
    """The publisher's tool end to end: the example payload and QWSetup.exe,
    packed by qwpack pack, come out of the launcher byte for byte."""
    program, payload = packed_example("qwpack")
    listed = subprocess.run([QWPACK, "list", "--json", program], capture_output=True, text=True)
    repeated = [e for e in json.loads(listed.stdout) if e["path"] == "data/repeated.txt"]
    if not repeated or repeated[0]["method"] != 1 or repeated[0]["stored"] >= 8192:
        raise Failure(f"qwpack stored data/repeated.txt uncoded: {repeated}; the test needs LZ blocks")
    facts = drive("outcome", program)
    expect_launched(facts)
    expect_unpacked(facts, entries_from_directory(payload))


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
    facts.expect("exit.code", 0)
    facts.expect("setup.record", "absent")


@case
def failure_write():
    """An output file that cannot be created: a name the platform refuses,
    and a name that would leave the workspace, which the launcher refuses."""
    for name, file_name in (("WriteFail", "a?b"), ("Setup.v2", "..")):
        entries = [setup_entry(), Entry("", file_name, b"data")]
        facts = drive("outcome", program_file("write", name + ".exe", entries))
        workspace = expect_workspace(facts)
        expect_failure_box(facts, f"Write file:{workspace}\\{file_name} error!", name)
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
        expect_failure_box(facts, f"Decompress file:{path} error!", "DecodeFail")


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
    expect_failure_box(facts, f"CRC file:{workspace}\\damaged.txt error!", "CrcFail")
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
        expect_failure_box(facts, f"Create Directory:{workspace}\\{subdirectory} error!", name)
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
        expect_failure_box(facts, *DAMAGED_EN)
        facts.expect("box.bar_pos", bar)


@case
def chinese_interface():
    """System language 2052: the Chinese template and damaged-package message,
    the per-file messages still English; GBK names whose trail byte is 0x5C
    are one directory level, not two."""
    facts = drive("outcome", program_file("chinese", "Count0.exe", [setup_entry()], file_count=0),
                  env=CHINESE)
    expect_failure_box(facts, *DAMAGED_ZH)

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
    expect_failure_box(facts, f"Write file:{workspace}\\a?b error!", "WriteFail")


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
        facts.expect("exit.code", 0)
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
    facts.expect("workspace.package_copy_exists", 1)
    facts.expect("setup.record", "absent")


def expect_look(facts, label):
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
    if facts.number("label.skin_share_percent") < 50:
        raise Failure("the label hides the skin behind it")
    facts.expect("bar.client", facts["bar.outer"])
    if not facts["bar.outer"].endswith("x24"):
        raise Failure(f"bar is {facts['bar.outer']}, wanted 24 pixels high")
    facts.expect("bar.border_styles", 0)
    facts.expect("bar.edge_exstyles", 0)
    facts.expect("fill.size", "1x22")
    for position in (0, 1, 5, 100, 150, 199, 200):
        key = f"bar.pos{position}"
        facts.expect(f"{key}.getpos", position)
        facts.expect(f"{key}.fill", facts[f"{key}.expected_fill"])
        facts.expect(f"{key}.mismatches", 0)
    facts.expect("exit.code", facts["exit.code"])  # any: the framework's after a cancel


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


def convert_screenshots():
    """PNG copies of the driver's BMP screenshots, for viewing."""
    if not shutil.which("convert"):
        return
    for directory, _, files in os.walk(OUT):
        for name in files:
            if name.endswith(".bmp"):
                bmp = os.path.join(directory, name)
                subprocess.run(["convert", bmp, bmp[:-4] + ".png"], check=False)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-k", dest="pattern", help="run only the cases whose name contains this")
    arguments = parser.parse_args()
    for needed in (LAUNCHER, DRIVER, SETUP):
        if not os.path.exists(needed):
            print(f"wine tests: {needed} is missing; build the win64 preset first")
            return 2
    if "QW_WINE" not in os.environ:
        print("wine tests: run inside scripts/wine-session.sh")
        return 2
    shutil.rmtree(OUT, ignore_errors=True)
    os.makedirs(OUT)
    failed = skipped = 0
    started = time.monotonic()
    selected = [c for c in CASES if not arguments.pattern or arguments.pattern in c.__name__]
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
        print(f"{function.__name__:45s} {time.monotonic() - case_started:5.1f}s  {verdict}", flush=True)
    convert_screenshots()
    print(f"wine tests: {len(selected) - failed - skipped}/{len(selected)} passed, "
          f"{skipped} skipped "
          f"in {time.monotonic() - started:.0f}s; artefacts in {OUT}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
