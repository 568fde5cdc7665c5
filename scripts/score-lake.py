#!/usr/bin/env python3
"""Scores depth maps against the true bottom of the generated lakes.

    scripts/score-lake.py [--patterns P,...] [--rate HZ] [--size WxH]
                          [--work DIR] [--build DIR] [--candidates]

For each survey pattern of scripts/make-lake.py it makes the lake, maps it
with `sondralis-cli map` (Shepard at style 8 and at style 2, and
`--method surface`), with a plain TIN of the same samples.csv (scipy's
LinearNDInterpolator) and with GMT's blockmedian + surface on the same grid,
and prints the RMS error in cm of each against the true bottom over the
covered water cells (the cells that have a value in Shepard's depth.asc and
lie on the lake), beside the noise floor: the RMS of the readings
themselves against the true bottom where they were taken.
--candidates adds the other methods that were considered: a TIN and a
Clough-Tocher (C1) surface of GMT's block medians.

A second table gives the hold-out RMS of `sondralis-cli validate` (5 folds)
for Shepard at style 8 and the surface, beside a TIN scored on the very
same folds: for each fold a TIN of every sample validate keeps in that
fold's map (its --folds-csv), read at the pixel centre where validate
compares each held-out sounding.

Needs python3-numpy, python3-scipy and gmt (benchmark tools only; the
program never uses them):  apt-get install python3-scipy gmt
"""
import argparse
import importlib.util
import math
import os
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def load_make_lake():
    spec = importlib.util.spec_from_file_location("make_lake", os.path.join(HERE, "make-lake.py"))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def need_tools():
    missing = []
    try:
        import numpy  # noqa: F401
        import scipy  # noqa: F401
    except ImportError:
        # Debian's packages live beside Debian's interpreter, which another
        # python3 first on the PATH does not see.
        if os.path.exists("/usr/bin/python3") and os.path.realpath(sys.executable) != "/usr/bin/python3" \
                and not os.environ.get("SCORE_LAKE_REEXEC"):
            os.environ["SCORE_LAKE_REEXEC"] = "1"
            os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
        missing.append("python3-scipy")
    if not shutil.which("gmt"):
        missing.append("gmt")
    if missing:
        sys.exit("score-lake.py needs " + " and ".join(missing) + ": apt-get install " + " ".join(missing))


# GMT may leave a gmt.history in the folder it runs in: it runs in the
# working folder, never in the caller's.
def run(cmd, **kw):
    return subprocess.run(cmd, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kw)


def cli_map(cli, lake_dir, out_dir, size, *options):
    """`sondralis-cli map` of the lake; the seconds of its interpolation."""
    cmd = [cli, "map", os.path.join(lake_dir, "lake_survey.gpx"), os.path.join(lake_dir, "lake_shore.kml"),
           "-d", out_dir] + list(options)
    if size:
        cmd += ["--size", size]
    out = run(cmd).stdout
    m = re.search(r"interpolation ([0-9.]+) s", out)
    return float(m.group(1)) if m else float("nan")


def hold_out(np, ml, cli, lake_dir, work, size):
    """validate's hold-out RMS for Shepard style 8 and the surface, and a TIN
    on the same folds, read where validate compares; the count of held-out
    soundings the TIN could not reach (outside its hull) beside."""
    import json
    from scipy.interpolate import LinearNDInterpolator
    folds_csv = os.path.join(work, "folds.csv")
    cmd = [cli, "validate", os.path.join(lake_dir, "lake_survey.gpx"), os.path.join(lake_dir, "lake_shore.kml"),
           "--json", "--folds-csv", folds_csv]
    if size:
        cmd += ["--size", size]
    scores = {}
    for line in run(cmd).stdout.splitlines():
        o = json.loads(line)
        scores["shepard8" if o["method"] == "shepard" else "surface"] = o["rms_cm"]
        count = o["held_out"]
    data = np.genfromtxt(folds_csv, delimiter=",", skip_header=1, ndmin=2)
    lon, lat, z, fold, plon, plat = (data[:, i] for i in range(6))
    x, y = metric(np, ml, lon, lat)
    px, py = metric(np, ml, plon, plat)
    errors, missed = [], 0
    for k in sorted(set(int(f) for f in fold if f >= 0)):
        kept = fold != k
        held = (fold == k) & ~np.isnan(plon)
        t = LinearNDInterpolator(np.column_stack([x[kept], y[kept]]), z[kept])(px[held], py[held])
        missed += int(np.isnan(t).sum())
        e = (t - z[held])[~np.isnan(t)]
        errors.append(e)
    e = np.concatenate(errors)
    scores["tin"] = math.sqrt(float(np.mean(e * e)))
    return scores, count, missed


