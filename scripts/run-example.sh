#!/usr/bin/env bash
# The main job: installs what is missing, builds, describes the example lake
# and writes its survey as an HT track file, out/000.ht.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
cli=build/src/cli/sondralis-cli
"$cli" info examples/lake_survey.gpx examples/lake_shore.gpx examples/lake_shore.kml
mkdir -p out
"$cli" ht examples/lake_survey.gpx -o out/000.ht
echo "Wrote out/000.ht"
