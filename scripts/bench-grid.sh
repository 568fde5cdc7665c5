#!/usr/bin/env bash
# Benchmarks `sondralis-cli grid` against gdal_grid's inverse distance to a
# power (no search radius, no point limit, no smoothing) on the example
# survey (1 Hz, every sounding a sample) at 400 x 300 nodes, as whole
# processes timed by hyperfine, and compares their grids node by node:
#   p = 8: ours against gdal_grid, which is exact there;
#   p = 2: gdal_grid takes a single-precision path, so ours and gdal_grid's
#          are both compared with the plain formula in double (plain_grid).
# gdal_grid and hyperfine are benchmark tools only, never needed to build or
# test: apt-get install gdal-bin hyperfine
# Usage: scripts/bench-grid.sh   (after scripts/build.sh; RUNS=n to change the
# number of timed runs, 5 by default)
set -euo pipefail
cd "$(dirname "$0")/.."

for tool in gdal_grid gdal_translate hyperfine python3; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "error: $tool is missing; install the benchmark tools with: apt-get install gdal-bin hyperfine python3" >&2
    exit 1
  fi
done
cli=build/src/cli/sondralis-cli
plain=build/bench/interpolation/plain_grid
if [ ! -x "$cli" ] || [ ! -x "$plain" ]; then
  echo "error: build first with scripts/build.sh" >&2
  exit 1
fi

work=build/bench-grid
mkdir -p "$work"
runs=${RUNS:-5}
W=400
H=300

# The samples as lon,lat,depth. Every value is rounded to a 32-bit float
# first and printed so that it reads back as exactly that value, so both
# programs interpolate the very same numbers.
read -r minlon minlat maxlon maxlat < <(python3 - examples/lake_survey.gpx "$work/samples.csv" <<'EOF'
import re, struct, sys
f32 = lambda v: struct.unpack('f', struct.pack('f', v))[0]
text = open(sys.argv[1], encoding='utf-8').read()
rows = []
for m in re.finditer(r'<trkpt lat="([^"]+)" lon="([^"]+)">.*?<h:depth>([^<]+)</h:depth>', text):
    rows.append((f32(float(m.group(2))), f32(float(m.group(1))), f32(float(m.group(3)))))
with open(sys.argv[2], 'w') as out:
    out.write('lon,lat,depth\n')
    for lon, lat, depth in rows:
        out.write(f'{lon!r},{lat!r},{depth!r}\n')
lons = [r[0] for r in rows]; lats = [r[1] for r in rows]
print(repr(min(lons)), repr(min(lats)), repr(max(lons)), repr(max(lats)))
print(f'{len(rows)} samples', file=sys.stderr)
EOF
)
cat >"$work/samples.vrt" <<EOF
<OGRVRTDataSource>
  <OGRVRTLayer name="samples">
    <SrcDataSource>$PWD/$work/samples.csv</SrcDataSource>
    <GeometryType>wkbPoint</GeometryType>
    <GeometryField encoding="PointFromColumns" x="lon" y="lat" z="depth"/>
  </OGRVRTLayer>
</OGRVRTDataSource>
EOF
echo "extent $minlon,$minlat,$maxlon,$maxlat, $W x $H nodes, $(nproc) cores, kernel on this machine: see bench_interpolation"

for P in 8 2; do
  ours="$cli grid $work/samples.csv --extent $minlon,$minlat,$maxlon,$maxlat --size ${W}x$H --power $P -o $work/ours-p$P.asc"
  gdal="gdal_grid -q -a invdist:power=$P:smoothing=0:radius1=0:radius2=0:max_points=0 -txe $minlon $maxlon -tye $maxlat $minlat -outsize $W $H -ot Float64 -of GTiff $work/samples.vrt $work/gdal-p$P.tif"
  hyperfine --style basic --warmup 1 --runs "$runs" --export-json "$work/p$P.json" -n "sondralis-cli grid p=$P" "$ours" -n "gdal_grid p=$P" "$gdal"
  gdal_translate -q -of AAIGrid -co SIGNIFICANT_DIGITS=17 "$work/gdal-p$P.tif" "$work/gdal-p$P.asc"
done
echo "plain formula at p = 2 (slow) ..."
"$plain" "$work/samples.csv" "$minlon" "$minlat" "$maxlon" "$maxlat" $W $H 2 "$work/plain-p2.asc"

python3 - "$work" <<'EOF'
import json, sys
work = sys.argv[1]
def grid(path):
    values, header = [], {}
    for line in open(path):
        parts = line.split()
        if parts and parts[0][0].isalpha():
            header[parts[0].lower()] = float(parts[1])
        else:
            values.extend(float(v) for v in parts)
    assert len(values) == int(header['ncols']) * int(header['nrows']), path
    return values
def worst(a, b):
    return max(abs(x - y) / abs(y) for x, y in zip(a, b))
for p in (8, 2):
    runs = json.load(open(f'{work}/p{p}.json'))['results']
    print(f'p = {p}: sondralis-cli grid {runs[0]["mean"]:.3f} s, gdal_grid {runs[1]["mean"]:.3f} s, '
          f'{runs[1]["mean"] / runs[0]["mean"]:.1f} x faster')
ours8, gdal8 = grid(f'{work}/ours-p8.asc'), grid(f'{work}/gdal-p8.asc')
print(f'p = 8: largest relative difference from gdal_grid: {worst(ours8, gdal8):.2e} (limit 1e-9)')
ours2, gdal2, plain2 = grid(f'{work}/ours-p2.asc'), grid(f'{work}/gdal-p2.asc'), grid(f'{work}/plain-p2.asc')
print(f'p = 2: largest relative difference from the plain formula: ours {worst(ours2, plain2):.2e} (limit 1e-9), '
      f'gdal_grid {worst(gdal2, plain2):.2e}')
EOF
