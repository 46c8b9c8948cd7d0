#!/usr/bin/env python3
"""Volume sets at scale: a generated payload of several GB packed with
method 2 into volumes, then unpacked by qwpack extract and by the launcher
under wine64; beside it the same package as one program file. Not a test:
it prints figures.

    python3 bench/volume_bench.py [--gb 3.2] [--method lzma|lz] [--volume-size 512M]
                                  [--repeat 3] [--keep] [--without-wine] [--out DIR]

Steps: generate the payload (bench/peers.py's generator, kept in
build/volume-bench/payload between runs), `qwpack pack --method lzma
(or lz) --volume-size` once, the same package assembled into one program
file from the volumes (each entry's offsets moved from its volume to the
package, the very bytes `pack` without --volume-size writes; --check-assembly
packs the payload that way too and compares), then, --repeat times in turn:
`qwpack extract` of the set and of the single program file, and the
launcher under wine64 with `/quiet /extract=DIR` on the set and on the
single program file. Times are wall-clock, memory the peak resident set
(/usr/bin/time -v; under Wine that of the launcher's process, Wine's loader
and DLLs in it); the first extraction of each kind is checked against the
payload's checksums.

A packed set is reused by the next run when the payload, the packing options,
qwpack and the launcher are the same (build/volume-bench/set.json records
them, with the pack's time and memory): packing 3 GB with method 2 takes the
better part of an hour on 2 cores. One program file must stay below 2 GiB for
the launcher to open it; where the assembled file would not, the single-file
rows come from a smaller payload of the same generator, packed on its own,
and the output says so.

Wine runs inside scripts/wine-session.sh with a prefix of its own
(build/volume-bench/wineprefix) and one wineserver kept running for every
run, as bench/peers.py does. Figures go to stdout and
build/volume-bench/results.md.
"""
import argparse
import datetime
import hashlib
import json
import os
import shutil
import statistics
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peers  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
OUT = os.path.join(ROOT, "build", "volume-bench")
QWPACK = os.path.join(ROOT, "build", "host", "qwpack")
STUB = os.path.join(ROOT, "build", "win64", "launcher.exe")
PREFIX = os.path.join(OUT, "wineprefix")
GB = 10 ** 9
MIB = 1024 * 1024
SEED = 23
# A program file the launcher opens: below 2 GiB (common/container.h).
PROGRAM_LIMIT = 2 ** 31 - 1
# peers.py's temporary output files (output_of) go to our folder.
peers.OUT = OUT


def timed(command, log):
    """(seconds, peak resident KiB, exit code) of one run; its output goes to `log`."""
    os.sync()
    with open(log, "w") as out:
        started = time.monotonic()
        result = subprocess.run(["/usr/bin/time", "-v", *command], stdin=subprocess.DEVNULL,
                                stdout=out, stderr=subprocess.STDOUT)
        seconds = time.monotonic() - started
    text = open(log, errors="replace").read()
    peak = int(text.split("Maximum resident set size (kbytes):")[1].split()[0]) \
        if "Maximum resident set size" in text else 0
    return seconds, peak, result.returncode


def checked(command, log):
    seconds, peak, code = timed(command, log)
    if code != 0:
        tail = open(log, errors="replace").read().splitlines()[-25:]
        sys.exit(f"{' '.join(command)} failed ({code}) after {seconds:.0f} s; see {log}:\n"
                 + "\n".join(tail))
    return seconds, peak


def file_sha256(path):
    return peers.file_digest(path) if os.path.exists(path) else None


def listing_digest(listing):
    digest = hashlib.sha256()
    for relative in sorted(listing):
        digest.update(f"{listing[relative][1]} {listing[relative][0]} {relative}\n".encode())
    return digest.hexdigest()


def read_json(path):
    try:
        with open(path, encoding="utf-8") as source:
            return json.load(source)
    except (OSError, ValueError):
        return None


def write_json(path, value):
    with open(path, "w", encoding="utf-8") as out:
        json.dump(value, out, indent=1)
        out.write("\n")


def payload_of(directory, marker, gb, files):
    """The generated payload in `directory`, made again only when `marker` names other
    parameters; (checksum list, bytes)."""
    wanted = {"generator": peers.GENERATOR_VERSION, "gb": gb, "files": files, "seed": SEED}
    if read_json(marker) != wanted or not os.path.isdir(directory):
        if os.path.exists(marker):
            os.remove(marker)
        started = time.monotonic()
        print(f"generating {gb} GB in {files} files into {directory}", flush=True)
        peers.generate_payload(directory, int(gb * GB), files, SEED)
        write_json(marker, wanted)
        print(f"payload generated in {time.monotonic() - started:.0f} s", flush=True)
    listing = peers.checksum_list(directory)
    return listing, sum(size for size, _ in listing.values())


