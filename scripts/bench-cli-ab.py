#!/usr/bin/env python3
"""Compares builds of sondralis-cli as whole processes on one GPX file.

    scripts/bench-cli-ab.py FILE.gpx ROUNDS CLI [CLI...]

Runs `info FILE` and `convert FILE -o OUT` in alternating runs: each round
runs every build once per command, in turn, so that a drift of the machine's
speed hits all of them alike. Reports per command and build the median and
range of the wall time and of the CPU time (user + system, from the
process's own accounting, in microseconds), the median peak resident
memory, and the ratio of each median to the first build's. A CLI is a path
to sondralis-cli or any command that runs one (a script that sets
environment variables first, say). Standard library only.
"""
import os
import shlex
import statistics
import subprocess
import sys
import tempfile
import time


def run(command):
    start = time.perf_counter()
    with subprocess.Popen(command, stdout=subprocess.DEVNULL) as process:
        _, status, usage = os.wait4(process.pid, 0)
        process.returncode = os.waitstatus_to_exitcode(status)
    wall = time.perf_counter() - start
    if process.returncode != 0:
        sys.exit(f"{shlex.join(command)} failed with status {process.returncode}")
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024


def main(argv):
    if len(argv) < 4:
        sys.exit(__doc__.split("\n\n")[1])
    source, rounds, clis = argv[1], int(argv[2]), argv[3:]
    results = {(c, i): [] for c in ("info", "convert") for i in range(len(clis))}
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "out.gpx")
        for _ in range(rounds):
            for command, args in (("info", ["info", source]), ("convert", ["convert", source, "-o", out])):
                for i, cli in enumerate(clis):
                    results[command, i].append(run(shlex.split(cli) + args))
    print(f"{'command':8} {'cli':>3} {'wall_s':>7} {'range':>13} {'ratio':>6} {'cpu_s':>7} {'range':>13} "
          f"{'ratio':>6} {'peak_MB':>8}")
    for command in ("info", "convert"):
        base = [statistics.median(r[k] for r in results[command, 0]) for k in (0, 1)]
        for i, cli in enumerate(clis):
            runs = results[command, i]
            line = f"{command:8} {i:>3}"
            for k in (0, 1):
                values = [r[k] for r in runs]
                m = statistics.median(values)
                line += f" {m:7.3f} {min(values):6.3f}-{max(values):6.3f} {m / base[k]:6.3f}"
            line += f" {statistics.median(r[2] for r in runs):8.1f}  {cli}"
            print(line)


if __name__ == "__main__":
    main(sys.argv)
