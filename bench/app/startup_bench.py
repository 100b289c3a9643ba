#!/usr/bin/env python3
"""Start-up time of the real program: process start to the main window's first paint, with a
4,150-game catalogue against an empty one, in the same run, offscreen and with the catalogue
server unreachable (a closed loopback port, so the day's update fails at once).

The program reports the time itself when MARLUNE_STARTUP_PROBE is set ("first-paint-ms X
vmhwm-kb Y": milliseconds since the kernel started the process, and its peak resident set), then
closes as on an external close request. Runs alternate between the two folders; the median of
each is compared. Goal: the full catalogue costs at most 1.5 times the empty start.

    startup_bench.py MARLUNE SKIN_RCC GEN_CATALOGUE [--runs N] [--games N]
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


def run_once(folder, server):
    env = dict(os.environ)
    env.update(QT_QPA_PLATFORM="offscreen", MARLUNE_STARTUP_PROBE="1", MARLUNE_SERVER=server,
               XDG_RUNTIME_DIR=os.path.join(folder, "run"))
    began = time.perf_counter()
    proc = subprocess.run([os.path.join(folder, "marlune")], cwd=folder, env=env, capture_output=True,
                          text=True, timeout=120)
    wall = (time.perf_counter() - began) * 1000
    for line in proc.stdout.splitlines():
        fields = line.split()
        if len(fields) == 4 and fields[0] == "first-paint-ms":
            return float(fields[1]), int(fields[3]), wall
    raise RuntimeError(f"no probe line from {folder} (status {proc.returncode}): {proc.stderr[-400:]}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("marlune")
    parser.add_argument("skin")
    parser.add_argument("generator")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--games", type=int, default=4150)
    args, _ = parser.parse_known_args()  # options meant for other benchmarks are ignored

    work = tempfile.mkdtemp(prefix="marlune-startup-")
    try:
        catalogue = os.path.join(work, "gamelist-full.xml")
        subprocess.run([sys.executable, args.generator, "gamelist", "--games", str(args.games), "--out", catalogue],
                       check=True)
        server = f"http://127.0.0.1:{closed_port()}/"
        results = {"empty": [], "full": []}
        for i in range(args.runs + 1):
            for name, source in (("empty", None), ("full", catalogue)):
                folder = os.path.join(work, name)
                prepare(folder, args.marlune, args.skin, source)
                sample = run_once(folder, server)
                if i > 0:  # the first round warms the file cache
                    results[name].append(sample)

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
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
