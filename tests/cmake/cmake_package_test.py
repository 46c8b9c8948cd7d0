#!/usr/bin/env python3
"""qwpack's CMake package as a publisher gets it, from the Debian package
unpacked into a temporary root (never the source tree): the example
publisher project (examples/cmake-publisher) and the complete example of
docs/publishers.md cross-built with MinGW, their launchers made by
qwpack_add_launcher and one run under Wine to its setup program's start;
launchers remade exactly when an input changes, read from make's and
ninja's own output; the same bytes from another build folder; `cpack -G
External` carrying exactly the install tree; METHOD lzma giving method 2
and no METHOD method 1; each wrong use stopped at configure time naming its
argument; the Windows zip's package pointing at qwpack.exe and its
launchers, and passing the method on.

Run inside the Wine session:
    scripts/wine-session.sh python3 tests/cmake/cmake_package_test.py \\
        build/qwpack_<version>_amd64.deb build/qwpack-<version>-windows-x64.zip
`make test` does (make test-packages). Artefacts go to build/cmake-package-tests/.
"""
import json
import os
import random
import re
import shlex
import shutil
import subprocess
import sys
import time
import zipfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
OUT = os.path.join(ROOT, "build", "cmake-package-tests")
EXAMPLE = os.path.join(ROOT, "examples", "cmake-publisher")
WRONG_USE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "wrong_use")
TOOLCHAIN = os.path.join(ROOT, "cmake", "toolchains", "mingw-x86_64.cmake")
PREFIX = os.path.join(OUT, "root", "usr")
QWPACK = os.path.join(PREFIX, "bin", "qwpack")
SOURCE = os.path.join(OUT, "src")
LAUNCHERS = ("HelloSetup.exe", "ManualSetup.exe")


class Failure(Exception):
    pass


class Skip(Exception):
    pass


def run(command, cwd=None, env=None, check=True):
    result = subprocess.run(command, cwd=cwd, env=env, capture_output=True, text=True,
                            stdin=subprocess.DEVNULL, timeout=300)
    if check and result.returncode != 0:
        raise Failure(f"{' '.join(command)} failed ({result.returncode}):\n"
                      f"{result.stdout[-1500:]}{result.stderr[-1500:]}")
    return result


def configure(build, generator="Unix Makefiles", source=SOURCE, extra=()):
    run(["cmake", "-G", generator, "-S", source, "-B", build, f"-DCMAKE_TOOLCHAIN_FILE={TOOLCHAIN}",
         f"-DCMAKE_PREFIX_PATH={PREFIX}", *extra])
    with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8") as cache:
        found = re.search(r"^qwpack_DIR:PATH=(.*)$", cache.read(), re.M).group(1)
    if found != os.path.join(PREFIX, "share", "qwpack", "cmake"):
        raise Failure(f"qwpack found in {found}, not in the unpacked package")


def build(folder):
    """What the build tool printed, and which launchers it packed."""
    output = run(["cmake", "--build", folder]).stdout
    packed = set(re.findall(r"Packing the launcher (\S+)", output))
    return output, packed


def entries(launcher):
    """{path: size} as the package's own qwpack lists it."""
    listed = json.loads(run([QWPACK, "list", "--json", launcher]).stdout)
    return {entry["path"]: entry["size"] for entry in listed["entries"]}


def expect_method(launcher, method):
    """Every entry of the launcher in `method`, but for method 1's entries
    whose blocks all stay plain (listed as method 0)."""
    listed = json.loads(run([QWPACK, "list", "--json", launcher]).stdout)
    found = {entry["method"] for entry in listed["entries"] if entry["stored"]}
    if method not in found or not found <= {method, 0 if method == 1 else method}:
        raise Failure(f"{os.path.basename(launcher)} is coded in methods {found}, "
                      f"wanted {method}")


def read(path):
    with open(path, "rb") as source:
        return source.read()


def tree(folder, leave_out=()):
    """{relative path: bytes} of every file below `folder`."""
    files = {}
    for directory, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(directory, name)
            relative = os.path.relpath(path, folder).replace(os.sep, "/")
            if relative not in leave_out:
                files[relative] = read(path)
    return files


def touch(path):
    os.utime(path, None)


