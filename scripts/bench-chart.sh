#!/usr/bin/env bash
# The chart tracer against the classic one and against gdal_contour, on the
# example lake and on generated lakes, at several steps and picture sizes:
# for every case `sondralis-cli map` makes the depth grid (depth.asc) and the
# classic contours (contours.gpx); build/bench/contours/chart_contours traces
# the chart lines on that grid (as traced, and with the chart's defaults:
# rings under 8 px dropped, thinning at 0.25 px); gdal_contour traces the
# same grid at the same levels. Prints one line per case: crossings between
# lines of different levels (scripts/count-crossings.py), the share of our
# traced points within 0.1 px of gdal_contour's lines, crossings after
# smoothing (3 passes)
# (scripts/compare-gdal-contour.py), and the HT counts of both paths.
#
#   scripts/bench-chart.sh [SEEDS] [SIZES] [STEPS]
#   e.g. scripts/bench-chart.sh "1 2 3" "815x649 1600x1200" "100 50 25 10"
#
# Seed 1 is the example lake. Needs a built tree (scripts/build.sh, with the
# benchmarks) and the reference tools, which the build and the tests never
# use: apt-get install gdal-bin python3-shapely.
set -euo pipefail
cd "$(dirname "$0")/.."
seeds=${1:-"1 2 3 4 5"}
sizes=${2:-"815x649 1600x1200"}
steps=${3:-"100 50 25 10"}
cli=build/src/cli/sondralis-cli
tool=build/bench/contours/chart_contours
[ -x "$cli" ] && [ -x "$tool" ] || { echo "build first, with the benchmarks: scripts/build.sh" >&2; exit 1; }
command -v gdal_contour >/dev/null || { echo "needs gdal_contour: apt-get install gdal-bin" >&2; exit 1; }
python=""
for p in python3 /usr/bin/python3; do
  if "$p" -c "import shapely" 2>/dev/null; then python=$p; break; fi
done
[ -n "$python" ] || { echo "needs shapely: apt-get install python3-shapely" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
field() { sed -n "s/.*\"$1\": \([^,}]*\).*/\1/p"; }
echo "processor: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores"
printf "%-5s %-10s %5s | %-39s | %-19s | %s\n" "" "" "" "crossings between levels" "traced vs gdal" "HT points"
printf "%-5s %-10s %5s | %9s %9s %9s %9s | %8s %10s | %9s %9s\n" \
  lake size step classic chart smoothed gdal "<=0.1px" "largest px" classic chart
for seed in $seeds; do
  lake="$work/lake$seed"
  "$python" scripts/make-lake.py "$lake" --seed "$seed" >/dev/null
  for size in $sizes; do
    for step in $steps; do
      out="$work/map"
      rm -rf "$out"
      summary=$("$cli" map "$lake/lake_survey.gpx" "$lake/lake_shore.kml" -d "$out" --size "$size" --step "$step")
      pixelHT=$(sed -n 's/.*(\([0-9]*\) HT points).*/\1/p' <<<"$summary")
      deepest=$("$python" -c "
import sys
vals = [float(v) for line in open(sys.argv[1]).readlines()[7:] for v in line.split() if v != '-9999']
print(int(max(vals)))" "$out/depth.asc")
      levels=$(seq -s ' ' "$step" "$step" "$deepest")
      "$tool" "$out/depth.asc" --step "$step" -o "$out/traced.geojson" >/dev/null
      chartHT=$("$tool" "$out/depth.asc" --step "$step" -o "$out/chart.geojson" --min-ring 8 --tolerance 0.25 |
        sed -n 's/.*ht_points \([0-9]*\).*/\1/p')
      "$tool" "$out/depth.asc" --step "$step" -o "$out/smooth.geojson" --min-ring 8 --tolerance 0.25 --smooth 3 >/dev/null
      gdal_contour --config AAIGRID_DATATYPE Float64 -q -a level -fl $levels "$out/depth.asc" "$out/gdal.geojson"
      counts=$("$python" scripts/count-crossings.py "$out/contours.gpx" "$out/chart.geojson" "$out/smooth.geojson" \
        "$out/gdal.geojson")
      pixel=$(sed -n 1p <<<"$counts" | field crossings)
      chart=$(sed -n 2p <<<"$counts" | field crossings)
      smooth=$(sed -n 3p <<<"$counts" | field crossings)
      gdal=$(sed -n 4p <<<"$counts" | field crossings)
      # Lines of the chart must not even touch.
      touches=$(sed -n 2,3p <<<"$counts" | field touches | awk '{ s += $1 } END { print s }')
      compare=$("$python" scripts/compare-gdal-contour.py "$out/depth.asc" "$out/traced.geojson" "$out/gdal.geojson")
      share=$(field share <<<"$compare")
      largest=$(field largest_px <<<"$compare")
      [ "$touches" = 0 ] || chart="$chart+${touches}touch"
      printf "%-5s %-10s %5s | %9s %9s %9s %9s | %8s %10.4f | %9s %9s\n" \
        "$seed" "$size" "$step" "$pixel" "$chart" "$smooth" "$gdal" "$share" "$largest" "$pixelHT" "$chartHT"
    done
  done
done
