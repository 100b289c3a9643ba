#!/usr/bin/env python3
"""Start-up time of the real program: process start to the main window's first paint, offscreen
and with the catalogue server unreachable (a closed loopback port, so the day's update fails at
once), in the same run:
  - a portable copy with a 4,150-game catalogue against one with an empty catalogue;
    goal: the full catalogue costs at most 1.5 times the empty start;
  - the installed program (bin/marlune, its skin in the installation's share/marlune, the
    4,150-game catalogue in the user's data folder) against a bare Qt window of the main window's
    size; goal: at most 2 times the bare window's time and 2 times its peak memory.

The program reports itself when MARLUNE_STARTUP_PROBE is set ("first-paint-ms X vmhwm-kb Y at-ms
Z": milliseconds since the kernel started the process, its peak resident set, and CLOCK_BOOTTIME
at the paint), then closes as on an external close request; the bare window prints the same line.
The time counted is Z less the same clock read just before the start (the kernel's start time has
10 ms steps, too coarse for a bare window). Runs alternate
between all four; the median time and the largest peak of each are compared.

    startup_bench.py MARLUNE SKIN_RCC GEN_CATALOGUE [--bare BARE_WINDOW --bundle-from-bin PATH]
                     [--runs N] [--games N]
"""
import argparse
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time


def closed_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def prepare(folder, marlune, skin, catalogue):
    if os.path.isdir(folder):
        shutil.rmtree(folder)
    os.makedirs(os.path.join(folder, "run"), mode=0o700)
    shutil.copy2(marlune, folder)
    shutil.copy2(skin, folder)
    if catalogue:
        shutil.copy2(catalogue, os.path.join(folder, "gamelist.xml"))


def prepare_installed(folder, marlune, skin, catalogue, bundle_from_bin):
    """An installation under folder/usr and a user whose data folder holds the catalogue."""
    if os.path.isdir(folder):
        shutil.rmtree(folder)
    os.makedirs(os.path.join(folder, "run"), mode=0o700)
    bindir = os.path.join(folder, "usr", "bin")
    bundle = os.path.normpath(os.path.join(bindir, bundle_from_bin))
    os.makedirs(bindir)
    os.makedirs(bundle)
    shutil.copy2(marlune, bindir)
    shutil.copy2(skin, bundle)
    data = os.path.join(folder, "data", "marlune")
    os.makedirs(data)
    shutil.copy2(catalogue, os.path.join(data, "gamelist.xml"))
    return os.path.join(bindir, "marlune")


def run_once(folder, server, program=None):
    env = dict(os.environ)
    env.update(QT_QPA_PLATFORM="offscreen", MARLUNE_STARTUP_PROBE="1", MARLUNE_SERVER=server,
               XDG_RUNTIME_DIR=os.path.join(folder, "run"), XDG_DATA_HOME=os.path.join(folder, "data"))
    began = time.perf_counter()
    spawned = time.clock_gettime(time.CLOCK_BOOTTIME) * 1000
    proc = subprocess.run([program or os.path.join(folder, "marlune")], cwd=folder, env=env, capture_output=True,
                          text=True, timeout=120)
    wall = (time.perf_counter() - began) * 1000
    for line in proc.stdout.splitlines():
        fields = line.split()
        if len(fields) >= 4 and fields[0] == "first-paint-ms":
            # From the moment before the start to the paint (the kernel's start time has 10 ms steps).
            paint = float(fields[5]) - spawned if len(fields) >= 6 and fields[4] == "at-ms" else float(fields[1])
            return paint, int(fields[3]), wall
    raise RuntimeError(f"no probe line from {folder} (status {proc.returncode}): {proc.stderr[-400:]}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("marlune")
    parser.add_argument("skin")
    parser.add_argument("generator")
    parser.add_argument("--bare", help="the bare window peer; without it only the portable pair runs")
    parser.add_argument("--bundle-from-bin", default="../share/marlune")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--games", type=int, default=4150)
    args, _ = parser.parse_known_args()  # options meant for other benchmarks are ignored

    work = tempfile.mkdtemp(prefix="marlune-startup-")
    try:
        catalogue = os.path.join(work, "gamelist-full.xml")
        subprocess.run([sys.executable, args.generator, "gamelist", "--games", str(args.games), "--out", catalogue],
                       check=True)
        server = f"http://127.0.0.1:{closed_port()}/"
        results = {"empty": [], "full": [], "installed": [], "bare": []}
        for i in range(args.runs + 1):
            for name, source in (("empty", None), ("full", catalogue)):
                folder = os.path.join(work, name)
                prepare(folder, args.marlune, args.skin, source)
                sample = run_once(folder, server)
                if i > 0:  # the first round warms the file cache
                    results[name].append(sample)
            if args.bare:
                folder = os.path.join(work, "installed")
                program = prepare_installed(folder, args.marlune, args.skin, catalogue, args.bundle_from_bin)
                sample = run_once(folder, server, program)
                if not os.path.isfile(os.path.join(folder, "data", "marlune", "installdate")):
                    raise RuntimeError("the installed copy did not use its data folder")
                if i > 0:
                    results["installed"].append(sample)
                folder = os.path.join(work, "bare")
                prepare(folder, args.bare, args.skin, None)
                sample = run_once(folder, server, os.path.join(folder, os.path.basename(args.bare)))
                if i > 0:
                    results["bare"].append(sample)

        def summary(name):
            paint = statistics.median(s[0] for s in results[name])
            peak = max(s[1] for s in results[name])
            wall = statistics.median(s[2] for s in results[name])
            return paint, peak, wall

        empty, full = summary("empty"), summary("full")
        ratio = full[0] / empty[0]
        print(f"start-up to first paint, median of {args.runs} runs each (offscreen, server unreachable)")
        print(f"  empty catalogue      {empty[0]:8.1f} ms   VmHWM {empty[1] / 1024:6.1f} MiB   (whole run {empty[2]:.0f} ms)")
        print(f"  {args.games} games           {full[0]:8.1f} ms   VmHWM {full[1] / 1024:6.1f} MiB   (whole run {full[2]:.0f} ms)")
        print(f"  ratio                {ratio:8.2f}      goal <= 1.50: {'met' if ratio <= 1.5 else 'NOT met'}")
        if args.bare:
            installed, bare = summary("installed"), summary("bare")
            time_ratio = installed[0] / bare[0]
            memory_ratio = installed[1] / bare[1]
            print(f"installed program with {args.games} games against a bare Qt window of 970 x 630, same runs")
            print(f"  bare window          {bare[0]:8.1f} ms   VmHWM {bare[1] / 1024:6.1f} MiB")
            print(f"  installed program    {installed[0]:8.1f} ms   VmHWM {installed[1] / 1024:6.1f} MiB   "
                  f"(whole run {installed[2]:.0f} ms)")
            print(f"  time ratio           {time_ratio:8.2f}      goal <= 2.00: {'met' if time_ratio <= 2 else 'NOT met'}")
            print(f"  memory ratio         {memory_ratio:8.2f}      goal <= 2.00: "
                  f"{'met' if memory_ratio <= 2 else 'NOT met'}")
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
