#!/usr/bin/env python3
"""qwpack.exe under wine64 beside the Linux qwpack: the packing time of one
payload with method 2, the two runs alternating, medians side by side and
their ratio. Both must write the same launcher; a difference ends the run
with status 1.

    python3 bench/qwpack_exe_pack.py [--mb 80] [--payload DIR] [--repeat 3] [--threads N]

The payload is bench/peers.py's generated one (seed 1957) unless --payload
names a folder with QWSetup.exe at its top. Needs the host and win64 builds;
runs in a Wine session of its own prefix (build/qwpack-exe-bench/), whose
wineserver is kept up so that its start is not timed.
"""
import argparse
import os
import platform
import resource
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peers  # noqa: E402

ROOT = peers.ROOT
OUT = os.path.join(ROOT, "build", "qwpack-exe-bench")
BUILT = {"qwpack": os.path.join(ROOT, "build", "host", "qwpack"),
         "qwpack.exe": os.path.join(ROOT, "build", "win64", "qwpack.exe"),
         "launcher.exe": os.path.join(ROOT, "build", "win64", "launcher.exe")}


def processor_seconds():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def timed(command, log):
    """Wall and processor seconds of one run (the processor's less moved by
    other work on shared cores; wineserver's own is not counted). Its output
    goes to a file, never a pipe that Wine's helper processes would hold open."""
    with open(log, "wb") as out:
        started, cpu = time.monotonic(), processor_seconds()
        code = subprocess.run(command, stdout=out, stderr=out, stdin=subprocess.DEVNULL).returncode
        seconds, cpu = time.monotonic() - started, processor_seconds() - cpu
    if code != 0:
        raise SystemExit(f"qwpack_exe_pack: {command[0]} exited with {code}; see {log}")
    return seconds, cpu


def payload_folder(args):
    if args.payload:
        return os.path.abspath(args.payload)
    payload = os.path.join(OUT, "payload")
    stamp = os.path.join(OUT, "payload.stamp")
    wanted = f"{peers.GENERATOR_VERSION} {args.mb} 1957\n"
    if peers.read_text(stamp) != wanted or not os.path.isdir(payload):
        peers.generate_payload(payload, int(args.mb * 1e6), max(20, round(args.mb * 25)), 1957)
        with open(stamp, "w") as out:
            out.write(wanted)
    return payload


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--mb", type=float, default=80, help="generated payload size in MB")
    parser.add_argument("--payload", help="a folder to pack instead of the generated payload")
    parser.add_argument("--repeat", type=int, default=3, help="runs of each; the median counts")
    parser.add_argument("--threads", type=int, default=os.cpu_count())
    args = parser.parse_args()
    if not peers.in_wine_session():
        env = dict(os.environ, WINEPREFIX=os.path.join(OUT, "wineprefix"))
        session = os.path.join(ROOT, "scripts", "wine-session.sh")
        os.execvpe(session, [session, sys.executable, os.path.abspath(__file__), *sys.argv[1:]],
                   env)

    # Copies: the build folders may be rebuilt while this runs.
    os.makedirs(os.path.join(OUT, "bin"), exist_ok=True)
    tools = {}
    for name, built in BUILT.items():
        tools[name] = os.path.join(OUT, "bin", name)
        shutil.copy2(built, tools[name])
    payload = payload_folder(args)
    size = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(payload) for f in fs)
    wine = os.environ["QW_WINE"]
    # A server left from the prefix's creation goes first (it would not stay).
    wineserver = peers.wineserver_of(wine)
    subprocess.run(["timeout", "30", wineserver, "-w"])
    subprocess.run([wineserver, "-p"], check=True)
    load = os.getloadavg()[0]

    common = ["pack", "--method", "lzma", "--threads", str(args.threads)]
    linux_out, windows_out = os.path.join(OUT, "Linux.exe"), os.path.join(OUT, "Windows.exe")
    runs = {"Linux qwpack": [], "qwpack.exe under wine64": []}
    for i in range(args.repeat):
        runs["Linux qwpack"].append(timed(
            [tools["qwpack"], *common, "--stub", tools["launcher.exe"], "-o", linux_out, payload],
            os.path.join(OUT, f"linux-{i}.log")))
        runs["qwpack.exe under wine64"].append(timed(
            [wine, tools["qwpack.exe"], *common, "--stub", peers.windows_path(tools["launcher.exe"]),
             "-o", peers.windows_path(windows_out), peers.windows_path(payload)],
            os.path.join(OUT, f"windows-{i}.log")))
        if not peers.same_file(linux_out, windows_out):
            raise SystemExit("qwpack_exe_pack: the two launchers differ")

    print(f"Payload: {payload}, {size / 1e6:.1f} MB; method 2 on {args.threads} threads; "
          f"{args.repeat} runs each, alternating; launcher {os.path.getsize(linux_out) / 1e6:.2f} MB, "
          "the same bytes from both.")
    print(f"Machine: {os.cpu_count()} cores, Linux {platform.release()}; load average {load:.2f} "
          "at the start.\n")
    print("| | median wall s | fastest–slowest s | MB/s | × Linux | median processor s | × Linux |\n"
          "|---|---:|---:|---:|---:|---:|---:|")
    linux = [statistics.median(m) for m in zip(*runs["Linux qwpack"])]
    for name, measured in runs.items():
        walls, cpus = zip(*measured)
        wall, cpu = statistics.median(walls), statistics.median(cpus)
        print(f"| {name} | {wall:.2f} | {min(walls):.2f}–{max(walls):.2f} | "
              f"{size / 1e6 / wall:.1f} | {wall / linux[0]:.2f}× | {cpu:.1f} | "
              f"{cpu / linux[1]:.2f}× |")
    subprocess.run([wineserver, "-k"])
    return 0


if __name__ == "__main__":
    sys.exit(main())
