#!/usr/bin/env bash
# Configures and builds the Release tree in build/ (window, CLI, tests,
# benchmarks). Extra arguments go to the configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build build
