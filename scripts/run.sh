#!/usr/bin/env bash
# Builds Orvik and shows a sample trace collection through the command-line tool.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/build.sh -DORVIK_TESTS=OFF -DORVIK_BENCH=OFF >/dev/null
build/src/cli/orvik-cli dump samples/sample.tdr
