#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, ASan and UBSan into build-fuzz/ and
# runs them.
#   scripts/fuzz.sh smoke          every target for ${ORVIK_FUZZ_SECONDS:-20} s, then
#                                  one line "fuzz: N passed, N failed"
#   scripts/fuzz.sh run TARGET S   one target for S seconds
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-smoke}
if ! command -v clang++ >/dev/null; then
    echo "fuzz: clang++ is not installed; run scripts/install-deps.sh" >&2
    exit 1
fi

CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVIK_FUZZ=ON -DORVIK_GUI=OFF -DORVIK_TESTS=OFF -DORVIK_BENCH=OFF >/dev/null
cmake --build build-fuzz --parallel "$(nproc)"

run_target() {
    local target=$1 seconds=$2
    local corpus=build-fuzz/corpus/$target
    mkdir -p "$corpus"
    local seeds=fuzz/seeds/$target
    [ -d "$seeds" ] || seeds=""
    echo "fuzz: $target for $seconds s"
    "build-fuzz/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
        -max_len=65536 "$corpus" $seeds 2>&1 | tail -n 12
    # libFuzzer exits non-zero on a finding; pipefail carries it out.
}

case "$mode" in
    smoke)
        # Every target runs even after a finding, so that one report covers all.
        passed=0
        failed=0
        for target in $(cat build-fuzz/fuzz/targets.txt); do
            if run_target "$target" "${ORVIK_FUZZ_SECONDS:-20}"; then
                passed=$((passed + 1))
            else
                echo "fuzz: $target FAILED"
                failed=$((failed + 1))
            fi
        done
        echo "fuzz: $passed passed, $failed failed"
        [ "$failed" = 0 ]
        ;;
    run)
        run_target "$2" "$3"
        ;;
    *)
        echo "usage: scripts/fuzz.sh smoke | run TARGET SECONDS" >&2
        exit 2
        ;;
esac
