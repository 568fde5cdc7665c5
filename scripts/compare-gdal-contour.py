#!/usr/bin/env python3
"""Measures how far our contour points lie from gdal_contour's lines.

    scripts/compare-gdal-contour.py DEPTH.asc OURS GDAL.geojson

DEPTH.asc is the Esri ASCII grid both were traced on (its header gives the
size of a pixel), OURS our contours (GPX or GeoJSON, as count-crossings.py
reads them) and GDAL.geojson the output of
    gdal_contour -a level -fl L1 L2 ... DEPTH.asc GDAL.geojson
Prints one line of JSON: our points, how many lie within 0.1 px of a
gdal_contour line of the same level (and the share), how many are exactly
one of its vertices (within 1e-6 px), and the largest distance, in pixels.

A benchmark tool: needs python3-shapely (apt-get install python3-shapely).
"""
import importlib.util
import json
import math
import os
import sys
import warnings

try:
    from shapely.geometry import MultiLineString, Point
except ImportError:
    sys.exit("compare-gdal-contour.py needs shapely: apt-get install python3-shapely")

spec = importlib.util.spec_from_file_location(
    "count_crossings", os.path.join(os.path.dirname(os.path.abspath(__file__)), "count-crossings.py"))
crossings = importlib.util.module_from_spec(spec)
spec.loader.exec_module(crossings)


def read_header(path):
    header = {}
    with open(path) as f:
        for line in f:
            key, _, value = line.strip().partition(" ")
            if not key or key[0].isdigit() or key[0] == "-":
                break
            header[key.lower()] = float(value)
            if len(header) >= 8:
                break
    dx = header.get("cellsize", header.get("dx"))
    dy = header.get("cellsize", header.get("dy"))
    return header["xllcorner"], header["yllcorner"], dx, dy


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    asc, ours_path, gdal_path = sys.argv[1:]
    xll, yll, dx, dy = read_header(asc)

    def pixel(lon, lat):
        return ((lon - xll) / dx, (lat - yll) / dy)

    gdal = {}
    vertices = {}
    for level, coords in crossings.read_lines(gdal_path):
        line = [pixel(x, y) for x, y in coords]
        if len(line) >= 2:
            gdal.setdefault(level, []).append(line)
        for x, y in line:
            vertices.setdefault(level, set()).add((round(x * 1e6), round(y * 1e6)))
    shapes = {level: MultiLineString(lines) for level, lines in gdal.items()}

    points = within = exact = 0
    largest = 0.0
    for level, coords in crossings.read_lines(ours_path):
        known = vertices.get(level, set())
        for lon, lat in coords:
            x, y = pixel(lon, lat)
            points += 1
            key = (round(x * 1e6), round(y * 1e6))
            if any((key[0] + i, key[1] + j) in known for i in (-1, 0, 1) for j in (-1, 0, 1)):
                exact += 1
                within += 1
                continue
            d = shapes[level].distance(Point(x, y)) if level in shapes else math.inf
            largest = max(largest, d)
            if d <= 0.1:
                within += 1
    print(json.dumps({"points": points, "within_0.1px": within,
                      "share": round(within / points, 6) if points else None,
                      "gdal_vertices": exact, "largest_px": largest}))


if __name__ == "__main__":
    warnings.simplefilter("ignore")
    main()
