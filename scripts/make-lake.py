#!/usr/bin/env python3
"""Makes a synthetic lake for the examples, the tests and the benchmarks.

    scripts/make-lake.py OUTDIR [--rate HZ] [--seed N] [--prefix NAME]
                         [--pattern oblique|parallel|zigzag|meander|sparse]
    scripts/make-lake.py OUTDIR --truth-of GRID.asc [--seed N] [--prefix NAME]

writes into OUTDIR:

  NAME_survey.gpx  an echo-sounder recording as the unit exports it: four
                   sessions (track segments) of a boat driving along the
                   shore and in oblique lines across the lake, one point per reading with its
                   depth in centimetres in extensions/h:depth; 1 Hz gives
                   about 14 000 points, --rate 10 about 140 000
  NAME_shore.gpx   the shoreline and the island as depth-free tracks
  NAME_shore.kml   the same outlines as KML line strings, and the boat ramp

--pattern chooses how the boat drives (the shore passes stay the same
kind): oblique, the default, is the survey above; parallel is east-west
lines 110 m apart; zigzag is legs zig-zagging across the lake at an angle,
advancing 70 m a leg, two passes along the shore and a wander out to a
favourite spot; meander is an angler wandering about the lake with the
sounder switched off now and then; sparse is the oblique survey with every
other line left out.

--truth-of GRID.asc writes, instead of a lake, NAME_truth.asc: the true
depth in centimetres of the lake of that seed at the nodes (cell centres) of
the given Esri ASCII grid, NODATA on land. Other scripts can import this
file and call true_depth(lon, lat, seed) themselves.

The lake has a shallow shelf along the shore, a steep drop-off, a deep
basin, a submerged hump and an island with its own shelf; the readings carry
smooth natural variation, sounder noise, GPS jitter and a few readings of 0
where the sounder lost the bottom. The output depends only on the arguments:
the same seed gives the same bytes. Standard library only.

What a real survey adds to the readings, each with its truth known (none of
these is on by default, and without them the output is as before):

  --levels CM,CM,...   the water level of each session, in cm above the
                       first one's (e.g. 0,30,-45,12): the readings of a
                       session are that much deeper, and each session is
                       recorded on a day of its own
  --session-order N,N,...
                       the order the sessions were recorded in (e.g.
                       2,3,4,1: the transects first); the level estimate
                       fixes the first session at 0
  --session-files      each session in a file of its own, NAME_session1.gpx
                       ..., instead of NAME_survey.gpx
  --spikes FRACTION    that share of the readings (e.g. 0.01) replaced by
                       spikes 1 to 5 m off: shallower (clutter) where the
                       water is deep enough, deeper (a second echo)
  --transducer CM      the sounder's transducer sits CM below the surface:
                       every reading is that much shallower
  --shore-depth CM     the water at the shoreline is CM deep (a levee)
  --clean              also write NAME_clean.gpx: the same survey without
                       level offsets, spikes and transducer depth
  --truth PATH         write the truth as JSON: per session its level and
                       the offset a correction must add, the transducer
                       and shore depths, and every spike (session, index
                       in the session, time, reading without and with the spike)
  --print-truth        print that JSON instead of the one-line summary
"""
import argparse
import json
import math
import os
import random
import sys

LAT0, LON0 = 47.2160, 8.6420        # lake centre
M_PER_DEG_LAT = 111_320.0
M_PER_DEG_LON = 111_320.0 * math.cos(math.radians(LAT0))
A, B = 720.0, 430.0                 # half axes of the basin in metres (east, north)
ISLAND = (-210.0, 110.0, 58.0, 42.0)  # centre east, north; half axes east, north
ELEVATION = 434.0                   # lake surface, metres
SPEED = 2.6                         # boat speed, metres per second
MAX_DEPTH = 2050.0                  # centimetres at the bottom of the basin


