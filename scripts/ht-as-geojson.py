#!/usr/bin/env python3
"""Writes the lines of HT files as GeoJSON for count-crossings.py.

    scripts/ht-as-geojson.py DECODED.gpx LINES.gpx OUT.geojson

DECODED.gpx is what gpsbabel reads from the HT files (gpsbabel -i
humminbird_ht -f 000.ht -o gpx -F DECODED.gpx): one track of every entry,
the positions as the unit stores them, without depths. LINES.gpx is the
contour document the HT files were written from (after any reduction): it
gives the number of points of each line and its level, in the order the
HT file holds the lines. The unit's file holds
each line's points followed by three entries that end it, so
the decoded entries are cut line by line in that order. gpsbabel reads the
three entries after every line (steps 7FFF, 8000 and 0 on both axes, which
do not move the position in the unit's format as this program writes it) as
a step of one grid unit west and south, so its positions drift by one unit
per line; that drift is taken out again. A benchmark tool: the program and
its tests never use it.
"""
import json
import math
import re
import sys

# One HT grid unit east in degrees of longitude (the grid's equator is
# 20038297 units from 0 to 180 degrees), and north, at latitude lat, in
# degrees of latitude (the derivative of a Mercator northing on a sphere of
# radius 6378388; the unit's latitude correction changes it by far less than
# the rounding to whole units).
UNIT_EAST = 180 / 20038297


def unit_north(lat):
    return math.degrees(math.cos(math.radians(lat)) / 6378388)


def segments(path):
    """The track segments of a GPX file as (points, depth), in the order an HT
    file holds them: the first track's segments, then those of the last
    track in reverse order, then of the track before it reversed, down to the
    second track's."""
    text = open(path, encoding="utf-8").read()
    tracks = []
    for trk in text.split("<trk>")[1:]:
        segs = []
        for seg in trk.split("</trk>")[0].split("<trkseg>")[1:]:
            seg = seg.split("</trkseg>")[0]
            points = [(float(lon), float(lat))
                      for lat, lon in re.findall(r'lat="([-0-9.eE]+)" lon="([-0-9.eE]+)"', seg)]
            depth = re.search(r"depth>([-0-9.]+)<", seg)
            segs.append((points, float(depth.group(1)) if depth else 0.0))
        tracks.append(segs)
    if not tracks:
        return []
    ordered = list(tracks[0])
    for segs in reversed(tracks[1:]):
        ordered += list(reversed(segs))
    return ordered


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    decoded = [p for points, _ in segments(sys.argv[1]) for p in points]
    lines = segments(sys.argv[2])
    features, at = [], 0
    for number, (points, level) in enumerate(l for l in lines if l[0]):
        coords = [(lon + number * UNIT_EAST, lat + number * unit_north(lat)) for lon, lat in decoded[at:at + len(points)]]
        at += len(points) + 3
        features.append({"type": "Feature", "properties": {"level": level},
                         "geometry": {"type": "LineString", "coordinates": coords}})
    if at != len(decoded):
        sys.exit(f"{sys.argv[1]} holds {len(decoded)} entries, the lines of {sys.argv[2]} need {at}")
    json.dump({"type": "FeatureCollection", "features": features}, open(sys.argv[3], "w"))


main()
