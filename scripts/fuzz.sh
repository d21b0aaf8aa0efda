#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, ASan and UBSan into build-fuzz/ and
# runs them.
#   scripts/fuzz.sh smoke          every target for ${ORVIK_FUZZ_SECONDS:-20} s, then
#                                  one line "fuzz: N passed, N failed"
#   scripts/fuzz.sh run TARGET S   one target for S seconds
#   scripts/fuzz.sh keep TARGET [MAX_BYTES]
#                                  minimise what the runs found together with the
#                                  kept corpus (and fuzz/seeds/TARGET/) into
#                                  fuzz/corpus/TARGET/, leaving out inputs longer
#                                  than MAX_BYTES so that the kept corpora stay small
# Every run starts from the kept corpus fuzz/corpus/TARGET/ (seeded by
# scripts/make_fuzz_seeds.py); new inputs go to build-fuzz/corpus/TARGET/.
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
    local kept=fuzz/corpus/$target
    [ -d "$kept" ] || kept=""
    local log=build-fuzz/logs/$target.log status=0
    mkdir -p build-fuzz/logs build-fuzz/artifacts
    echo "fuzz: $target for $seconds s"
    # An input that runs for 30 s is a finding of its own (a hang, saved as
    # timeout-*); and since the run's total time is checked only between
    # inputs, the run as a whole is stopped a minute after its time.
    timeout --kill-after=10 "$((seconds + 60))" \
        "build-fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
        -artifact_prefix="build-fuzz/artifacts/$target-" \
        -max_len=65536 "$corpus" $kept >"$log" 2>&1 || status=$?
    if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
        echo "fuzz: $target was still running a minute after its $seconds s" >>"$log"
    fi
    # The coverage reached (cov: edges, ft: features) and the run's figures;
    # on a finding, the report's end.
    grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::' "$log" || true
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$log"
    fi
    return "$status"
}

keep_corpus() {
    local target=$1 max_bytes=${2:-65536}
    local kept=fuzz/corpus/$target merged=build-fuzz/merged/$target
    local candidates=build-fuzz/candidates/$target
    rm -rf "$merged" "$candidates"
    mkdir -p "$merged" "$candidates" "$kept" "build-fuzz/corpus/$target"
    local folder
    for folder in "$kept" "fuzz/seeds/$target" "build-fuzz/corpus/$target"; do
        if [ -d "$folder" ]; then
            find "$folder" -maxdepth 1 -type f -size "-$((max_bytes + 1))c" \
                -exec cp -n -t "$candidates" {} +
        fi
    done
    "build-fuzz/fuzz/$target" -merge=1 -max_len=65536 "$merged" "$candidates" 2>&1 | tail -n 2
    if [ -z "$(ls -A "$merged")" ]; then
        echo "fuzz: the merge of $target gave nothing; fuzz/corpus/$target is left as it was" >&2
        return 1
    fi
    rm -f "$kept"/*
    cp "$merged"/* "$kept"/
    echo "fuzz: $target keeps $(ls "$kept" | wc -l) inputs, $(du -sk --apparent-size "$kept" | cut -f1) kB"
}

case "$mode" in
    smoke)
        # Every target runs even after a finding, so that one report covers
        # all; one target per core at a time, each one's lines printed
        # together once it has finished.
        passed=0
        failed=0
        slots=$(nproc)
        mkdir -p build-fuzz/smoke
        rm -f build-fuzz/smoke/*
        for target in $(cat build-fuzz/fuzz/targets.txt); do
            while [ "$(jobs -rp | wc -l)" -ge "$slots" ]; do
                wait -n || true
            done
            (
                status=0
                run_target "$target" "${ORVIK_FUZZ_SECONDS:-20}" >"build-fuzz/smoke/$target.out" 2>&1 || status=$?
                echo "$status" >"build-fuzz/smoke/$target.status"
            ) &
        done
        wait
        for target in $(cat build-fuzz/fuzz/targets.txt); do
            cat "build-fuzz/smoke/$target.out"
            if [ "$(cat "build-fuzz/smoke/$target.status" 2>/dev/null)" = 0 ]; then
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
    keep)
        keep_corpus "$2" "${3:-65536}"
        ;;
    *)
        echo "usage: scripts/fuzz.sh smoke | run TARGET SECONDS | keep TARGET [MAX_BYTES]" >&2
        exit 2
        ;;
esac
