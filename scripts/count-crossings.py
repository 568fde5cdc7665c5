#!/usr/bin/env python3
"""Counts where contour lines of different levels cross or touch.

    scripts/count-crossings.py FILE...

FILE is a contour file: GPX (each track segment a line, its level the depth
of its first point in extensions/*:depth, 0 when it has none) or GeoJSON
(LineString features with a "level" property). For every file prints one
line of JSON: the number of lines and levels, "crossings" (pairs of segments
of lines of different levels whose interiors cross at one point: proper
segment intersections), "touches" (other points where such lines meet, at a
vertex of one or both) and "overlaps" (stretches they share).

A benchmark tool: needs python3-shapely (apt-get install python3-shapely),
which the program, its build and its tests never use.
"""
import json
import math
import sys
import warnings
import xml.etree.ElementTree as ET

import numpy

try:
    from shapely.geometry import LineString, Point
    from shapely.strtree import STRtree
except ImportError:
    sys.exit("count-crossings.py needs shapely: apt-get install python3-shapely")


def read_gpx(path):
    lines = []
    for seg in ET.parse(path).getroot().iter():
        if not seg.tag.endswith("}trkseg"):
            continue
        coords, level = [], None
        for pt in seg:
            if not pt.tag.endswith("}trkpt"):
                continue
            coords.append((float(pt.get("lon")), float(pt.get("lat"))))
            if level is None:
                level = 0.0
                for e in pt.iter():
                    if e.tag.endswith("}depth") and e.text:
                        level = float(e.text)
        lines.append((level or 0.0, coords))
    return lines


def read_geojson(path):
    with open(path) as f:
        doc = json.load(f)
    lines = []
    for feature in doc["features"]:
        geometry = feature["geometry"]
        level = float(feature["properties"].get("level", feature["properties"].get("ELEV", 0)))
        parts = [geometry["coordinates"]] if geometry["type"] == "LineString" else geometry["coordinates"]
        for part in parts:
            lines.append((level, [tuple(c[:2]) for c in part]))
    return lines


def read_lines(path):
    return read_geojson(path) if path.endswith(".geojson") or path.endswith(".json") else read_gpx(path)


def segment_arrays(coords):
    """The segments of a line as numpy arrays of their ends."""
    a = numpy.asarray(coords, dtype=float)
    return a[:-1], a[1:]


def segments_near(ends, p, eps):
    """Indices of the segments (ends from segment_arrays) that pass within
    eps of p."""
    a, b = ends
    px, py = p
    lo = numpy.minimum(a, b) - eps
    hi = numpy.maximum(a, b) + eps
    candidates = numpy.nonzero((lo[:, 0] <= px) & (hi[:, 0] >= px) & (lo[:, 1] <= py) & (hi[:, 1] >= py))[0]
    found = []
    for i in candidates:
        (ax, ay), (bx, by) = a[i], b[i]
        vx, vy = bx - ax, by - ay
        c2 = vx * vx + vy * vy
        t = 0.0 if c2 == 0 else max(0.0, min(1.0, ((px - ax) * vx + (py - ay) * vy) / c2))
        if math.hypot(ax + t * vx - px, ay + t * vy - py) <= eps:
            found.append(int(i))
    return found


def count(path):
    raw = [(level, coords) for level, coords in read_lines(path) if len(coords) >= 2]
    if not raw:
        return {"file": path, "lines": 0, "levels": 0, "crossings": 0, "touches": 0, "overlaps": 0}
    # Offsets from one point keep the coordinates' digits where they matter.
    x0, y0 = raw[0][1][0]
    lines = [(level, [(x - x0, y - y0) for x, y in coords]) for level, coords in raw]
    geoms = [LineString(coords) for _, coords in lines]
    tree = STRtree(geoms, items=range(len(geoms)))
    extent = max(max(abs(x), abs(y)) for _, coords in lines for x, y in coords) or 1.0
    eps = extent * 1e-12
    crossings = touches = overlaps = 0
    ends = {}
    for i, gi in enumerate(geoms):
        for j in tree.query_items(gi):
            if j <= i or lines[i][0] == lines[j][0] or not gi.intersects(geoms[j]):
                continue
            meet = gi.intersection(geoms[j])
            parts = getattr(meet, "geoms", [meet])
            for part in parts:
                if part.is_empty:
                    continue
                if part.geom_type != "Point":
                    overlaps += 1
                    continue
                p = (part.x, part.y)
                proper = False
                if i not in ends:
                    ends[i] = segment_arrays(lines[i][1])
                if j not in ends:
                    ends[j] = segment_arrays(lines[j][1])
                for a in segments_near(ends[i], p, eps):
                    sa = LineString(lines[i][1][a:a + 2])
                    for b in segments_near(ends[j], p, eps):
                        if sa.crosses(LineString(lines[j][1][b:b + 2])):
                            proper = True
                if proper:
                    crossings += 1
                else:
                    touches += 1
    return {"file": path, "lines": len(lines), "levels": len({level for level, _ in lines}),
            "crossings": crossings, "touches": touches, "overlaps": overlaps}


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    for path in sys.argv[1:]:
        print(json.dumps(count(path)))


if __name__ == "__main__":
    # shapely 1.8 announces the STRtree of 2.0 on every use.
    warnings.simplefilter("ignore")
    main()