def read_grid(np, path):
    header, rows = {}, []
    with open(path) as f:
        for line in f:
            parts = line.split()
            if parts and parts[0][0].isalpha():
                header[parts[0].lower()] = float(parts[1])
            elif parts:
                rows.append(parts)
    grid = np.array(rows, dtype=float)
    grid[grid == header.get("nodata_value", -9999.0)] = np.nan
    if "dx" not in header:
        header["dx"] = header["dy"] = header["cellsize"]
    return header, grid


def metric(np, ml, lon, lat):
    return (np.asarray(lon) - ml.LON0) * ml.M_PER_DEG_LON, (np.asarray(lat) - ml.LAT0) * ml.M_PER_DEG_LAT


def read_samples(np, path):
    data = np.loadtxt(path, delimiter=",", skiprows=1, ndmin=2)
    return data[:, 0], data[:, 1], data[:, 2]


def node_lonlat(np, ml, header):
    lons, lats = ml.grid_nodes(header)
    return np.meshgrid(np.array(lons), np.array(lats))


def tin(np, ml, header, lon, lat, z, kind="linear"):
    from scipy.interpolate import CloughTocher2DInterpolator, LinearNDInterpolator
    x, y = metric(np, ml, lon, lat)
    glon, glat = node_lonlat(np, ml, header)
    gx, gy = metric(np, ml, glon, glat)
    cls = LinearNDInterpolator if kind == "linear" else CloughTocher2DInterpolator
    return cls(np.column_stack([x, y]), z)(gx, gy)


def gmt_region(header):
    """The grid's nodes (its cell centres) as a gridline-registered GMT grid;
    surface and blockmedian then agree on the cells to the last bit."""
    nc, nr = int(header["ncols"]), int(header["nrows"])
    dx, dy = header["dx"], header["dy"]
    w, s = header["xllcorner"] + dx / 2, header["yllcorner"] + dy / 2
    e, n = w + (nc - 1) * dx, s + (nr - 1) * dy
    return [f"-R{w!r}/{e!r}/{s!r}/{n!r}", f"-I{dx!r}/{dy!r}", "-fg"]


def gmt_blockmedian(samples, header, work):
    out = os.path.join(work, "blockmedian.xyz")
    with open(samples) as f:
        text = f.read().split("\n", 1)[1]
    with open(out, "w") as f:
        f.write(run(["gmt", "blockmedian", "--FORMAT_FLOAT_OUT=%.15g", "--GMT_HISTORY=false"] + gmt_region(header),
                    input=text, cwd=work).stdout)
    return out


def gmt_surface(np, header, blocks, work):
    """GMT's surface on the block medians, tension 0.35 (the value its manual
    suggests for steep topography), aspect from the middle latitude, limited
    to 0 .. the deepest datum as ours is."""
    grd = os.path.join(work, "surface.nc")
    start = time.monotonic()
    run(["gmt", "surface", blocks, "-T0.35", "-Am", "-Ll0", "-Lud", "--GMT_HISTORY=false", "-G" + grd]
        + gmt_region(header), cwd=work)
    seconds = time.monotonic() - start
    text = run(["gmt", "grd2xyz", grd, "-ZTLa", "--GMT_HISTORY=false"], cwd=work).stdout
    values = np.array(text.split(), dtype=float)
    return values.reshape(int(header["nrows"]), int(header["ncols"])), seconds


