#!/usr/bin/env bash
# Configures and builds everything (program, command-line tool, tests,
# benchmarks) into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${ORVIK_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=${ORVIK_BUILD_TYPE:-RelWithDebInfo} "$@"
cmake --build "$build_dir" --parallel "$(nproc)"