def to_latlon(e, n):
    return LAT0 + n / M_PER_DEG_LAT, LON0 + e / M_PER_DEG_LON


def shore_factor(t):
    """Radius of the shoreline at polar angle t, relative to the ellipse."""
    return (1.0 + 0.07 * math.sin(2 * t + 0.3) + 0.05 * math.cos(3 * t + 1.1)
            + 0.03 * math.sin(5 * t + 0.4) + 0.015 * math.cos(9 * t))


def shore_point(t):
    f = shore_factor(t)
    return A * f * math.cos(t), B * f * math.sin(t)


def island_factor(t):
    return 1.0 + 0.12 * math.sin(3 * t + 0.5) + 0.06 * math.cos(5 * t)


def island_point(t, grow=0.0):
    ie, inn, ia, ib = ISLAND
    f = island_factor(t)
    return ie + (ia * f + grow) * math.cos(t), inn + (ib * f + grow) * math.sin(t)


def lake_fraction(e, n):
    """0 at the centre, 1 on the shoreline, above 1 on land."""
    t = math.atan2(n / B, e / A)
    return math.hypot(e / A, n / B) / shore_factor(t)


def island_fraction(e, n):
    """1 on the island's shore, below 1 on the island."""
    ie, inn, ia, ib = ISLAND
    de, dn = e - ie, n - inn
    t = math.atan2(dn / ib, de / ia)
    return math.hypot(de / ia, dn / ib) / island_factor(t)


def smoothstep(a, b, x):
    if x <= a:
        return 0.0
    if x >= b:
        return 1.0
    u = (x - a) / (b - a)
    return u * u * (3 - 2 * u)


class Lake:
    """The true depth field, with smooth natural variation drawn from the seed."""

    def __init__(self, rng):
        self.waves = [(rng.uniform(0.004, 0.02), rng.uniform(0, 2 * math.pi),
                       rng.uniform(0, 2 * math.pi), rng.uniform(15, 45)) for _ in range(6)]

    def depth(self, e, n):
        s = lake_fraction(e, n)
        if s >= 1.0:
            return 0.0
        w = 1.0 - s                                  # 0 at the shore, 1 at the centre
        # Shelf along the shore, drop-off, then the basin floor.
        d = 260.0 * smoothstep(0.0, 0.13, w) + 900.0 * smoothstep(0.12, 0.32, w)
        d += 650.0 * smoothstep(0.30, 1.0, w)
        # The deepest part of the basin lies east of the centre.
        d += 240.0 * math.exp(-(((e - 170.0) / 230.0) ** 2 + ((n + 50.0) / 150.0) ** 2))
        # A submerged hump in the west basin rises to about 5 m.
        d -= 780.0 * math.exp(-(((e + 420.0) / 95.0) ** 2 + ((n + 120.0) / 70.0) ** 2))
        # The island has a shelf of its own and a gentle slope into the lake.
        k = island_fraction(e, n)
        if k <= 1.0:
            return 0.0
        d *= smoothstep(1.0, 2.6, k) * 0.85 + 0.15 * smoothstep(1.0, 1.25, k)
        for freq, pe, pn, amp in self.waves:
            d += amp * math.sin(freq * e + pe) * math.cos(freq * n + pn) * smoothstep(0.0, 0.2, w)
        return max(0.0, min(d, MAX_DEPTH))


def shoreline(step):
    """The shoreline as a closed ring, a point about every `step` metres."""
    pts, t = [], 0.0
    while t < 2 * math.pi:
        pts.append(shore_point(t))
        e, n = pts[-1]
        e2, n2 = shore_point(t + 1e-4)
        t += step / (math.hypot(e2 - e, n2 - n) / 1e-4)
    pts.append(pts[0])
    return pts


def island_ring(step, grow=0.0):
    pts, t = [], 0.0
    while t < 2 * math.pi:
        pts.append(island_point(t, grow))
        e, n = pts[-1]
        e2, n2 = island_point(t + 1e-4, grow)
        t += step / (math.hypot(e2 - e, n2 - n) / 1e-4)
    pts.append(pts[0])
    return pts


