#!/usr/bin/env bash
# Builds everything and runs every test: the unit and window tests through
# CTest, then a short run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/build.sh -DORVIK_TESTS=ON -DORVIK_BENCH=ON -DORVIK_GUI=ON
ctest --test-dir build --output-on-failure --parallel "$(nproc)" --timeout 300
scripts/fuzz.sh smoke