def noise_floor(np, ml, lake, survey):
    """RMS of the readings against the true bottom at the recorded positions;
    zero readings (the sounder lost the bottom) are left out, as the loader
    leaves them out."""
    pat = re.compile(r'lat="([-0-9.]+)" lon="([-0-9.]+)".*?<h:depth>(\d+)</h:depth>')
    err = []
    with open(survey) as f:
        for line in f:
            m = pat.search(line)
            if m and int(m.group(3)) > 0:
                lat, lon, d = float(m.group(1)), float(m.group(2)), int(m.group(3))
                err.append(d - ml.true_depth(lon, lat, lake=lake))
    e = np.array(err)
    return math.sqrt(float(np.mean(e * e)))


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--patterns", default="oblique,parallel,zigzag,meander,sparse")
    ap.add_argument("--rate", type=float, default=1.0)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--size", default="", help="picture size WxH (default: map's)")
    ap.add_argument("--work", default="/tmp/sondralis-score", help="working folder (default /tmp/sondralis-score)")
    ap.add_argument("--build", default=os.path.join(ROOT, "build"), help="the build whose sondralis-cli is scored")
    ap.add_argument("--candidates", action="store_true", help="also score the other candidate methods")
    a = ap.parse_args(argv)
    need_tools()
    import numpy as np
    ml = load_make_lake()
    cli = os.path.join(a.build, "src", "cli", "sondralis-cli")
    lake = ml.true_lake(a.seed)

    cols = ["shepard8", "shepard2", "tin", "gmt", "surface"] + (["tin-bm", "c1-bm"] if a.candidates else [])
    print(f"{'pattern':9} {'floor':>6} " + " ".join(f"{c:>9}" for c in cols) +
          "   surf/tin surf/gmt surf/shp8   t_surface t_gmt t_shepard8")
    held_out = []
    for pattern in a.patterns.split(","):
        work = os.path.join(a.work, pattern)
        lake_dir = os.path.join(work, "lake")
        run([sys.executable, os.path.join(HERE, "make-lake.py"), lake_dir, "--pattern", pattern,
             "--rate", str(a.rate), "--seed", str(a.seed)])
        t_s8 = cli_map(cli, lake_dir, os.path.join(work, "shepard8"), a.size, "--style", "8")
        cli_map(cli, lake_dir, os.path.join(work, "shepard2"), a.size, "--style", "2")
        s8 = os.path.join(work, "shepard8")
        t_surface = cli_map(cli, lake_dir, os.path.join(work, "surface"), a.size, "--method", "surface")

        header, g8 = read_grid(np, os.path.join(s8, "depth.asc"))
        truth = np.array([[np.nan if v is None else v for v in row] for row in ml.truth_grid(header, a.seed)])
        cells = ~np.isnan(g8) & ~np.isnan(truth)
        lon, lat, z = read_samples(np, os.path.join(s8, "samples.csv"))
        maps = {
            "shepard8": g8,
            "shepard2": read_grid(np, os.path.join(work, "shepard2", "depth.asc"))[1],
            "surface": read_grid(np, os.path.join(work, "surface", "depth.asc"))[1],
            "tin": tin(np, ml, header, lon, lat, z),
        }
        blocks = gmt_blockmedian(os.path.join(s8, "samples.csv"), header, work)
        maps["gmt"], t_gmt = gmt_surface(np, header, blocks, work)
        if a.candidates:
            b = np.loadtxt(blocks, ndmin=2)
            maps["tin-bm"] = tin(np, ml, header, b[:, 0], b[:, 1], b[:, 2])
            maps["c1-bm"] = tin(np, ml, header, b[:, 0], b[:, 1], b[:, 2], kind="c1")

        def rms(name):
            d = maps[name][cells] - truth[cells]
            d = d[~np.isnan(d)]
            return math.sqrt(float(np.mean(d * d)))
        scores = {c: rms(c) for c in cols}
        floor = noise_floor(np, ml, lake, os.path.join(lake_dir, "lake_survey.gpx"))
        s = scores["surface"]
        print(f"{pattern:9} {floor:6.1f} " + " ".join(f"{scores[c]:9.1f}" for c in cols) +
              f"   {s / scores['tin']:8.2f} {s / scores['gmt']:8.2f} {s / scores['shepard8']:9.2f}"
              f"   {t_surface:9.3f} {t_gmt:5.2f} {t_s8:10.2f}", flush=True)
        held_out.append((pattern,) + hold_out(np, ml, cli, lake_dir, work, a.size))

    print(f"\nhold-out RMS (validate, 5 folds), cm\n{'pattern':9} {'held':>6} {'shepard8':>9} {'tin':>9} "
          f"{'surface':>9}   surf/tin  tin missed")
    for pattern, h, count, missed in held_out:
        print(f"{pattern:9} {count:6d} {h['shepard8']:9.1f} {h['tin']:9.1f} {h['surface']:9.1f}"
              f"   {h['surface'] / h['tin']:8.2f}  {missed:10d}")


if __name__ == "__main__":
    main(sys.argv[1:])