def on_water(e, n, margin):
    """On open water at least about `margin` metres from the shores."""
    if lake_fraction(e, n) > 1.0 - margin / min(A, B):
        return False
    ie, inn, ia, ib = ISLAND
    return island_fraction(e, n) > 1.0 + margin / min(ia, ib)


def transects(angle, spacing, margin):
    """Lawn-mower lines across the lake at `angle` degrees from east, as lists
    of way points. The helmsman steers by eye, so each line wanders a few
    metres to either side."""
    a = math.radians(angle)
    ue, un = math.cos(a), math.sin(a)          # along the lines
    ve, vn = -un, ue                           # across them
    lines, reach = [], math.hypot(A, B) * 1.25
    c = -reach + spacing / 2
    while c < reach:
        # The stretches of this line that lie on open water.
        runs, run = [], None
        u = -reach
        while u <= reach:
            wobble = 3.0 * math.sin(u / 23.0 + c) + 1.5 * math.sin(u / 9.0 + 2 * c)
            e = u * ue + (c + wobble) * ve
            n = u * un + (c + wobble) * vn
            if on_water(e, n, margin):
                if run is None:
                    run = []
                run.append((e, n))
            elif run is not None:
                runs.append(run)
                run = None
            u += 6.0
        if run is not None:
            runs.append(run)
        # The boat goes round the island, so a line broken by it stays one
        # line, and straight on over a shallow spot near the shore; bits too
        # short to steer along are left out.
        path = []
        for r in (r for r in runs if len(r) >= 4):
            if path and math.dist(path[-1], r[0]) < 260.0:
                if near_island(path[-1]) and near_island(r[0]):
                    path.extend(detour(path[-1], r[0]))
            elif path:
                lines.append(path)
                path = []
            path.extend(r)
        if len(path) > 1:
            lines.append(path)
        c += spacing
    # Each line is driven from the end nearer to where the last one ended.
    for i in range(1, len(lines)):
        end = lines[i - 1][-1]
        if math.dist(end, lines[i][-1]) < math.dist(end, lines[i][0]):
            lines[i].reverse()
    return lines


def near_island(p):
    ie, inn, ia, ib = ISLAND
    return island_fraction(*p) < 1.0 + 60.0 / min(ia, ib)


def detour(a, b):
    """Way points round the island's north side, from near a to near b."""
    ring = island_ring(10.0, grow=22.0)
    ia = min(range(len(ring)), key=lambda i: math.dist(ring[i], a))
    ib = min(range(len(ring)), key=lambda i: math.dist(ring[i], b))
    fwd = ring[ia:ib + 1] if ia <= ib else ring[ia:] + ring[:ib + 1]
    bwd = (ring[ib:ia + 1] if ib <= ia else ring[ib:] + ring[:ia + 1])[::-1]
    north = lambda pts: sum(p[1] for p in pts) / max(1, len(pts))
    return fwd if north(fwd) >= north(bwd) else bwd


def shore_loop(offset):
    """A loop along the shore, `offset` metres out on the water."""
    pts = []
    for e, n in shoreline(12.0):
        r = math.hypot(e, n)
        pts.append((e * (r - offset) / r, n * (r - offset) / r))
    return pts


def resample(waypoints, step):
    """Points every `step` metres along the way points."""
    out = [waypoints[0]]
    carry = 0.0
    for (e0, n0), (e1, n1) in zip(waypoints, waypoints[1:]):
        seg = math.hypot(e1 - e0, n1 - n0)
        pos = step - carry
        while pos <= seg:
            u = pos / seg
            out.append((e0 + (e1 - e0) * u, n0 + (n1 - n0) * u))
            pos += step
        carry = seg - (pos - step)
    return out


