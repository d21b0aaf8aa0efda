#!/usr/bin/env bash
# Builds everything and runs every test: the unit and window tests through
# CTest, then a short run of each fuzz target.
#   scripts/test.sh           everything (what CI runs)
#   scripts/test.sh --quick   without the fuzz runs, for a re-run while working
#   scripts/test.sh --sanitize the same CTest tests built with AddressSanitizer and
#                             UndefinedBehaviorSanitizer (leaks too) in build-asan/
# Ends with a count for each and, last, one line "total: N passed, N failed".
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
sanitize=0
for argument in "$@"; do
    case "$argument" in
        --quick) quick=1 ;;
        --sanitize) sanitize=1 ;;
        *)
            echo "usage: scripts/test.sh [--quick | --sanitize]" >&2
            exit 2
            ;;
    esac
done

build_dir=build
timeout=300
if [ "$sanitize" = 1 ]; then
    # Only what the tests need: no benchmarks, no fuzz runs. -O1 keeps the
    # stack traces readable and the build quicker than the normal -O2; line
    # tables (-g1) are all a sanitizer report needs, and much quicker to make
    # than full debug information.
    build_dir=build-asan
    quick=1
    timeout=900
    ORVIK_BUILD_DIR=$build_dir ORVIK_BUILD_TYPE=RelWithDebInfo scripts/build.sh \
        -DORVIK_TESTS=ON -DORVIK_BENCH=OFF -DORVIK_GUI=ON -DORVIK_SANITIZE=ON \
        "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1"
    suppressions=$(pwd)/scripts/suppressions
    # The emulated-USB tests run under umockdev-wrapper, which preloads its own
    # library ahead of the sanitizer runtime; the runtime still intercepts
    # everything it needs, so its check of the library order is switched off.
    export ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    export LSAN_OPTIONS=suppressions=$suppressions/lsan.supp:print_suppressions=0
else
    scripts/build.sh -DORVIK_TESTS=ON -DORVIK_BENCH=ON -DORVIK_GUI=ON
fi

log=$(mktemp)
trap 'rm -f "$log"' EXIT

# A failing test must not hide the others' results: every stage runs, and the
# counts decide the exit status.
ctest --test-dir "$build_dir" --output-on-failure --parallel "$(nproc)" --timeout "$timeout" | tee "$log" || true
summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
if [ -n "$summary" ]; then
    tests_failed=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$summary")
    tests_total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
    # CTest counts a skipped test among the passed ones; this count does not.
    tests_skipped=$(grep -cE '^[[:space:]]+[0-9]+ - .* \(Skipped\)$' "$log" || true)
    tests_passed=$((tests_total - tests_failed - tests_skipped))
else
    echo "test: CTest gave no summary" >&2
    tests_passed=0
    tests_failed=1
    tests_skipped=0
fi

fuzz_passed=0
fuzz_failed=0
if [ "$quick" = 0 ]; then
    scripts/fuzz.sh smoke | tee "$log" || true
    counts=$(grep -E '^fuzz: [0-9]+ passed, [0-9]+ failed$' "$log" | tail -n 1 || true)
    if [ -n "$counts" ]; then
        fuzz_passed=$(sed -E 's/^fuzz: ([0-9]+) passed.*/\1/' <<<"$counts")
        fuzz_failed=$(sed -E 's/.* ([0-9]+) failed$/\1/' <<<"$counts")
    else
        echo "test: the fuzz targets did not build or run" >&2
        fuzz_failed=1
    fi
fi

echo
echo "tests: $tests_passed passed, $tests_failed failed, $tests_skipped skipped"
if [ "$sanitize" = 1 ]; then
    echo "fuzz: skipped (--sanitize; the fuzz targets carry the sanitizers themselves)"
elif [ "$quick" = 0 ]; then
    echo "fuzz: $fuzz_passed passed, $fuzz_failed failed"
else
    echo "fuzz: skipped (--quick)"
fi
failed=$((tests_failed + fuzz_failed))
echo "total: $((tests_passed + fuzz_passed)) passed, $failed failed"
[ "$failed" = 0 ]
