#!/usr/bin/env bash
# Reads the exports `sondralis-cli map` writes for the example lake with
# independent tools:
#
#   scripts/check-exports.sh [BUILD_DIR]     (default: build)
#
# - the options leave the run alone: depth.asc is a plain map's, byte for byte;
# - depth.tif (gdalinfo, gdal_translate): the size, extent, cell sizes and
#   nodata of depth.asc, EPSG:4326, and every cell's value within 1e-6;
# - contours.gpkg and contours.shp (ogrinfo): the layers contours, soundings
#   and safety with their fields, as many contour features as contours.gpx
#   has tracks and as many soundings as samples.csv has rows;
# - chart.mbtiles (gdalinfo): minzoom and maxzoom as map's summary states
#   them, and every level between them there at its resolution;
# - chart.pdf (pdfinfo, pdfimages, pdftoppm): one A4 landscape page whose
#   raster is at 300 dpi, rendered without complaint;
# - spots.hwr (gpsbabel -i humminbird): the waypoints of spots.gpx;
# - report.json: band areas adding up to the surveyed area.
#
# Needs the reference tools, which the build and the tests never install:
#   apt-get install gdal-bin gpsbabel poppler-utils
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

for tool in gdalinfo ogrinfo gdal_translate gpsbabel pdfinfo pdfimages pdftoppm python3; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "check-exports: $tool is missing; install it with: apt-get install gdal-bin gpsbabel poppler-utils python3" >&2
    exit 2
  fi
done
cli=$build/src/cli/sondralis-cli
[ -x "$cli" ] || { echo "check-exports: $cli is missing; build first" >&2; exit 2; }

work=$(mktemp -d /tmp/sondralis-check-exports.XXXXXX)
trap 'rm -rf "$work"' EXIT
lake=(examples/lake_survey.gpx examples/lake_shore.kml)
"$cli" map "${lake[@]}" -d "$work/plain" >/dev/null
"$cli" map "${lake[@]}" -d "$work/map" --geotiff --gpkg --shp --mbtiles --pdf --spots --report --hillshade \
  --safety 200 >"$work/summary.txt"
map=$work/map
failed=0
fail() { echo "FAIL: $*"; failed=1; }
ok() { echo "ok:   $*"; }

# The exports were made from the plain map's run.
if cmp -s "$work/plain/depth.asc" "$map/depth.asc"; then ok "depth.asc is a plain map's, byte for byte"
else fail "the exports' options changed the run"; fi

# depth.tif beside depth.asc.
gdalinfo -json "$map/depth.tif" >"$work/tif.json"
gdalinfo -json "$map/depth.asc" >"$work/asc.json"
gdal_translate -q -b 1 -of XYZ "$map/depth.tif" "$work/tif.xyz"
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
[ "$(count "$map/contours.gpkg" contours)" = "$tracks" ] && ok "contours.gpkg: contours has $tracks features, as contours.gpx has tracks" \
  || fail "contours.gpkg: $(count "$map/contours.gpkg" contours) contour features, contours.gpx has $tracks tracks"
[ "$(count "$map/contours.gpkg" soundings)" = "$samples" ] && ok "contours.gpkg: soundings has $samples features, as samples.csv has rows" \
  || fail "contours.gpkg: $(count "$map/contours.gpkg" soundings) soundings, samples.csv has $samples rows"
[ "$(count "$map/contours.gpkg" safety)" -gt 0 ] && ok "contours.gpkg: safety has $(count "$map/contours.gpkg" safety) features" \
  || fail "contours.gpkg: no safety layer"
for layer in contours safety; do
  fields=$(summary "$map/contours.gpkg" "$layer" | grep -E "^depth_(cm|m):" | tr '\n' ' ')
  [ "$fields" = "depth_cm: Integer (0.0) depth_m: Real (0.0) " ] && ok "contours.gpkg: $layer has depth_cm (integer) and depth_m (real)" \
    || fail "contours.gpkg: $layer's fields are $fields"
done
summary "$map/contours.gpkg" contours | grep -q 'ID\["EPSG",4326\]' && ok "contours.gpkg: EPSG:4326" || fail "contours.gpkg: not EPSG:4326"
[ "$(count "$map/contours.shp" contours)" = "$tracks" ] && ok "contours.shp: $tracks features" \
  || fail "contours.shp: $(count "$map/contours.shp" contours) features, contours.gpx has $tracks tracks"

# The MBTiles' levels.
read -r minzoom maxzoom < <(sed -n 's/^MBTiles: .*zoom levels \([0-9]*\) to \([0-9]*\)$/\1 \2/p' "$work/summary.txt")
meta=$(gdalinfo "$map/chart.mbtiles")
if grep -q "minzoom=$minzoom" <<<"$meta" && grep -q "maxzoom=$maxzoom" <<<"$meta"; then
  ok "chart.mbtiles: zoom levels $minzoom to $maxzoom, as stated"
else
  fail "chart.mbtiles does not state zoom levels $minzoom to $maxzoom"
fi
for ((z = minzoom; z <= maxzoom; z++)); do
  size=$(gdalinfo -oo ZOOM_LEVEL=$z "$map/chart.mbtiles" 2>/dev/null | sed -n 's/^Pixel Size = (\([0-9.]*\),.*/\1/p')
  expected=$(python3 -c "import math; print('%.6f' % (2 * math.pi * 6378137 / 256 / 2 ** $z))")
  [ -n "$size" ] && [ "$(printf '%.6f' "$size")" = "$expected" ] && ok "chart.mbtiles: level $z, $size m pixels" \
    || fail "chart.mbtiles: level $z missing or of pixel size '$size'"
done

# The printed chart.
info=$(pdfinfo "$map/chart.pdf")
if grep -q "^Pages: *1$" <<<"$info" && grep -q "^Page size: *842 x 595 pts (A4)" <<<"$info"; then
  ok "chart.pdf: one A4 landscape page"
else
  fail "chart.pdf: $(grep -E '^(Pages|Page size):' <<<"$info" | tr '\n' ' ')"
fi
images=$(pdfimages -list "$map/chart.pdf" | awk 'NR > 2 && $3 == "image" {print $4 "x" $5 " at " $13 " x " $14 " ppi"}')
if [ "$(wc -l <<<"$images")" = 1 ] && grep -q " at 300 x 300 ppi$" <<<"$images"; then
  ok "chart.pdf: one raster, $images"
else
  fail "chart.pdf's rasters: $images"
fi
if pdftoppm -png -r 50 "$map/chart.pdf" "$work/page" 2>"$work/pdftoppm.err" && [ ! -s "$work/pdftoppm.err" ]; then
  ok "chart.pdf: pdftoppm renders it without complaint"
else
  fail "pdftoppm: $(cat "$work/pdftoppm.err")"
fi

# The unit's waypoints read back by gpsbabel.
gpsbabel -i humminbird -f "$map/spots.hwr" -o gpx,humminbirdextensions=1 -F "$work/back.gpx"
python3 - "$map/spots.gpx" "$work/back.gpx" <<'EOF' && ok "spots.hwr: gpsbabel reads the waypoints of spots.gpx" || fail "spots.hwr and spots.gpx differ"
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

python3 - "$map/report.json" <<'EOF' && ok "report.json: the depth bands add up to the surveyed area" || fail "report.json does not add up"
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