def sessions():
    """The four recording sessions, each a list of way points."""
    loop = shore_loop(22.0)
    along = [p for line in transects(28.0, 46.0, 14.0) for p in line]
    across = [p for line in transects(118.0, 130.0, 14.0) for p in line]
    inner = shore_loop(120.0)[::-1]
    return [loop, along, across, inner]


# ---------------------------------------------------------------- survey patterns
# Other ways of driving the same lake, for scoring interpolators against the
# true bottom. Each returns the sessions as lists of runs of way points; the
# oblique survey above stays the default and is not touched by them.

def water_runs(points, margin):
    """The stretches of a dense path that lie on open water, each long enough
    to steer along."""
    runs, run = [], []
    for p in points:
        if on_water(p[0], p[1], margin):
            run.append(p)
        elif run:
            runs.append(run)
            run = []
    if run:
        runs.append(run)
    return [r for r in runs if len(r) >= 4]


def parallel_plan():
    """A shore pass and east-west lines 110 m apart."""
    lines = transects(0.0, 110.0, 14.0)
    return [[shore_loop(22.0)], lines]


def zigzag_plan(seed):
    """Legs zig-zagging across the lake at 35 degrees, each leg 70 m further
    along it, two passes along the shore, and a wander out to the hump where
    the fish are."""
    a = math.radians(35.0)
    ue, un = math.cos(a), math.sin(a)          # along the lake, the way the legs advance
    ve, vn = -un, ue                           # across it
    reach = math.hypot(A, B) * 1.1
    leg, dense, u = 70.0, [], -reach
    while u <= reach:
        # A triangle wave: across and back while advancing one leg each way.
        phase = ((u + reach) / leg) % 2.0
        v = reach * (2.0 * phase - 1.0 if phase < 1.0 else 3.0 - 2.0 * phase)
        dense.append((u * ue + v * ve, u * un + v * vn))
        u += 0.5
    legs = water_runs(dense, 14.0)
    rng = random.Random(seed * 7919 + 35)
    ramp = shore_point(math.radians(200))
    start = (ramp[0] * 0.97, ramp[1] * 0.97)
    spot = (-420.0 + rng.uniform(-10, 10), -120.0 + rng.uniform(-10, 10))
    circle = [(spot[0] + 30.0 * math.cos(t / 12.0 * math.pi), spot[1] + 30.0 * math.sin(t / 12.0 * math.pi))
              for t in range(0, 49)]
    wander = [start] + circle + [start]
    return [[shore_loop(22.0)], legs, [shore_loop(60.0)[::-1]], [wander]]


def meander_plan(seed):
    """An angler wandering about the lake: a slowly turning course that veers
    off the shores, with the sounder switched off now and then."""
    rng = random.Random(seed * 7919 + 77)
    ramp = shore_point(math.radians(200))
    e, n = ramp[0] * 0.95, ramp[1] * 0.95
    heading = rng.uniform(-0.5, 0.5)
    plan = []
    for _ in range(3):                         # three trips
        runs, run, on, left = [], [], True, rng.uniform(400, 1200)
        for _ in range(1500):                  # about 9 km a trip, 6 m a step
            turn = rng.gauss(0.0, 0.10)
            for _ in range(40):
                e2 = e + 6.0 * math.cos(heading + turn)
                n2 = n + 6.0 * math.sin(heading + turn)
                if on_water(e2, n2, 25.0):
                    break
                # Steer towards the middle of the lake and a little beyond.
                turn += 0.35 if math.sin(math.atan2(-n, -e) - heading) > 0 else -0.35
            heading += turn
            e, n = e2, n2
            if on:
                run.append((e, n))
            left -= 6.0
            if left <= 0:
                on = not on
                left = rng.uniform(400, 1200) if on else rng.uniform(150, 500)
                if not on and len(run) > 1:
                    runs.append(run)
                run = []
        if len(run) > 1:
            runs.append(run)
        plan.append(runs)
    return plan


