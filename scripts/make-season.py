#!/usr/bin/env python3
"""Makes a season of 10 Hz echo-sounder logging for the benchmarks: the
surveys of ten synthetic lakes (scripts/make-lake.py with seeds 1 to N) as
the tracks of one GPX file, about 1.4 million points and 220 MB for N = 10.

    scripts/make-season.py OUT.gpx [--lakes N] [--rate HZ]

Also writes a crafted file of nothing but empty tracks with --empty-tracks MB
(OUT.gpx then holds that many megabytes of <trk/> elements). Standard
library only; the output depends only on the arguments.
"""
import argparse
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def season(out, lakes, rate):
    with tempfile.TemporaryDirectory() as tmp, open(out, "w", encoding="utf-8", newline="\n") as dst:
        header_written = False
        for seed in range(1, lakes + 1):
            subprocess.run([sys.executable, os.path.join(HERE, "make-lake.py"), tmp, "--rate", str(rate),
                            "--seed", str(seed), "--prefix", f"lake{seed}"], check=True, stdout=subprocess.DEVNULL)
            with open(os.path.join(tmp, f"lake{seed}_survey.gpx"), encoding="utf-8") as src:
                text = src.read()
            start = text.index("<trk>")
            end = text.rindex("</gpx>")
            if not header_written:
                dst.write(text[:start])
                header_written = True
            dst.write(text[start:end])
        dst.write("</gpx>\n")


def empty_tracks(out, megabytes):
    line = "<trk/>\n"
    count = megabytes * 1024 * 1024 // len(line)
    with open(out, "w", encoding="utf-8", newline="\n") as dst:
        dst.write('<?xml version="1.0" encoding="UTF-8"?>\n<gpx version="1.1" creator="crafted">\n')
        chunk = line * 10000
        for _ in range(count // 10000):
            dst.write(chunk)
        dst.write(line * (count % 10000))
        dst.write("</gpx>\n")


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("out")
    ap.add_argument("--lakes", type=int, default=10, help="number of lakes (default 10)")
    ap.add_argument("--rate", type=float, default=10.0, help="readings per second (default 10)")
    ap.add_argument("--empty-tracks", type=int, metavar="MB", help="write MB megabytes of empty tracks instead")
    a = ap.parse_args(argv)
    if a.empty_tracks:
        empty_tracks(a.out, a.empty_tracks)
    else:
        season(a.out, a.lakes, a.rate)
    print(f"{a.out}: {os.path.getsize(a.out)} bytes")


if __name__ == "__main__":
    main(sys.argv[1:])
