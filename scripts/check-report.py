#!/usr/bin/env python3
"""Checks the lake report against the true bottom of the generated lakes.

    scripts/check-report.py [--seeds 1,2,3] [--patterns P,...] [--size WxH]
                            [--map-options "..."] [--refine K] [--build DIR]
                            [--work DIR]

For each lake (a seed and a survey pattern of scripts/make-lake.py) it makes
the lake, maps it with `sondralis-cli map --report`, and compares
report.json with the truth the generator knows, integrated over the nodes
of the map's own depth.asc grid (each node split into K x K when --refine
says so), each cell with its exact area on the WGS 84 ellipsoid:

  lake area      report's surface inside the shoreline against the true
                 area of water (lake less island);
  volume         report's volume (water over the surveyed cells) against
                 depth.asc's depths summed here (the report's own
                 arithmetic) and against the true volume over the same
                 cells (which adds the depth map's own error);
  lake volume    the true volume of the whole lake, for comparison (the
                 report leaves out water the survey never came near);
  curve          the largest difference between the report's area at or
                 below each contour level and the true one, in % of the
                 surveyed area.

A lake passes when its area and volume are within 2 % of the truth. The
exit status is 1 when one does not. Standard library only.
"""
import argparse
import importlib.util
import json
import math
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

# WGS 84
A = 6378137.0
F = 1 / 298.257223563
E2 = F * (2 - F)
E = math.sqrt(E2)
B2 = A * A * (1 - E2)


def load_make_lake():
    spec = importlib.util.spec_from_file_location("make_lake", os.path.join(HERE, "make-lake.py"))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def authalic(phi):
    """The integral of the ellipsoid's area element from the equator to
    latitude phi (radians), per radian of longitude, divided by b^2."""
    s = math.sin(phi)
    return s / (1 - E2 * s * s) / 2 + math.log((1 + E * s) / (1 - E * s)) / (4 * E)


def band_area(lat1, lat2, dlon):
    """m^2 of the quadrangle between two latitudes spanning dlon, degrees."""
    return B2 * math.radians(dlon) * abs(authalic(math.radians(lat2)) - authalic(math.radians(lat1)))


def truth(ml, seed, header, covered, refine):
    """True lake area, volume over the covered cells, whole-lake volume, and
    the true area at or deeper than each depth (a function)."""
    lake = ml.true_lake(seed)
    nc, nr = int(header["ncols"]), int(header["nrows"])
    dx, dy = header["dx"], header["dy"]
    top = header["yllcorner"] + nr * dy
    sub_dx, sub_dy = dx / refine, dy / refine
    area = volume_covered = volume = 0.0
    depths_covered = []  # (depth, area) of covered water, for the curve
    for j in range(nr):
        for sj in range(refine):
            lat = top - j * dy - (sj + 0.5) * sub_dy
            cell = band_area(lat - sub_dy / 2, lat + sub_dy / 2, sub_dx)
            n = (lat - ml.LAT0) * ml.M_PER_DEG_LAT
            row = covered[j]
            for i in range(nc):
                for si in range(refine):
                    lon = header["xllcorner"] + i * dx + (si + 0.5) * sub_dx
                    e = (lon - ml.LON0) * ml.M_PER_DEG_LON
                    if not (ml.lake_fraction(e, n) < 1.0 and ml.island_fraction(e, n) > 1.0):
                        continue
                    d = lake.depth(e, n)
                    area += cell
                    volume += cell * d / 100
                    if row[i]:
                        volume_covered += cell * d / 100
                        depths_covered.append((d, cell))
    return area, volume_covered, volume, depths_covered


def read_grid(ml, path):
    """depth.asc's header, which cells have a depth, and the volume of its
    depths (below 0 as 0) over those cells, in m^3."""
    header, rows = ml.read_ascii_grid(path)
    nodata = header.get("nodata_value", -9999.0)
    covered, volume = [], 0.0
    for r, values in enumerate(rows):
        top = header["yllcorner"] + int(header["nrows"]) * header["dy"] - r * header["dy"]
        cell = band_area(top - header["dy"], top, header["dx"])
        covered.append([v != nodata for v in values])
        volume += cell * sum(max(v, 0.0) for v in values if v != nodata) / 100
    return header, covered, volume


def pct(ours, true):
    return 100 * (ours - true) / true if true else float("nan")


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--seeds", default="1,2,3")
    ap.add_argument("--patterns", default="oblique,parallel,zigzag,meander,sparse")
    ap.add_argument("--size", default="", help="map size WxH (default: map's own)")
    ap.add_argument("--map-options", default="", help="more options for map, e.g. \"--style 2\"")
    ap.add_argument("--refine", type=int, default=1, help="split each cell into K x K for the truth")
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--work", help="keep the lakes and maps here")
    a = ap.parse_args(argv)
    cli = os.path.join(a.build, "src", "cli", "sondralis-cli")
    if not os.access(cli, os.X_OK):
        sys.exit(f"check-report: {cli} is missing; build first")
    ml = load_make_lake()
    work = a.work or tempfile.mkdtemp(prefix="sondralis-check-report-")
    lakes = [(int(s), p) for s in a.seeds.split(",") for p in a.patterns.split(",")]
    print("                 lake area, ha              volume over the surveyed cells, 1000 m3  the lake's     curve")
    print("seed pattern   |   report     true   err % |   report  vs grid     true   err % |"
          "     true  surveyed |     % |")
    failed = False
    try:
        for seed, pattern in lakes:
            folder = os.path.join(work, f"lake{seed}-{pattern}")
            subprocess.run([sys.executable, os.path.join(HERE, "make-lake.py"), folder, "--seed", str(seed),
                            "--pattern", pattern], check=True, stdout=subprocess.DEVNULL)
            cmd = [cli, "map", os.path.join(folder, "lake_survey.gpx"), os.path.join(folder, "lake_shore.kml"),
                   "-d", os.path.join(folder, "map"), "--report"]
            if a.size:
                cmd += ["--size", a.size]
            cmd += a.map_options.split()
            subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
            report = json.load(open(os.path.join(folder, "map", "report.json")))
            header, covered, grid_volume = read_grid(ml, os.path.join(folder, "map", "depth.asc"))
            area, volume_covered, volume, cells = truth(ml, seed, header, covered, a.refine)
            # The hypsographic curve: area at or deeper than each level.
            cells.sort()
            surveyed = report["surveyed_area_m2"]
            worst = 0.0
            for level in report["levels"]:
                depth = level["depth_m"] * 100
                true_deeper = sum(c for d, c in cells if d >= depth)
                worst = max(worst, abs(level["area_deeper_m2"] - true_deeper) / surveyed * 100)
            area_err = pct(report["lake_area_m2"], area)
            volume_err = pct(report["volume_m3"], volume_covered)
            sums_err = pct(report["volume_m3"], grid_volume)
            ok = abs(area_err) <= 2 and abs(volume_err) <= 2
            failed = failed or not ok
            print(f"{seed:4d} {pattern:9s} | {report['lake_area_m2'] / 1e4:8.2f} {area / 1e4:8.2f} {area_err:+7.3f} |"
                  f" {report['volume_m3'] / 1e3:8.1f} {sums_err:+8.4f} {volume_covered / 1e3:8.1f} {volume_err:+7.3f} |"
                  f" {volume / 1e3:8.1f} {100 * volume_covered / volume:6.1f} % | {worst:6.2f} |"
                  f" {'ok' if ok else 'FAIL'}")
    finally:
        if not a.work:
            shutil.rmtree(work, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