def every_other(lines):
    """Every other line, each driven from the end nearer to the last."""
    kept = [list(line) for line in lines[::2]]
    for i in range(1, len(kept)):
        end = kept[i - 1][-1]
        if math.dist(end, kept[i][-1]) < math.dist(end, kept[i][0]):
            kept[i].reverse()
    return kept


def sparse_plan():
    """The oblique survey with half its lines."""
    along = [p for line in every_other(transects(28.0, 46.0, 14.0)) for p in line]
    across = [p for line in every_other(transects(118.0, 130.0, 14.0)) for p in line]
    return [[shore_loop(22.0)], [along], [across], [shore_loop(120.0)[::-1]]]


PATTERNS = ("oblique", "parallel", "zigzag", "meander", "sparse")


def survey_plan(pattern, seed):
    if pattern == "oblique":
        return None
    if pattern == "parallel":
        return parallel_plan()
    if pattern == "zigzag":
        return zigzag_plan(seed)
    if pattern == "meander":
        return meander_plan(seed)
    return sparse_plan()


# ---------------------------------------------------------------- true bottom

def true_lake(seed):
    """The true depth field of the lake made with `seed`."""
    return Lake(random.Random(seed))


def true_depth(lon, lat, seed=1, lake=None):
    """The true depth in centimetres at a position in degrees, 0 on land."""
    lake = lake or true_lake(seed)
    e = (lon - LON0) * M_PER_DEG_LON
    n = (lat - LAT0) * M_PER_DEG_LAT
    return lake.depth(e, n)


def read_ascii_grid(path):
    """The header of an Esri ASCII grid (ncols, nrows, xllcorner, yllcorner,
    dx, dy or cellsize, NODATA_value) and its rows from the north, as floats."""
    header, rows = {}, []
    with open(path, encoding="ascii") as f:
        for line in f:
            parts = line.split()
            if not parts:
                continue
            if parts[0][0].isalpha():
                header[parts[0].lower()] = float(parts[1])
            else:
                rows.append([float(v) for v in parts])
    if "dx" not in header:
        header["dx"] = header["dy"] = header["cellsize"]
    return header, rows


def grid_nodes(header):
    """The longitudes of the columns and the latitudes of the rows (from the
    north) of a grid's cell centres."""
    nc, nr = int(header["ncols"]), int(header["nrows"])
    lons = [header["xllcorner"] + (i + 0.5) * header["dx"] for i in range(nc)]
    top = header["yllcorner"] + nr * header["dy"]
    lats = [top - (j + 0.5) * header["dy"] for j in range(nr)]
    return lons, lats


def truth_grid(header, seed):
    """The true depth at every node of the grid, rows from the north; None on
    land and on the islands."""
    lake = true_lake(seed)
    lons, lats = grid_nodes(header)
    out = []
    for lat in lats:
        n = (lat - LAT0) * M_PER_DEG_LAT
        row = []
        for lon in lons:
            e = (lon - LON0) * M_PER_DEG_LON
            on_lake = lake_fraction(e, n) < 1.0 and island_fraction(e, n) > 1.0
            row.append(lake.depth(e, n) if on_lake else None)
        out.append(row)
    return out


def write_truth(grid_path, out_path, seed):
    header, _ = read_ascii_grid(grid_path)
    truth = truth_grid(header, seed)
    nodata = header.get("nodata_value", -9999.0)
    lines = [f"ncols        {int(header['ncols'])}", f"nrows        {int(header['nrows'])}",
             f"xllcorner    {header['xllcorner']!r}", f"yllcorner    {header['yllcorner']!r}",
             f"dx           {header['dx']!r}", f"dy           {header['dy']!r}",
             f"NODATA_value {nodata:g}"]
    for row in truth:
        lines.append(" ".join(f"{nodata:g}" if v is None else f"{v:.3f}" for v in row))
    write(out_path, "\n".join(lines) + "\n")


