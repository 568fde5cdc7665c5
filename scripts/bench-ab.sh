#!/usr/bin/env bash
# Whole-process comparison of two builds of sondralis-cli on the same
# inputs, in alternating runs (the machine's speed drifts, so each round
# runs each build once), reporting per command the minimum, median and
# maximum wall time and CPU time (user + system) of each build and the ratio
# of the medians. Use it to compare a branch with the commit it started from:
#
#   git worktree add /tmp/base COMMIT && cmake -S /tmp/base -B /tmp/base/build ... && cmake --build /tmp/base/build
#   scripts/bench-ab.sh /tmp/base/build build [ROUNDS]
#
# The commands: convert of a 10 Hz lake (made by scripts/make-lake.py into
# /tmp when missing) and map of the example lake with 2 workers.
set -euo pipefail

a=${1:?usage: scripts/bench-ab.sh BUILD_A BUILD_B [ROUNDS]}
b=${2:?usage: scripts/bench-ab.sh BUILD_A BUILD_B [ROUNDS]}
rounds=${3:-7}
root=$(cd "$(dirname "$0")/.." && pwd)
lake=/tmp/sondralis-bench-lake-10hz
[ -f "$lake/lake_survey.gpx" ] || python3 "$root/scripts/make-lake.py" "$lake" --rate 10 >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run() {  # build name command...
  local build=$1 name=$2
  shift 2
  rm -rf "$work/out"
  /usr/bin/time -f "%e %U %S" -o "$work/t" "$build/src/cli/sondralis-cli" "$@" >/dev/null 2>&1
  awk '{print $1, $2 + $3}' "$work/t" >>"$work/$name"
}

for ((r = 0; r < rounds; r++)); do
  for side in a b; do
    build=${!side}
    run "$build" "convert-$side" convert "$lake/lake_survey.gpx" "$lake/lake_shore.kml" -o "$work/out.gpx"
    run "$build" "map-$side" map "$root/examples/lake_survey.gpx" "$root/examples/lake_shore.kml" -d "$work/out" \
      --threads 2
  done
done

stats() { sort -n | awk '{v[NR] = $1} END {m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.3f %.3f %.3f", v[1], m, v[NR]}'; }
printf '%-8s %-6s %-24s %-24s\n' command build "wall s (min med max)" "cpu s (min med max)"
for name in convert map; do
  for side in a b; do
    printf '%-8s %-6s %-24s %-24s\n' "$name" "$side" "$(cut -d' ' -f1 "$work/$name-$side" | stats)" \
      "$(cut -d' ' -f2 "$work/$name-$side" | stats)"
  done
  wa=$(cut -d' ' -f1 "$work/$name-a" | stats | cut -d' ' -f2)
  wb=$(cut -d' ' -f1 "$work/$name-b" | stats | cut -d' ' -f2)
  ca=$(cut -d' ' -f2 "$work/$name-a" | stats | cut -d' ' -f2)
  cb=$(cut -d' ' -f2 "$work/$name-b" | stats | cut -d' ' -f2)
  printf '%-8s b/a    wall %.3f, cpu %.3f\n' "$name" "$(echo "$wb / $wa" | bc -l)" "$(echo "$cb / $ca" | bc -l)"
done
