#!/usr/bin/env bash
# Configures and builds into build/: everything (program, command-line tool,
# tests, benchmarks), or only the targets named in ORVIK_TARGETS.
# Arguments are passed to cmake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${ORVIK_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=${ORVIK_BUILD_TYPE:-RelWithDebInfo} "$@"
targets=()
for target in ${ORVIK_TARGETS:-}; do
    targets+=(--target "$target")
done
cmake --build "$build_dir" --parallel "$(nproc)" "${targets[@]}"