# --- the cases ----------------------------------------------------------------

def example_builds_its_launchers_from_the_unpacked_package():
    """Both launchers hold exactly their payload: the program, the DLL it
    loads (found through the link) and QWSetup.exe, in method 2 (METHOD
    lzma); the manual folder and QWSetup.exe, in method 1 (no METHOD)."""
    configure(os.path.join(OUT, "make"))
    _, packed = build(os.path.join(OUT, "make"))
    if packed != set(LAUNCHERS):
        raise Failure(f"the first build packed {packed}")
    hello = entries(os.path.join(OUT, "make", "HelloSetup.exe"))
    if set(hello) != {"QWSetup.exe", "hello.exe", "greeting.dll"}:
        raise Failure(f"HelloSetup.exe holds {sorted(hello)}")
    manual = entries(os.path.join(OUT, "make", "ManualSetup.exe"))
    if set(manual) != {"QWSetup.exe", "readme.txt", "guide/start.txt"}:
        raise Failure(f"ManualSetup.exe holds {sorted(manual)}")
    expect_method(os.path.join(OUT, "make", "HelloSetup.exe"), 2)
    expect_method(os.path.join(OUT, "make", "ManualSetup.exe"), 1)


def documented_example_makes_a_launcher():
    """The complete example in docs/publishers.md, copied as a user would,
    gives a launcher holding hello.exe and QWSetup.exe."""
    with open(os.path.join(ROOT, "docs", "publishers.md"), encoding="utf-8") as document:
        text = document.read()
    section = text.split("## qwpack in a CMake project\n")[1].split("\n## ")[0]
    files = dict(re.findall(r"^`([\w.]+)`[^\n]*:\n\n```\w*\n(.*?)```", section, re.M | re.S))
    if set(files) != {"CMakeLists.txt", "hello.c", "setup.c", "mingw.cmake"}:
        raise Failure(f"the example in docs/publishers.md has the files {sorted(files)}")
    source = os.path.join(OUT, "documented-src")
    os.makedirs(source)
    for name, content in files.items():
        with open(os.path.join(source, name), "w") as out:
            out.write(content)
    folder = os.path.join(OUT, "documented")
    run(["cmake", "-S", source, "-B", folder, "-DCMAKE_TOOLCHAIN_FILE=mingw.cmake",
         f"-DCMAKE_PREFIX_PATH={PREFIX}"], cwd=source)
    build(folder)
    listed = entries(os.path.join(folder, "HelloSetup.exe"))
    if set(listed) != {"hello.exe", "QWSetup.exe"}:
        raise Failure(f"the launcher of docs/publishers.md's example holds {sorted(listed)}")


def wine(program, *arguments, log, env=None):
    """The exit status of a Windows program; its output goes to `log`, never
    to a pipe, which Wine's helper processes would hold open."""
    with open(os.path.join(OUT, log), "wb") as out:
        return subprocess.run([os.environ["QW_WINE"], program, *arguments], stdout=out,
                              stderr=out, stdin=subprocess.DEVNULL, env=env,
                              timeout=180).returncode


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def launcher_runs_under_wine_to_the_setup_program():
    """The launcher unpacks and starts QWSetup.exe -D beside the program and
    the DLL, which records what it found."""
    record = os.path.join(OUT, "setup-record.txt")
    if os.path.exists(record):
        os.remove(record)
    launcher = os.path.join(OUT, "make", "HelloSetup.exe")
    env = dict(os.environ, HELLO_SETUP_RECORD=windows_path(record))
    status = wine(launcher, log="launcher.log", env=env)
    if status != 0:
        raise Failure(f"HelloSetup.exe exited with {status}")
    deadline = time.monotonic() + 60
    while not os.path.exists(record) and time.monotonic() < deadline:
        time.sleep(0.2)
    if not os.path.exists(record):
        raise Failure("QWSetup.exe did not start (no record)")
    facts = read(record).decode("utf-8", "replace").replace("\r\n", "\n")
    files = set(re.findall(r"^file=(.*)$", facts, re.M))
    if "arguments=-D" not in facts or not {"hello.exe", "greeting.dll"} <= files:
        raise Failure(f"QWSetup.exe's record: {facts}")


