#!/usr/bin/env python3
"""Volume sets at scale: a generated payload of several GB packed with
method 2 into volumes, then extracted; beside it the same package as one
program file. Not a test: it prints figures.

    python3 bench/volume_bench.py [--gb 3.2] [--method lzma|lz] [--volume-size 512M] [--repeat 3] [--keep]

Steps: generate the payload (bench/peers.py's generator, kept in
build/volume-bench/payload between runs), `qwpack pack --method lzma
(or lz) --volume-size` once, the same package assembled into one program file from
the volumes (each entry's offsets moved from its volume to the package, the
very bytes `pack` without --volume-size writes; --check-assembly packs the
payload that way too and compares), then `qwpack extract` of the set and of
the single program file, each --repeat times, alternating. Times are
wall-clock, memory the peak resident set (/usr/bin/time -v); the first
extraction of each is checked against the payload's checksums. Figures go to
stdout and build/volume-bench/results.md.
"""
import argparse
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
GB = 10 ** 9


def timed(command, log):
    """(seconds, peak resident KiB) of one run; its output goes to `log`."""
    with open(log, "w") as out:
        started = time.monotonic()
        result = subprocess.run(["/usr/bin/time", "-v", *command], stdout=out, stderr=subprocess.STDOUT)
        seconds = time.monotonic() - started
    text = open(log).read()
    if result.returncode != 0:
        sys.exit(f"{' '.join(command)} failed; see {log}")
    peak = int(text.split("Maximum resident set size (kbytes):")[1].split()[0])
    return seconds, peak


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


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--gb", type=float, default=3.2)
    parser.add_argument("--files", type=int, default=3000)
    parser.add_argument("--method", default="lzma", choices=("lzma", "lz"))
    parser.add_argument("--volume-size", default="512M")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--keep", action="store_true", help="keep the packed files and workspaces")
    parser.add_argument("--check-assembly", action="store_true",
                        help="also pack without --volume-size and compare with the assembled file")
    args = parser.parse_args()

    payload = os.path.join(OUT, "payload")
    marker = os.path.join(OUT, f"payload-{args.gb}-{args.files}.done")
    if not os.path.exists(marker):
        shutil.rmtree(OUT, ignore_errors=True)
        os.makedirs(OUT)
        started = time.monotonic()
        peers.generate_payload(payload, int(args.gb * GB), args.files, 23)
        open(marker, "w").close()
        print(f"payload generated in {time.monotonic() - started:.0f} s", flush=True)
    input_bytes = sum(os.path.getsize(os.path.join(base, name))
                      for base, _, names in os.walk(payload) for name in names)
    expected = peers.checksum_list(payload)

    for folder in ("set", "single", "workspace"):
        shutil.rmtree(os.path.join(OUT, folder), ignore_errors=True)
        os.makedirs(os.path.join(OUT, folder))
    program = os.path.join(OUT, "set", "Large.exe")
    pack_seconds, pack_peak = timed([QWPACK, "pack", "--method", args.method, "--stub", STUB,
                                     "--volume-size", args.volume_size, "-o", program, payload],
                                    os.path.join(OUT, "pack.log"))
    volumes = sorted(name for name in os.listdir(os.path.join(OUT, "set")) if name.endswith(".qwv"))
    set_bytes = sum(os.path.getsize(os.path.join(OUT, "set", name)) for name in volumes)
    single = os.path.join(OUT, "single", "Large.exe")
    assemble_single(program, single)
    if args.check_assembly:
        packed = os.path.join(OUT, "single", "Packed.exe")
        timed([QWPACK, "pack", "--method", args.method, "--stub", STUB, "-o", packed, payload],
              os.path.join(OUT, "pack-single.log"))
        if open(packed, "rb").read() != open(single, "rb").read():
            sys.exit("the assembled program file is not what pack writes")
        os.remove(packed)
        print("assembled program file == pack without --volume-size", flush=True)

    runs = {"set": [], "single": []}
    for round_ in range(args.repeat):
        for kind, launcher in (("set", program), ("single", single)):
            workspace = os.path.join(OUT, "workspace", kind)
            shutil.rmtree(workspace, ignore_errors=True)
            subprocess.run(["sync"])
            runs[kind].append(timed([QWPACK, "extract", launcher, "-C", workspace],
                                    os.path.join(OUT, f"extract-{kind}-{round_}.log")))
            if round_ == 0 and peers.checksum_list(workspace) != expected:
                sys.exit(f"the {kind} extraction differs from the payload")
            print(f"extract {kind} #{round_ + 1}: {runs[kind][-1][0]:.1f} s", flush=True)

    gb_in = input_bytes / GB
    lines = [
        f"payload: {input_bytes:,} bytes in {len(expected)} files; --method {args.method}, "
        f"--volume-size {args.volume_size}: {len(volumes)} volumes, {set_bytes:,} bytes "
        f"({100 * set_bytes / input_bytes:.1f} %)",
        "",
        "| step | runs | time | per GB of payload | peak memory |",
        "|---|---:|---:|---:|---:|",
        f"| pack into volumes | 1 | {pack_seconds:.0f} s | {pack_seconds / gb_in:.1f} s | "
        f"{pack_peak / 1024:.0f} MiB |",
    ]
    for kind, label in (("set", "extract the set"), ("single", "extract one program file")):
        seconds = statistics.median(run[0] for run in runs[kind])
        peak = max(run[1] for run in runs[kind])
        lines.append(f"| {label} | {len(runs[kind])}, median | {seconds:.1f} s | "
                     f"{seconds / gb_in:.1f} s | {peak / 1024:.0f} MiB |")
    text = "\n".join(lines)
    print(text)
    with open(os.path.join(OUT, "results.md"), "w") as out:
        out.write(text + "\n")
    if not args.keep:
        for folder in ("set", "single", "workspace"):
            shutil.rmtree(os.path.join(OUT, folder), ignore_errors=True)


if __name__ == "__main__":
    main()
