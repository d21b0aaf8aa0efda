#!/usr/bin/env bash
# scripts/run.sh's argument handling, through its dry run: what it would
# start, from a folder other than the repository, with and without a display.
set -euo pipefail
top=$1
outside=$(mktemp -d)
trap 'rm -rf "$outside"' EXIT
cd "$outside"
failures=0

check() {  # check WHAT EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then
        echo "FAILED: $1"
        echo "  expected: $2"
        echo "  actual:   $3"
        failures=$((failures + 1))
    fi
}

run_dry() {
    ORVIK_RUN_DRY_RUN=1 "$top/scripts/run.sh" "$@"
}

build="${ORVIK_BUILD_DIR:-build}"
case "$build" in /*) ;; *) build="$top/$build" ;; esac
program="$build/src/app/gui/program/orvik"

# Without a display the first line says so; relative paths become the
# caller's, whatever run.sh does with the folder afterwards.
output=$(env -u DISPLAY -u WAYLAND_DISPLAY ORVIK_RUN_DRY_RUN=1 \
    "$top/scripts/run.sh" a.tdr "sub dir/b.tdr" /abs/c.tdr Characterize characterize \
    --sim-store s.store --sim-store=t.store --log l.log --log=m.log --simulate=50)
check "first line without a display" \
    "run: no display found: Orvik will run on a private virtual display (Xvfb), with screenshots." \
    "$(head -n 1 <<<"$output")"
expected="run: would start in $top/run: $program --simulate $outside/a.tdr $outside/sub\\ dir/b.tdr /abs/c.tdr Characterize characterize --sim-store $outside/s.store --sim-store=$outside/t.store --log $outside/l.log --log=$outside/m.log --simulate=50"
check "resolved command" "$expected" "$(tail -n 1 <<<"$output")"

# With a display nothing is said about one, and no arguments is fine.
output=$(DISPLAY=:99 run_dry)
check "with a display" "run: would start in $top/run: $program --simulate" "$(tail -n 1 <<<"$output")"
check "no display line with a display" "" "$(grep 'no display' <<<"$output" || true)"

# A dry run builds and creates nothing.
check "nothing created in the caller's folder" "" "$(ls -A "$outside")"

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "run.sh argument handling: all checks passed"