def same_sources_give_the_same_bytes_in_another_folder():
    other = os.path.join(OUT, "make-elsewhere")
    configure(other)
    build(other)
    for name in LAUNCHERS:
        if read(os.path.join(OUT, "make", name)) != read(os.path.join(other, name)):
            raise Failure(f"{name} differs between two build folders")


def expect_packed(folder, step, wanted):
    output, packed = build(folder)
    if packed != set(wanted):
        raise Failure(f"{os.path.basename(folder)}, {step}: packed {sorted(packed) or 'nothing'}, "
                      f"wanted {sorted(wanted) or 'nothing'}\n{output[-1500:]}")
    return output


def incremental_builds(folder):
    """Each input remakes exactly the launchers made from it; a build with
    nothing changed does nothing; a file added or removed counts."""
    added = os.path.join(SOURCE, "manual", "guide", "added.txt")
    try:
        expect_each_input_remakes_its_launchers(folder, added)
    finally:  # the next case starts from the example as it is
        if os.path.exists(added):
            os.remove(added)


def expect_each_input_remakes_its_launchers(folder, added):
    manual = os.path.join(SOURCE, "manual")
    output = expect_packed(folder, "nothing changed", [])
    if "ninja" in os.path.basename(folder) and "no work to do" not in output:
        raise Failure(f"ninja found work in an unchanged tree:\n{output}")
    touch(os.path.join(manual, "guide", "start.txt"))
    expect_packed(folder, "a manual file touched", ["ManualSetup.exe"])
    with open(added, "w") as text:
        text.write("added\n")
    expect_packed(folder, "a manual file added", ["ManualSetup.exe"])
    if "guide/added.txt" not in entries(os.path.join(folder, "ManualSetup.exe")):
        raise Failure("the added file is not in ManualSetup.exe")
    os.remove(added)
    expect_packed(folder, "a manual file removed", ["ManualSetup.exe"])
    expect_packed(folder, "nothing changed after the removal", [])
    touch(os.path.join(SOURCE, "src", "greeting.c"))
    expect_packed(folder, "the DLL rebuilt", ["HelloSetup.exe"])
    touch(os.path.join(SOURCE, "src", "setup.c"))
    expect_packed(folder, "the setup program rebuilt", LAUNCHERS)
    touch(os.path.join(PREFIX, "share", "qwpack", "launcher-win64.exe"))
    expect_packed(folder, "the stub touched", LAUNCHERS)
    expect_packed(folder, "nothing changed at the end", [])


def incremental_builds_with_make():
    incremental_builds(os.path.join(OUT, "make"))


def incremental_builds_with_ninja():
    if not shutil.which("ninja"):
        raise Failure("ninja is missing (scripts/install-deps.sh installs ninja-build)")
    folder = os.path.join(OUT, "ninja")
    configure(folder, "Ninja")
    build(folder)
    incremental_builds(folder)


def brand_file_is_a_dependency():
    """BRAND goes to qwpack pack --brand, and the launcher follows the file."""
    if "--brand" not in run([QWPACK, "pack", "--help"]).stdout:
        raise Skip("this qwpack pack has no --brand")
    source = os.path.join(OUT, "brand-src")
    shutil.copytree(SOURCE, source)
    brand = os.path.join(source, "brand.json")
    with open(brand, "w") as text:
        text.write("{}\n")
    with open(os.path.join(source, "CMakeLists.txt"), "a") as lists:
        lists.write("qwpack_add_launcher(BrandedSetup OUTPUT BrandedSetup.exe PAYLOAD_DIR manual "
                    "SETUP QWSetup STUB win64 BRAND brand.json)\n")
    folder = os.path.join(OUT, "brand")
    configure(folder, source=source)
    build(folder)
    expect_packed(folder, "nothing changed", [])
    touch(brand)
    expect_packed(folder, "the brand file touched", ["BrandedSetup.exe"])


