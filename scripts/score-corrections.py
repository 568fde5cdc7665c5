#!/usr/bin/env python3
"""Scores the corrections of the readings by the map they make.

    scripts/score-corrections.py [--seeds 1,2,3] [--session-order 2,3,4,1]
                                 [--rate HZ] [--work DIR] [--build DIR]

For each seed, scripts/make-lake.py makes the oblique survey of the
generated lake as four sessions on days of their own, each in a file of its
own, with water levels of 0, +30, -45 and +12 cm, 1 % of the readings made
spikes, a transducer 40 cm below the surface and water 150 cm deep at the
shoreline; and beside it the same survey without offsets, spikes and
transducer depth (--clean). `sondralis-cli map` maps

  clean      the clean survey, told the shoreline's depth;
  corrected  the four sessions with every correction on (--despike
             --transducer 40 --level auto --shore-depth 150);
  raw        the four sessions as recorded, without any correction;

and the script prints the RMS error in cm of each against the true bottom
over the water cells all three maps cover, as scripts/score-lake.py scores
(the true depth at the cell centres of depth.asc), and the ratio
corrected / clean. Standard library only.
"""
import argparse
import importlib.util
import math
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
LEVELS = "0,30,-45,12"
TRANSDUCER = 40
SHORE_DEPTH = 150


def load_make_lake():
    spec = importlib.util.spec_from_file_location("make_lake", os.path.join(HERE, "make-lake.py"))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def run(cmd):
    return subprocess.run(cmd, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def grid_values(ml, path):
    header, rows = ml.read_ascii_grid(path)
    nodata = header.get("nodata_value", -9999.0)
    return header, [[None if v == nodata else v for v in row] for row in rows]


def true_grid(ml, header, seed):
    """The true depth at the cell centres, as the shoreline-depth lake has it;
    None on land."""
    lake = ml.ShoreDepthLake(ml.true_lake(seed), SHORE_DEPTH)
    lons, lats = ml.grid_nodes(header)
    out = []
    for lat in lats:
        n = (lat - ml.LAT0) * ml.M_PER_DEG_LAT
        row = []
        for lon in lons:
            e = (lon - ml.LON0) * ml.M_PER_DEG_LON
            on_lake = ml.lake_fraction(e, n) < 1.0 and ml.island_fraction(e, n) > 1.0
            row.append(lake.depth(e, n) if on_lake else None)
        out.append(row)
    return out


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--seeds", default="1,2,3")
    ap.add_argument("--session-order", default="", help="e.g. 2,3,4,1 (default: as the survey was planned)")
    ap.add_argument("--rate", type=float, default=1.0)
    ap.add_argument("--work", default="/tmp/sondralis-corrections")
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    a = ap.parse_args(argv)
    ml = load_make_lake()
    cli = os.path.join(a.build, "src", "cli", "sondralis-cli")
    print(f"{'seed':>4} {'clean':>7} {'corrected':>9} {'raw':>7}  corrected/clean")
    for seed in (int(s) for s in a.seeds.split(",")):
        work = os.path.join(a.work, f"seed{seed}")
        lake = os.path.join(work, "lake")
        cmd = [sys.executable, os.path.join(HERE, "make-lake.py"), lake, "--seed", str(seed), "--rate", str(a.rate),
               "--levels", LEVELS, "--spikes", "0.01", "--transducer", str(TRANSDUCER),
               "--shore-depth", str(SHORE_DEPTH), "--session-files", "--clean"]
        if a.session_order:
            cmd += ["--session-order", a.session_order]
        run(cmd)
        shore = os.path.join(lake, "lake_shore.kml")
        sessions = [os.path.join(lake, f"lake_session{i}.gpx") for i in range(1, 5)]
        maps = {
            "clean": [os.path.join(lake, "lake_clean.gpx"), shore, "--shore-depth", str(SHORE_DEPTH)],
            "corrected": sessions + [shore, "--despike", "--transducer", str(TRANSDUCER), "--level", "auto",
                                     "--shore-depth", str(SHORE_DEPTH)],
            "raw": sessions + [shore],
        }
        grids = {}
        for name, args in maps.items():
            out = os.path.join(work, name)
            run([cli, "map"] + args + ["-d", out])
            grids[name] = grid_values(ml, os.path.join(out, "depth.asc"))
        header = grids["clean"][0]
        for name, (h, _) in grids.items():
            if (h["ncols"], h["nrows"], h["xllcorner"], h["yllcorner"]) != \
                    (header["ncols"], header["nrows"], header["xllcorner"], header["yllcorner"]):
                sys.exit(f"seed {seed}: the {name} map lies on another grid than the clean one")
        truth = true_grid(ml, header, seed)
        rms = {}
        for name, (_, rows) in grids.items():
            total, cells = 0.0, 0
            for j, row in enumerate(truth):
                for i, t in enumerate(row):
                    values = [grids[n][1][j][i] for n in grids]
                    if t is None or any(v is None for v in values):
                        continue
                    total += (rows[j][i] - t) ** 2
                    cells += 1
            rms[name] = math.sqrt(total / cells)
        print(f"{seed:4d} {rms['clean']:7.1f} {rms['corrected']:9.1f} {rms['raw']:7.1f}  "
              f"{rms['corrected'] / rms['clean']:.3f}", flush=True)


if __name__ == "__main__":
    main(sys.argv[1:])
