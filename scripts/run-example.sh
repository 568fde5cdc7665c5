#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs sondralis-cli.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
build/src/cli/sondralis-cli --version