def cpack_carries_the_install_tree():
    """cpack -G External writes Hello-1.2.0-Setup.exe in method 2 (METHOD
    lzma); its entries are the install tree's files (every component), byte
    for byte."""
    folder = os.path.join(OUT, "make")
    launcher = os.path.join(folder, "Hello-1.2.0-Setup.exe")
    if os.path.exists(launcher):
        os.remove(launcher)
    run(["cpack", "-G", "External"], cwd=folder)
    installed = os.path.join(OUT, "installed")
    shutil.rmtree(installed, ignore_errors=True)
    run(["cmake", "--install", folder, "--prefix", installed])
    expected = tree(installed)
    listed = entries(launcher)
    if listed != {path: len(data) for path, data in expected.items()}:
        raise Failure(f"the launcher lists {sorted(listed)}, the install tree holds "
                      f"{sorted(expected)}")
    expect_method(launcher, 2)
    unpacked = os.path.join(OUT, "cpack-unpacked")
    shutil.rmtree(unpacked, ignore_errors=True)
    run([QWPACK, "extract", launcher, "-C", unpacked])
    if tree(unpacked, leave_out={"QW.tmp"}) != expected:
        raise Failure("the launcher's files differ from the install tree's")


WRONG_USES = {
    "missing-payload-folder": "PAYLOAD_DIR \"no-such-folder\", which is not a folder",
    "unknown-stub": "STUB \"win16\", which is neither win32, win64 nor a file",
    "setup-neither-file-nor-target": "SETUP \"no-such-setup.exe\", which is neither a target",
    "setup-not-a-program": "SETUP \"interface_library\", of type INTERFACE_LIBRARY",
    "payload-target-not-a-program": "PAYLOAD_TARGETS \"interface_library\", of type "
                                    "INTERFACE_LIBRARY",
    "payload-target-missing": "PAYLOAD_TARGETS \"no_such_target\", which is not a target",
    "both-payloads": "given both PAYLOAD_DIR and PAYLOAD_TARGETS",
    "no-payload": "given neither PAYLOAD_DIR nor PAYLOAD_TARGETS",
    "no-output": "given no OUTPUT",
    "output-inside-payload": "OUTPUT",
    "missing-brand": "BRAND \"no-such-brand.json\", which is not a file",
    "codepage-not-a-number": "CODEPAGE \"gbk\"",
    "threads-zero": "THREADS \"0\"",
    "keyword-without-value": "given STUB with no value",
    "unknown-argument": "given unknown arguments: COMPRESSION;best",
    "target-exists": "a target of that name exists",
    "cpack-after-include": "comes after include(CPack)",
    "cpack-unknown-stub": "STUB \"arm64\"",
    "unknown-method": "METHOD \"zstd\", which is neither lz nor lzma",
    "cpack-unknown-method": "METHOD \"LZMA\", which is neither lz nor lzma",
    "volume-size-not-a-size": "VOLUME_SIZE \"1.5G\", which is not a size",
    "install-not-a-launcher": "interface_library was not made by qwpack_add_launcher",
    "newer-minor": "compatible with requested version \"0.2\"",
    "newer-major": "compatible with requested version \"1.0\"",
}


VOLUME_PROJECT = """cmake_minimum_required(VERSION 3.21)
project(Large VERSION 3.0 LANGUAGES NONE)
find_package(qwpack 0.1 REQUIRED)
qwpack_add_launcher(LargeSetup OUTPUT out/LargeSetup.exe PAYLOAD_DIR payload STUB win64
                    VOLUME_SIZE 64K)
qwpack_install_launcher(LargeSetup DESTINATION dist)
install(DIRECTORY payload/ DESTINATION tree)
install(DIRECTORY payload/ DESTINATION tree-copy)
qwpack_cpack_launcher(STUB win64 VOLUME_SIZE 512K)
include(CPack)
"""