def iso_time(seconds):
    day, rest = divmod(seconds, 86400.0)
    h, rest = divmod(rest, 3600.0)
    m, s = divmod(rest, 60.0)
    ms = int(round((s - int(s)) * 1000))
    stamp = f"2026-06-{13 + int(day):02d}T{int(h):02d}:{int(m):02d}:{int(s):02d}"
    return stamp + (f".{ms:03d}Z" if ms else "Z")


def survey(lake, rng, rate, plan=None):
    """The readings of every session. `plan` lists the sessions as lists of
    runs of way points (the sounder records along each run and is off
    between them); the default is the oblique survey, one run a session."""
    if plan is None:
        plan = [[way] for way in sessions()]
    segments = []
    clock = 6.5 * 3600.0                   # 06:30 UTC
    for number, runs in enumerate(plan):
        pts = [p for way in runs for p in resample(way, SPEED / rate)]
        jitter_e = jitter_n = 0.0
        seg = []
        for i, (e, n) in enumerate(pts):
            # GPS error wanders slowly; the sounder adds its own noise.
            jitter_e = 0.98 * jitter_e + rng.gauss(0.0, 0.25)
            jitter_n = 0.98 * jitter_n + rng.gauss(0.0, 0.25)
            d = lake.depth(e, n)
            reading = 0 if rng.random() < 0.003 else max(1, round(d + rng.gauss(0.0, 6.0)))
            lat, lon = to_latlon(e + jitter_e, n + jitter_n)
            seg.append((lat, lon, reading, clock + i / rate))
        segments.append(seg)
        clock += len(pts) / rate + 1800.0 + 600.0 * number   # a break between sessions
    return segments


def write(path, text):
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)
    os.replace(tmp, path)


def survey_gpx(segments):
    out = ['<?xml version="1.0" encoding="UTF-8"?>',
           '<gpx xmlns="http://www.topografix.com/GPX/1/1" xmlns:h="urn:example:sounder"'
           ' version="1.1" creator="sounder export">',
           "  <trk>", "    <name>Survey 2026-06-13</name>"]
    for seg in segments:
        out.append("    <trkseg>")
        for lat, lon, depth, t in seg:
            out.append(f'      <trkpt lat="{lat:.7f}" lon="{lon:.7f}"><ele>{ELEVATION:.1f}</ele>'
                       f"<time>{iso_time(t)}</time><extensions><h:depth>{depth}</h:depth></extensions></trkpt>")
        out.append("    </trkseg>")
    out += ["  </trk>", "</gpx>", ""]
    return "\n".join(out)


def shore_gpx(rings):
    out = ['<?xml version="1.0" encoding="UTF-8"?>',
           '<gpx xmlns="http://www.topografix.com/GPX/1/1" version="1.1" creator="make-lake">']
    for name, ring in rings:
        out += ["  <trk>", f"    <name>{name}</name>", "    <trkseg>"]
        for e, n in ring:
            lat, lon = to_latlon(e, n)
            out.append(f'      <trkpt lat="{lat:.7f}" lon="{lon:.7f}"></trkpt>')
        out += ["    </trkseg>", "  </trk>"]
    out += ["</gpx>", ""]
    return "\n".join(out)


def shore_kml(rings, ramp):
    out = ['<?xml version="1.0" encoding="UTF-8"?>', '<kml xmlns="http://www.opengis.net/kml/2.2">',
           "<Document>", "<name>Lake outline</name>"]
    for name, ring in rings:
        coords = " ".join(f"{lon:.7f},{lat:.7f},0" for lat, lon in (to_latlon(e, n) for e, n in ring))
        out += [f"<Folder><name>{name}</name>",
                f"<Placemark><name>{name} path</name><LineString><tessellate>1</tessellate>",
                "<coordinates>", coords, "</coordinates></LineString></Placemark></Folder>"]
    lat, lon = to_latlon(*ramp)
    out += [f"<Placemark><name>Boat ramp</name><Snippet>Parking<br/>Ramp</Snippet>"
            f"<Point><coordinates>{lon:.7f},{lat:.7f},0</coordinates></Point></Placemark>",
            "</Document>", "</kml>", ""]
    return "\n".join(out)


