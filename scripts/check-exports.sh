#!/usr/bin/env bash
# Reads the exports of the example lake's map with independent tools and
# compares them with what `sondralis-cli map` writes for the same map:
#
#   scripts/check-exports.sh [BUILD_DIR]     (default: build)
#
# - depth.tif (gdalinfo, gdal_translate): the size, extent, cell sizes and
#   nodata of depth.asc, EPSG:4326, and every cell's value within 1e-6;
# - contours.gpkg and contours.shp (ogrinfo): the layers contours, soundings
#   and safety with their fields, as many contour features as contours.gpx
#   has tracks and as many soundings as samples.csv has rows;
# - chart.mbtiles (gdalinfo): minzoom and maxzoom as stated, and every level
#   between them there at its resolution;
# - spots.hwr (gpsbabel -i humminbird): the waypoints of spots.gpx;
# - report.json: band areas adding up to the surveyed area.
#
# Needs the reference tools, which the build and the tests never install:
#   apt-get install gdal-bin gpsbabel
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

for tool in gdalinfo ogrinfo gdal_translate gpsbabel python3; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "check-exports: $tool is missing; install it with: apt-get install gdal-bin gpsbabel python3" >&2
    exit 2
  fi
done
for program in "$build/src/cli/sondralis-cli" "$build/bench/exports/export_example"; do
  [ -x "$program" ] || { echo "check-exports: $program is missing; build first" >&2; exit 2; }
done

work=$(mktemp -d /tmp/sondralis-check-exports.XXXXXX)
trap 'rm -rf "$work"' EXIT
"$build/src/cli/sondralis-cli" map examples/lake_survey.gpx examples/lake_shore.kml -d "$work/map" >/dev/null
"$build/bench/exports/export_example" "$work/out" 200 >"$work/out.log" 2>/dev/null
map=$work/map
out=$work/out
failed=0
fail() { echo "FAIL: $*"; failed=1; }
ok() { echo "ok:   $*"; }

# The exports were made from map's own run.
if cmp -s "$map/depth.asc" "$out/depth.asc"; then ok "export_example's depth.asc is map's, byte for byte"
else fail "export_example's run differs from map's"; fi

# depth.tif beside depth.asc.
gdalinfo -json "$out/depth.tif" >"$work/tif.json"
gdalinfo -json "$map/depth.asc" >"$work/asc.json"
gdal_translate -q -b 1 -of XYZ "$out/depth.tif" "$work/tif.xyz"
gdal_translate -q -of XYZ "$map/depth.asc" "$work/asc.xyz"
python3 - "$work" <<'EOF' && ok "depth.tif: size, geotransform, nodata, EPSG:4326 and every cell of depth.asc" || fail "depth.tif differs from depth.asc"
import json, math, sys
w = sys.argv[1]
tif, asc = json.load(open(w + "/tif.json")), json.load(open(w + "/asc.json"))
assert tif["driverShortName"] == "GTiff"
assert tif["size"] == asc["size"], (tif["size"], asc["size"])
for a, b in zip(tif["geoTransform"], asc["geoTransform"]):
    assert abs(a - b) <= 1e-6 * max(abs(b), 1e-9), (tif["geoTransform"], asc["geoTransform"])
assert '"EPSG",4326' in tif["coordinateSystem"]["wkt"].replace(" ", "")[-40:], "not EPSG:4326"
bands = tif["bands"]
assert len(bands) == 2 and all(b["type"] == "Float32" for b in bands)
assert all(math.isnan(float(b["noDataValue"])) for b in bands)
assert tif["metadata"]["IMAGE_STRUCTURE"]["COMPRESSION"] == "DEFLATE"
assert bands[0]["block"] == [256, 256]
cells = 0
with open(w + "/tif.xyz") as t, open(w + "/asc.xyz") as a:
    for lt, la in zip(t, a):
        xt, yt, vt = map(float, lt.split())
        xa, ya, va = map(float, la.split())
        assert abs(xt - xa) < 1e-9 and abs(yt - ya) < 1e-9
        if va == -9999:
            assert math.isnan(vt), (lt, la)
        else:
            assert abs(vt - va) <= 1e-6 * abs(va) + 1e-9, (lt, la)
            cells += 1
assert cells > 100000, cells
print("      %d cells with a depth" % cells)
EOF

# The GeoPackage and the shapefile set.
tracks=$(grep -c "<trk>" "$map/contours.gpx")
samples=$(($(wc -l <"$map/samples.csv") - 1))
summary() { ogrinfo -so "$1" "$2" 2>/dev/null; }
count() { summary "$1" "$2" | sed -n 's/^Feature Count: //p'; }
[ "$(count "$out/contours.gpkg" contours)" = "$tracks" ] && ok "contours.gpkg: contours has $tracks features, as contours.gpx has tracks" \
  || fail "contours.gpkg: $(count "$out/contours.gpkg" contours) contour features, contours.gpx has $tracks tracks"