def packed(folder, marker, command, payload_listing, options):
    """Runs the pack `command` into `folder` unless `marker` says that the same payload was
    packed there with the same options, qwpack and launcher; the marker's record."""
    wanted = {"options": options, "payload": listing_digest(payload_listing),
              "qwpack": file_sha256(QWPACK), "launcher": file_sha256(STUB)}
    record = read_json(marker)
    if record and all(record.get(key) == value for key, value in wanted.items()) \
            and os.path.isdir(folder):
        print(f"reusing {folder}, packed {record['date']} in {record['seconds']:.0f} s "
              f"({marker})", flush=True)
        record["reused"] = True
        return record
    if os.path.exists(marker):
        os.remove(marker)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    load = os.getloadavg()[0]
    print(f"packing: {' '.join(command)}", flush=True)
    log = os.path.join(OUT, "logs", os.path.basename(marker) + ".pack.log")
    seconds, peak = checked(command, log)
    record = dict(wanted, seconds=seconds, peak_kib=peak, load_start=load,
                  load_end=os.getloadavg()[0],
                  date=datetime.datetime.now().isoformat(timespec="minutes"))
    write_json(marker, record)
    print(f"packed in {seconds:.0f} s, peak {peak / 1024:.0f} MiB", flush=True)
    record["reused"] = False
    return record


def assembled_size(program):
    """The size of the set's package as one program file, from the set's record."""
    data = open(program, "rb").read()
    stub_size, _ = struct.unpack_from("<II", data, 128)
    stem = program[:-4]
    volumes = struct.unpack_from("<I", data, stub_size + 4 + 224 + 8)[0]
    return stub_size + 4 + sum(os.path.getsize(f"{stem}-{n}.qwv") - 4
                               for n in range(1, volumes + 1))


def assemble_single(program, output):
    """The set's package as one program file: fileCount, then every volume's
    entries with their offsets counted from the package's start."""
    data = open(program, "rb").read()
    stub_size, _ = struct.unpack_from("<II", data, 128)
    stem = program[:-4]
    count = struct.unpack_from("<I", data, stub_size + 4 + 224 + 4)[0]
    body = bytearray()
    for number in range(1, struct.unpack_from("<I", data, stub_size + 4 + 224 + 8)[0] + 1):
        volume = open(f"{stem}-{number}.qwv", "rb").read()
        moved = len(body)  # the volume's offset 4 is the package's 4 + moved
        at = 4
        while at < len(volume):
            header = bytearray(volume[at:at + 224])
            start, end = struct.unpack_from("<II", header, 216)
            struct.pack_into("<II", header, 216, start + moved, end + moved)
            body += header + volume[at + 224:end]
            at = end
    stub = bytearray(data[:stub_size])
    struct.pack_into("<II", stub, 128, stub_size, 4 + len(body))
    with open(output, "wb") as out:
        out.write(stub + struct.pack("<I", count) + body)


def check_tree(expected, directory, label):
    try:
        peers.compare_trees(expected, directory, label)
    except peers.Mismatch as failure:
        sys.exit(f"FAILED (the files are kept)\n{failure}")