# ---------------------------------------------------------------- what a real survey adds


class ShoreDepthLake:
    """A lake whose water is `cm` deeper everywhere, so that the shoreline
    itself stands in water of that depth."""

    def __init__(self, lake, cm):
        self.lake, self.cm = lake, cm

    def depth(self, e, n):
        if lake_fraction(e, n) >= 1.0 or island_fraction(e, n) <= 1.0:
            return 0.0
        return self.lake.depth(e, n) + self.cm


def reorder(segments, order):
    """The sessions in the order given, numbered from 1."""
    if sorted(order) != list(range(1, len(segments) + 1)):
        raise SystemExit(f"--session-order needs each of 1 to {len(segments)} once")
    return [segments[i - 1] for i in order]


def on_separate_days(segments):
    """Each session moved to a day of its own (session i on day i)."""
    return [[(lat, lon, d, t + 86400.0 * i) for lat, lon, d, t in seg] for i, seg in enumerate(segments)]


def apply_levels(segments, levels):
    """Readings of session i deeper by levels[i] cm (the water stood higher)."""
    if len(levels) != len(segments):
        raise SystemExit(f"--levels needs {len(segments)} values, one per session")
    return [[(lat, lon, d if d == 0 else max(1, d + lv), t) for lat, lon, d, t in seg]
            for seg, lv in zip(segments, levels)]


def apply_transducer(segments, cm):
    """Readings taken from a transducer `cm` below the surface."""
    return [[(lat, lon, d if d == 0 else max(1, d - cm), t) for lat, lon, d, t in seg] for seg in segments]


def inject_spikes(segments, fraction, rng):
    """Replaces `fraction` of the readings by spikes; returns the new
    segments and the spikes as (session, index, time, true, recorded)."""
    out, spikes = [], []
    for s, seg in enumerate(segments):
        new = []
        for i, (lat, lon, d, t) in enumerate(seg):
            if d != 0 and rng.random() < fraction:
                off = rng.randint(100, 500)
                # Down into the water when it is deep enough, else up.
                bad = d - off if rng.random() < 0.5 and d - off >= 20 else d + off
                spikes.append((s, i, t, d, bad))
                d = bad
            new.append((lat, lon, d, t))
        out.append(new)
    return out, spikes


def truth(args, names, spikes):
    levels = args.levels or [0] * len(names)
    return {
        "seed": args.seed, "rate": args.rate,
        "sessions": [{"name": name, "level_cm": lv, "offset_cm": -(lv - levels[0])}
                     for name, lv in zip(names, levels)],
        "transducer_cm": args.transducer, "shore_depth_cm": args.shore_depth,
        "spikes": [{"session": s, "index": i, "time": iso_time(t), "reading_cm": d, "spike_cm": bad}
                   for s, i, t, d, bad in spikes],
    }


