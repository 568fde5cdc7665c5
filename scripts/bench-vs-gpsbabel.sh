#!/usr/bin/env bash
# Whole-process comparison of sondralis-cli with gpsbabel on one GPX file,
# in alternating runs (the machine's speed drifts, so each round runs every
# command once), reporting the median wall time and the median peak
# resident memory of each command.
#
#   scripts/bench-vs-gpsbabel.sh FILE.gpx [ROUNDS] [CLI]
#
# CLI defaults to build/src/cli/sondralis-cli. The commands compared:
#   convert: sondralis-cli convert FILE -o OUT   /  gpsbabel -t -i gpx -f FILE -o gpx -F OUT
#   read:    sondralis-cli info FILE             /  gpsbabel -t -i gpx -f FILE
set -euo pipefail

in=${1:?usage: scripts/bench-vs-gpsbabel.sh FILE.gpx [ROUNDS] [CLI]}
rounds=${2:-7}
cli=${3:-"$(dirname "$0")/../build/src/cli/sondralis-cli"}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

declare -A cmds=(
  [sondralis-convert]="$cli convert $in -o $work/s.gpx"
  [gpsbabel-convert]="gpsbabel -t -i gpx -f $in -o gpx -F $work/g.gpx"
  [sondralis-info]="$cli info $in"
  [gpsbabel-read]="gpsbabel -t -i gpx -f $in"
)
order=(sondralis-convert gpsbabel-convert sondralis-info gpsbabel-read)

for ((r = 0; r < rounds; r++)); do
  for name in "${order[@]}"; do
    /usr/bin/time -f "%e %M" -o "$work/t" ${cmds[$name]} >/dev/null
    cat "$work/t" >>"$work/$name"
  done
done

median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
printf '%-20s %10s %12s\n' command wall_s peak_MB
for name in "${order[@]}"; do
  wall=$(cut -d' ' -f1 "$work/$name" | median)
  peak=$(cut -d' ' -f2 "$work/$name" | median)
  printf '%-20s %10.3f %12.1f\n' "$name" "$wall" "$(echo "$peak / 1024" | bc -l)"
done
