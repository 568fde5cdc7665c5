#!/usr/bin/env bash
# The main job: installs what is missing, builds, and makes the depth map of
# the example lake with sondralis-cli map: pictures, depth grid, contours
# and HT files in out/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
build/src/cli/sondralis-cli map examples/lake_survey.gpx examples/lake_shore.kml -d out
echo "Copy out/*.ht into a folder \"matrix\" on the unit's SD card."