def levels_arg(text):
    try:
        return [int(v) for v in text.split(",")]
    except ValueError:
        raise argparse.ArgumentTypeError("a comma-separated list of whole centimetres, e.g. 0,30,-45,12")


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("outdir")
    ap.add_argument("--rate", type=float, default=1.0, help="readings per second (default 1)")
    ap.add_argument("--seed", type=int, default=1, help="random seed (default 1)")
    ap.add_argument("--prefix", default="lake", help="file name prefix (default lake)")
    ap.add_argument("--pattern", choices=PATTERNS, default="oblique",
                    help="how the boat drives (default oblique)")
    ap.add_argument("--truth-of", metavar="GRID.asc",
                    help="write NAME_truth.asc, the true depth at this grid's nodes, and nothing else")
    ap.add_argument("--levels", type=levels_arg, help="water level of each session in cm, e.g. 0,30,-45,12")
    ap.add_argument("--session-order", type=levels_arg, help="order of the sessions, e.g. 2,3,4,1")
    ap.add_argument("--session-files", action="store_true", help="one file per session")
    ap.add_argument("--spikes", type=float, default=0.0, help="share of readings made spikes, e.g. 0.01")
    ap.add_argument("--transducer", type=int, default=0, help="transducer depth below the surface in cm")
    ap.add_argument("--shore-depth", type=int, default=0, help="depth of the water at the shoreline in cm")
    ap.add_argument("--clean", action="store_true", help="also write the survey without offsets and spikes")
    ap.add_argument("--truth", help="write the truth as JSON to this file")
    ap.add_argument("--print-truth", action="store_true", help="print the truth as JSON")
    a = ap.parse_args(argv)
    if not (0.05 <= a.rate <= 50):
        ap.error("--rate must lie between 0.05 and 50")
    if not (0 <= a.spikes <= 0.5):
        ap.error("--spikes must lie between 0 and 0.5")
    if a.truth_of:
        os.makedirs(a.outdir, exist_ok=True)
        out = os.path.join(a.outdir, a.prefix + "_truth.asc")
        write_truth(a.truth_of, out, a.seed)
        print(f"{out}: the true depth at the nodes of {a.truth_of}")
        return
    rng = random.Random(a.seed)
    lake = Lake(rng)
    segments = survey(ShoreDepthLake(lake, a.shore_depth) if a.shore_depth else lake, rng, a.rate,
                      survey_plan(a.pattern, a.seed))
    rings = [("Shoreline", shoreline(9.0)), ("Island", island_ring(6.0))]
    os.makedirs(a.outdir, exist_ok=True)
    base = os.path.join(a.outdir, a.prefix)
    # What a real survey adds is drawn from a generator of its own, so that
    # the survey underneath stays the same with and without it.
    spikes = []
    if a.session_order:
        segments = reorder(segments, a.session_order)
    if a.levels is not None:
        segments = on_separate_days(segments)
    clean = segments
    if a.levels is not None:
        segments = apply_levels(segments, a.levels)
    if a.transducer:
        segments = apply_transducer(segments, a.transducer)
    if a.spikes:
        segments, spikes = inject_spikes(segments, a.spikes, random.Random(a.seed * 7919 + 17))
    if a.clean:
        write(base + "_clean.gpx", survey_gpx(clean))
    if a.session_files:
        names = [f"{a.prefix}_session{i + 1}.gpx" for i in range(len(segments))]
        for name, seg in zip(names, segments):
            write(os.path.join(a.outdir, name), survey_gpx([seg]))
    else:
        write(base + "_survey.gpx", survey_gpx(segments))
        names = [f"{a.prefix}_survey.gpx"] * len(segments)
    if a.levels is not None:
        names = [f"{name} {iso_time(seg[0][3])[:10]}" for name, seg in zip(names, segments)]
    t = truth(a, names, spikes)
    if a.truth:
        write(a.truth, json.dumps(t, indent=1) + "\n")
    write(base + "_shore.gpx", shore_gpx(rings))
    write(base + "_shore.kml", shore_kml(rings, shore_point(math.radians(200))))
    if a.print_truth:
        print(json.dumps(t, indent=1))
        return
    points = sum(len(s) for s in segments)
    deepest = max(p[2] for s in segments for p in s)
    written = f"{base}_session1.gpx ..." if a.session_files else f"{base}_survey.gpx"
    print(f"{written}: {points} points in {len(segments)} segments, deepest {deepest} cm"
          + (f", {len(spikes)} spikes" if a.spikes else ""))


if __name__ == "__main__":
    main(sys.argv[1:])