[ "$(count "$out/contours.gpkg" soundings)" = "$samples" ] && ok "contours.gpkg: soundings has $samples features, as samples.csv has rows" \
  || fail "contours.gpkg: $(count "$out/contours.gpkg" soundings) soundings, samples.csv has $samples rows"
[ "$(count "$out/contours.gpkg" safety)" -gt 0 ] && ok "contours.gpkg: safety has $(count "$out/contours.gpkg" safety) features" \
  || fail "contours.gpkg: no safety layer"
for layer in contours safety; do
  fields=$(summary "$out/contours.gpkg" "$layer" | grep -E "^depth_(cm|m):" | tr '\n' ' ')
  [ "$fields" = "depth_cm: Integer (0.0) depth_m: Real (0.0) " ] && ok "contours.gpkg: $layer has depth_cm (integer) and depth_m (real)" \
    || fail "contours.gpkg: $layer's fields are $fields"
done
summary "$out/contours.gpkg" contours | grep -q 'ID\["EPSG",4326\]' && ok "contours.gpkg: EPSG:4326" || fail "contours.gpkg: not EPSG:4326"
[ "$(count "$out/contours.shp" contours)" = "$tracks" ] && ok "contours.shp: $tracks features" \
  || fail "contours.shp: $(count "$out/contours.shp" contours) features, contours.gpx has $tracks tracks"

# The MBTiles' levels.
read -r _ minzoom maxzoom < <(grep "^zoom " "$work/out.log")
meta=$(gdalinfo "$out/chart.mbtiles")
if grep -q "minzoom=$minzoom" <<<"$meta" && grep -q "maxzoom=$maxzoom" <<<"$meta"; then
  ok "chart.mbtiles: zoom levels $minzoom to $maxzoom, as stated"
else
  fail "chart.mbtiles does not state zoom levels $minzoom to $maxzoom"
fi
for ((z = minzoom; z <= maxzoom; z++)); do
  size=$(gdalinfo -oo ZOOM_LEVEL=$z "$out/chart.mbtiles" 2>/dev/null | sed -n 's/^Pixel Size = (\([0-9.]*\),.*/\1/p')
  expected=$(python3 -c "import math; print('%.6f' % (2 * math.pi * 6378137 / 256 / 2 ** $z))")
  [ -n "$size" ] && [ "$(printf '%.6f' "$size")" = "$expected" ] && ok "chart.mbtiles: level $z, $size m pixels" \
    || fail "chart.mbtiles: level $z missing or of pixel size '$size'"
done

# The unit's waypoints read back by gpsbabel.
gpsbabel -i humminbird -f "$out/spots.hwr" -o gpx,humminbirdextensions=1 -F "$work/back.gpx"
python3 - "$out/spots.gpx" "$work/back.gpx" <<'EOF' && ok "spots.hwr: gpsbabel reads the waypoints of spots.gpx" || fail "spots.hwr and spots.gpx differ"
import sys, xml.etree.ElementTree as ET
def points(path):
    out = []
    for w in ET.parse(path).getroot():
        if not w.tag.endswith("}wpt"):
            continue
        get = lambda tag: next((c.text for c in w.iter() if c.tag.split("}")[-1] == tag), None)
        out.append((get("name"), get("sym"), float(w.get("lat")), float(w.get("lon")), float(get("depth"))))
    return out
ours, theirs = points(sys.argv[1]), points(sys.argv[2])
assert len(ours) == len(theirs) > 0, (len(ours), len(theirs))
for a, b in zip(ours, theirs):
    assert a[0] == b[0] and a[1] == b[1] and len(a[0]) <= 12, (a, b)
    assert abs(a[2] - b[2]) < 1e-5 and abs(a[3] - b[3]) < 1e-5 and abs(a[4] - b[4]) < 0.5, (a, b)
print("      %d waypoints: %s" % (len(ours), ", ".join(p[0] for p in ours)))
EOF

python3 - "$out/report.json" <<'EOF' && ok "report.json: the depth bands add up to the surveyed area" || fail "report.json does not add up"
import json, sys
r = json.load(open(sys.argv[1]))
bands = sum(l["band_area_m2"] for l in r["levels"])
assert abs(bands - r["surveyed_area_m2"]) <= 0.1 * len(r["levels"]), (bands, r["surveyed_area_m2"])
assert r["levels"][0]["volume_below_m3"] == r["volume_m3"]
assert 0 < r["surveyed_share"] <= 1
print("      lake %.0f m2, surveyed %.1f %%, volume %.0f m3, greatest depth %.2f m" % (
    r["lake_area_m2"], 100 * r["surveyed_share"], r["volume_m3"], r["greatest_depth_m"]))
EOF

exit $failed