def main():
    global OUT, PREFIX
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--gb", type=float, default=3.2)
    parser.add_argument("--files", type=int, default=3000)
    parser.add_argument("--method", default="lzma", choices=("lzma", "lz"))
    parser.add_argument("--volume-size", default="512M")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--keep", action="store_true", help="keep the extracted files")
    parser.add_argument("--check-assembly", action="store_true",
                        help="also pack without --volume-size and compare with the assembled file")
    parser.add_argument("--without-wine", action="store_true",
                        help="only the qwpack extract rows")
    parser.add_argument("--out", default=OUT,
                        help="the work folder: payload, set, prefix, logs (default %(default)s)")
    args = parser.parse_args()
    OUT = peers.OUT = os.path.abspath(args.out)
    PREFIX = os.path.join(OUT, "wineprefix")

    if not args.without_wine and not peers.in_wine_session():
        # Everything runs inside one Wine session of our own prefix.
        os.makedirs(OUT, exist_ok=True)
        env = dict(os.environ, WINEPREFIX=PREFIX, WINEDEBUG="-all")
        session = os.path.join(ROOT, "scripts", "wine-session.sh")
        os.execvpe(session, [session, sys.executable, os.path.abspath(__file__), *sys.argv[1:]],
                   env)

    for built in (QWPACK, STUB, peers.SETUP):
        if not os.path.exists(built):
            sys.exit(f"{built} is missing; build the host and win64 presets")
    load_start = os.getloadavg()
    started_at = datetime.datetime.now()
    os.makedirs(os.path.join(OUT, "logs"), exist_ok=True)

    payload = os.path.join(OUT, "payload")
    expected, input_bytes = payload_of(payload, os.path.join(OUT, "payload.json"), args.gb,
                                       args.files)
    options = {"method": args.method, "volume_size": args.volume_size}
    program = os.path.join(OUT, "set", "Large.exe")
    pack = packed(os.path.join(OUT, "set"), os.path.join(OUT, "set.json"),
                  [QWPACK, "pack", "--method", args.method, "--stub", STUB,
                   "--volume-size", args.volume_size, "-o", program, payload],
                  expected, options)
    volumes = sorted((name for name in os.listdir(os.path.join(OUT, "set"))
                      if name.endswith(".qwv")), key=lambda name: int(name[6:-4]))
    volume_sizes = [os.path.getsize(os.path.join(OUT, "set", name)) for name in volumes]
    set_bytes = sum(volume_sizes)

    # One program file: the set's package assembled, or a smaller payload packed on its own.
    single = os.path.join(OUT, "single", "Large.exe")
    single_size = assembled_size(program)
    single_pack = None
    single_expected, single_input = expected, input_bytes
    if single_size <= PROGRAM_LIMIT:
        shutil.rmtree(os.path.join(OUT, "single"), ignore_errors=True)
        os.makedirs(os.path.join(OUT, "single"))
        assemble_single(program, single)
        if os.path.exists(os.path.join(OUT, "single.json")):
            os.remove(os.path.join(OUT, "single.json"))
        single_note = "the set's package assembled into one program file"
        if args.check_assembly:
            check = os.path.join(OUT, "single", "Packed.exe")
            checked([QWPACK, "pack", "--method", args.method, "--stub", STUB, "-o", check, payload],
                    os.path.join(OUT, "logs", "pack-single.log"))
            if open(check, "rb").read() != open(single, "rb").read():
                sys.exit("the assembled program file is not what pack writes")
            os.remove(check)
            print("assembled program file == pack without --volume-size", flush=True)
    else:
        # The same generator, fewer bytes and files in proportion, to 90 % of the limit.
        share = 0.9 * PROGRAM_LIMIT / single_size
        small_gb = round(args.gb * share, 2)
        small_files = round(args.files * small_gb / args.gb)
        print(f"one program file of this set would be {single_size:,} bytes, 2 GiB or more: "
              f"the single-file rows use {small_gb} GB in {small_files} files", flush=True)
        small_payload = os.path.join(OUT, "payload-single")
        single_expected, single_input = payload_of(
            small_payload, os.path.join(OUT, "payload-single.json"), small_gb, small_files)
        single_pack = packed(os.path.join(OUT, "single"), os.path.join(OUT, "single.json"),
                             [QWPACK, "pack", "--method", args.method, "--stub", STUB, "-o",
                              single, small_payload],
                             single_expected, {"method": args.method})
        if any(name.endswith(".qwv") for name in os.listdir(os.path.join(OUT, "single"))):
            sys.exit("the smaller payload did not fit one program file either")
        single_note = (f"a smaller payload of the same generator ({single_input:,} bytes in "
                       f"{len(single_expected)} files), packed without --volume-size: the "
                       f"set's package would be {single_size:,} bytes as one program file")
    single_bytes = os.path.getsize(single)

    kinds = {"set": (program, expected, input_bytes),
             "single": (single, single_expected, single_input)}
    tools = ["qwpack"] if args.without_wine else ["qwpack", "launcher"]
    runs = {(tool, kind): [] for tool in tools for kind in kinds}
    extracted = os.path.join(OUT, "extracted")
    os.makedirs(extracted, exist_ok=True)
    wine = os.environ.get("QW_WINE")
    wineserver = peers.wineserver_of(wine) if wine else None
    if wine:
        # One wineserver, kept running, for every Wine run; Wine's services started once
        # beforehand, so that no timed run pays for either.
        subprocess.run(["timeout", "30", wineserver, "-w"])
        subprocess.run([wineserver, "-p"], check=True)
        peers.output_of([wine, "cmd", "/c", "ver"])
    try:
        for round_ in range(args.repeat):
            for tool in tools:
                for kind, (launcher, wanted, _) in kinds.items():
                    target = os.path.join(extracted, f"{tool}-{kind}")
                    shutil.rmtree(target, ignore_errors=True)
                    log = os.path.join(OUT, "logs", f"{tool}-{kind}-{round_ + 1}.log")
                    if tool == "qwpack":
                        command = [QWPACK, "extract", launcher, "-C", target]
                    else:
                        run_log = os.path.join(OUT, "logs", f"{tool}-{kind}-{round_ + 1}.run.log")
                        if os.path.exists(run_log):
                            os.remove(run_log)
                        command = [wine, launcher, "/quiet",
                                   f"/extract={peers.windows_path(target)}",
                                   f"/log={peers.windows_path(run_log)}"]
                    seconds, peak = checked(command, log)
                    runs[tool, kind].append((seconds, peak))
                    print(f"{tool} {kind} #{round_ + 1}: {seconds:.1f} s, "
                          f"{peak / 1024:.0f} MiB", flush=True)
                    if round_ == 0:
                        check_tree(wanted, target, f"{tool}, {kind}")
                        print(f"{tool} {kind}: every file as in the payload", flush=True)
                    if not args.keep or round_ + 1 < args.repeat:
                        shutil.rmtree(target, ignore_errors=True)
    finally:
        if wine:
            subprocess.run([wineserver, "-k"])
    load_end = os.getloadavg()

    def gb(size):
        return size / GB

    def median(tool, kind):
        return statistics.median(run[0] for run in runs[tool, kind])

    def row(label, tool, kind):
        times = [run[0] for run in runs[tool, kind]]
        seconds = statistics.median(times)
        peak = max(run[1] for run in runs[tool, kind])
        return (f"| {label} | {gb(kinds[kind][2]):.2f} GB | {len(times)}, median | "
                f"{seconds:.1f} s | {min(times):.1f}–{max(times):.1f} s | "
                f"{seconds / gb(kinds[kind][2]):.2f} s | {peak / 1024:.0f} MiB |")

    def pack_row(label, record, size):
        reused = f", from {record['date']}" if record.get("reused") else ""
        return (f"| {label} | {gb(size):.2f} GB | 1{reused} | {record['seconds']:.0f} s | — | "
                f"{record['seconds'] / gb(size):.1f} s | {record['peak_kib'] / 1024:.0f} MiB |")

    command = "python3 bench/volume_bench.py " + " ".join(sys.argv[1:])
    lines = [
        f"{started_at.date().isoformat()}, `{command}`; load average "
        f"{load_start[0]:.2f} / {load_start[1]:.2f} / {load_start[2]:.2f} (1, 5, 15 min) at the "
        f"start of the measurement, {load_end[0]:.2f} / {load_end[1]:.2f} / {load_end[2]:.2f} "
        f"at its end; {os.cpu_count()} cores.",
        f"payload: {input_bytes:,} bytes in {len(expected)} files; --method {args.method}, "
        f"--volume-size {args.volume_size}: {len(volumes)} volume(s), {set_bytes:,} bytes "
        f"({100 * set_bytes / input_bytes:.1f} %): "
        + ", ".join(f"{size:,}" for size in volume_sizes) + "; program file "
        f"{os.path.getsize(program):,} bytes.",
        f"one program file: {single_bytes:,} bytes, {single_note}.",
        f"pack: load average {pack['load_start']:.2f} at its start, {pack['load_end']:.2f} at "
        f"its end" + (f" (packed by an earlier run, {pack['date']})" if pack.get("reused") else "")
        + ".",
        "",
        "| step | payload | runs | time | range | per GB of payload | peak memory |",
        "|---|---:|---:|---:|---:|---:|---:|",
        pack_row(f"pack into {len(volumes)} volume{'s' if len(volumes) != 1 else ''}", pack,
                 input_bytes),
    ]
    if single_pack:
        lines.append(pack_row("pack the smaller payload into one program file", single_pack,
                              single_input))
    for tool in tools:
        for kind, what in (("set", "the set"), ("single", "one program file")):
            label = (f"qwpack extract, {what}" if tool == "qwpack"
                     else f"launcher under wine64, {what}")
            lines.append(row(label, tool, kind))
    lines.append("")
    for tool in tools:
        per_gb = {kind: median(tool, kind) / gb(kinds[kind][2]) for kind in kinds}
        lines.append(f"{tool}: the set ÷ one program file, per GB of payload, medians of this "
                     f"run: {per_gb['set'] / per_gb['single']:.2f}×")
    if not args.without_wine:
        lines.append("The launcher's peak memory is that of its process under wine64: Wine's "
                     "loader and DLLs are included, the wineserver and Wine's service processes "
                     "are not. Each launcher run writes its log (/log=FILE) beside the timing.")
    text = "\n".join(lines)
    print(text)
    with open(os.path.join(OUT, "results.md"), "w", encoding="utf-8") as out:
        out.write(text + "\n")


if __name__ == "__main__":
    main()