def volume_set_is_built_installed_and_cpacked():
    """VOLUME_SIZE: the build writes the set beside OUTPUT, the install tree
    holds the launcher with every volume, and cpack -G External hands over
    its launcher with its volumes; each set verifies."""
    source, folder = os.path.join(OUT, "volumes-src"), os.path.join(OUT, "volumes-build")
    rng = random.Random(64)
    files = {"QWSetup.exe": rng.randbytes(20000)}
    files.update({f"data/part{i}.bin": rng.randbytes(40000) for i in range(5)})
    for name, data in files.items():
        os.makedirs(os.path.dirname(os.path.join(source, "payload", name)), exist_ok=True)
        with open(os.path.join(source, "payload", name), "wb") as out:
            out.write(data)
    with open(os.path.join(source, "CMakeLists.txt"), "w") as project:
        project.write(VOLUME_PROJECT)
    configure(folder, source=source)
    build(folder)
    built = sorted(os.listdir(os.path.join(folder, "out")))
    count = len(built) - 1
    if count < 3 or built != sorted(["LargeSetup.exe"] +
                                    [f"LargeSetup-{i}.qwv" for i in range(1, count + 1)]):
        raise Failure(f"the build wrote {built}")
    installed = os.path.join(OUT, "volumes-install")
    run(["cmake", "--install", folder, "--prefix", installed])
    if sorted(os.listdir(os.path.join(installed, "dist"))) != built:
        raise Failure(f"the install tree holds {os.listdir(os.path.join(installed, 'dist'))}")
    run([QWPACK, "verify", os.path.join(installed, "dist", "LargeSetup.exe")])
    run(["cpack", "-G", "External"], cwd=folder)
    launcher = os.path.join(folder, "Large-3.0-Setup.exe")
    volumes = [name for name in os.listdir(folder) if name.startswith("Large-3.0-Setup-")]
    if len(volumes) < 2:
        raise Failure(f"cpack handed over the volumes {volumes}")
    run([QWPACK, "verify", launcher])


def configure_wrong_use(case, prefix=PREFIX):
    folder = os.path.join(OUT, "wrong-use", case)
    shutil.rmtree(folder, ignore_errors=True)
    return run(["cmake", "-S", WRONG_USE, "-B", folder, f"-DCASE={case}",
                f"-DCMAKE_PREFIX_PATH={prefix}"], check=False)


def wrong_use_stops_at_configure_time_naming_the_argument():
    fine = configure_wrong_use("ok")
    if fine.returncode != 0:
        raise Failure(f"the right use failed: {fine.stderr[-1500:]}")
    wrong = []
    for case, expected in WRONG_USES.items():
        result = configure_wrong_use(case)
        # CMake wraps long messages: compare with the line breaks folded.
        message = re.sub(r"\s+", " ", result.stderr)
        if result.returncode == 0 or "CMake Error" not in message or expected not in message:
            wrong.append(f"{case}: exit {result.returncode}, wanted \"{expected}\" in:\n"
                         f"{result.stderr[-800:]}")
    if wrong:
        raise Failure("\n".join(wrong))


def unzipped_top():
    """The zip unpacked afresh: its one top folder."""
    unzipped = os.path.join(OUT, "zip")
    shutil.rmtree(unzipped, ignore_errors=True)
    with zipfile.ZipFile(sys.argv[2]) as archive:
        archive.extractall(unzipped)
    return os.path.join(unzipped, os.listdir(unzipped)[0])


def windows_zip_package_passes_the_method():
    """From the zip: METHOD lzma makes qwpack.exe write a method-2 launcher,
    no METHOD a method-1 one, and the CPack command carries the method; a
    wrong METHOD is refused. The build's commands, as ninja would run them,
    are run under Wine."""
    top = unzipped_top()
    refused = configure_wrong_use("unknown-method", prefix=top)
    if refused.returncode == 0 or "METHOD \"zstd\"" not in refused.stderr:
        raise Failure(f"the zip's package took METHOD zstd:\n{refused.stderr[-800:]}")
    folder = os.path.join(OUT, "zip-methods")
    shutil.rmtree(folder, ignore_errors=True)
    run(["cmake", "-G", "Ninja", "-S", WRONG_USE, "-B", folder, "-DCASE=methods",
         f"-DCMAKE_PREFIX_PATH={top}"])
    with open(os.path.join(folder, "CPackConfig.cmake"), encoding="utf-8") as config:
        command = re.search(r'^set\(CPACK_QWPACK_COMMAND "(.*)"\)$', config.read(), re.M)
    if not command or ";--method;lzma" not in command.group(1):
        raise Failure(f"the CPack command carries no method: {command and command.group(1)}")
    for name, method in (("Lzma.exe", 2), ("Default.exe", 1)):
        # cd <folder> && <qwpack.exe pack ...> && <cmake's depfile step>
        line = run(["ninja", "-C", folder, "-t", "commands", name]).stdout.strip().splitlines()[-1]
        words = shlex.split(line)
        if words[:3] != ["cd", folder, "&&"] or not words[3].endswith("qwpack.exe"):
            raise Failure(f"{name} is not made by qwpack.exe: {line}")
        end = words.index("&&", 3) if "&&" in words[3:] else len(words)
        status = wine(*words[3:end], log=f"zip-{name}.log")
        if status != 0:
            raise Failure(f"{line} exited with {status}")
        expect_method(os.path.join(folder, name), method)


