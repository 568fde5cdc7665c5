#!/usr/bin/env python3
"""Writes the lines of HT files as GeoJSON for count-crossings.py.

    scripts/ht-as-geojson.py DECODED.gpx LINES.gpx OUT.geojson

DECODED.gpx is what gpsbabel reads from the HT files (gpsbabel -i
humminbird_ht -f 000.ht -o gpx -F DECODED.gpx): one track of every entry,
the positions as the unit stores them, without depths. LINES.gpx is the
contour document the HT files were written from (after any reduction): it
gives the number of points of each line and its level. The unit's file holds
each line's points followed by three entries that end it, so
the decoded entries are cut line by line in that order. A benchmark tool:
the program and its tests never use it.
"""
import json
import re
import sys


def segments(path):
    text = open(path, encoding="utf-8").read()
    out = []
    for seg in text.split("<trkseg>")[1:]:
        seg = seg.split("</trkseg>")[0]
        points = [(float(lon), float(lat)) for lat, lon in re.findall(r'lat="([-0-9.eE]+)" lon="([-0-9.eE]+)"', seg)]
        depth = re.search(r"depth>([-0-9.]+)<", seg)
        out.append((points, float(depth.group(1)) if depth else 0.0))
    return out


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    decoded = [p for points, _ in segments(sys.argv[1]) for p in points]
    lines = segments(sys.argv[2])
    features, at = [], 0
    for points, level in lines:
        if not points:
            continue
        coords = decoded[at:at + len(points)]
        at += len(points) + 3
        features.append({"type": "Feature", "properties": {"level": level},
                         "geometry": {"type": "LineString", "coordinates": coords}})
    if at != len(decoded):
        sys.exit(f"{sys.argv[1]} holds {len(decoded)} entries, the lines of {sys.argv[2]} need {at}")
    json.dump({"type": "FeatureCollection", "features": features}, open(sys.argv[3], "w"))


main()
