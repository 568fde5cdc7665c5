#!/usr/bin/env bash
# The product's main job, timed as a user runs it: `sondralis-cli map` on the
# example lake at the default size, as whole processes (hyperfine), with the
# peak resident memory of one run and the time of each stage from its
# summary. Needs hyperfine (apt-get install hyperfine) and a built tree.
#   scripts/bench-map.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-10}
cli=build/src/cli/sondralis-cli
command -v hyperfine >/dev/null || { echo "needs hyperfine: apt-get install hyperfine" >&2; exit 1; }
[ -x "$cli" ] || { echo "build first: scripts/build.sh" >&2; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
map=("$cli" map examples/lake_survey.gpx examples/lake_shore.kml -d "$out/map")
echo "== one run, its summary and peak memory"
/usr/bin/time -f "peak resident memory: %M KB, wall %e s" "${map[@]}"
echo "== $runs runs (nproc $(nproc))"
hyperfine --warmup 1 --runs "$runs" --style basic "${map[*]} >/dev/null"