def windows_zip_package_points_at_its_files():
    """The zip's package, found by prefix, names qwpack.exe and the launchers
    beside it; qwpack.exe writes depfiles a Windows build reads."""
    top = unzipped_top()
    result = configure_wrong_use("paths", prefix=top)
    if result.returncode != 0:
        raise Failure(f"find_package from the zip failed: {result.stderr[-1500:]}")
    found = dict(re.findall(r"^-- (\w+)=(.*)$", result.stdout, re.M))
    for key, name in (("qwpack", "qwpack.exe"), ("win32", "launcher-win32.exe"),
                      ("win64", "launcher-win64.exe")):
        if os.path.normpath(found.get(key, "")) != os.path.join(top, name):
            raise Failure(f"{key} is {found.get(key)}, not {top}/{name}")
    if found.get("version") != run([QWPACK, "--version"]).stdout.split()[1]:
        raise Failure(f"the zip's package says version {found.get('version')}")
    # qwpack.exe's depfile, as CMake reads it on Windows: slashes, and the
    # characters make and ninja read specially escaped.
    payload = os.path.join(OUT, "zip-payload")
    os.makedirs(os.path.join(payload, "a b"))
    with open(os.path.join(payload, "a b", "c#1.txt"), "w") as text:
        text.write("text\n")
    launcher, depfile = os.path.join(OUT, "zip.exe"), os.path.join(OUT, "zip.d")
    setup = os.path.join(OUT, "make", "QWSetup.exe")
    status = wine(os.path.join(top, "qwpack.exe"), "pack", "--stub", "win64", "--setup",
                  windows_path(setup), "--depfile", windows_path(depfile), "-o",
                  windows_path(launcher), windows_path(payload), log="qwpack-exe.log")
    written = read(depfile).decode("utf-8") if os.path.exists(depfile) else ""
    expected = [f"Z:{launcher}:", f"Z:{top}/launcher-win64.exe", f"Z:{payload}",
                f"Z:{payload}/a\\ b", f"Z:{setup}", f"Z:{payload}/a\\ b/c\\#1.txt"]
    if status != 0 or re.split(r" \\\n  ", written.strip()) != expected:
        raise Failure(f"qwpack.exe exited with {status} and wrote the depfile:\n{written}")


CASES = [
    example_builds_its_launchers_from_the_unpacked_package,
    documented_example_makes_a_launcher,
    launcher_runs_under_wine_to_the_setup_program,
    same_sources_give_the_same_bytes_in_another_folder,
    incremental_builds_with_make,
    incremental_builds_with_ninja,
    brand_file_is_a_dependency,
    cpack_carries_the_install_tree,
    volume_set_is_built_installed_and_cpacked,
    wrong_use_stops_at_configure_time_naming_the_argument,
    windows_zip_package_points_at_its_files,
    windows_zip_package_passes_the_method,
]


def main():
    shutil.rmtree(OUT, ignore_errors=True)
    os.makedirs(OUT)
    run(["dpkg-deb", "-x", sys.argv[1], os.path.join(OUT, "root")])
    shutil.copytree(EXAMPLE, SOURCE)
    failed = 0
    for case in CASES:
        started = time.monotonic()
        try:
            case()
            verdict = "ok"
        except (Failure, subprocess.TimeoutExpired) as problem:
            failed += 1
            verdict = f"FAILED\n  {problem}"
        except Skip as reason:
            verdict = f"skipped: {reason}"
        print(f"{case.__name__}: {verdict} ({time.monotonic() - started:.1f} s)", flush=True)
    print(f"cmake package: {f'{failed} failed' if failed else 'all passed'}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
