#!/usr/bin/env bash
# The two programs seen from a shell: exit codes and messages of the
# command-line edges, and files that must be left as they were.
#   command_line_test.sh ORVIK-CLI ORVIK|"" SAMPLES-FOLDER
set -uo pipefail
cli=$1
program=$2
samples=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0

fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

# expect WHAT CODE COMMAND...: runs COMMAND, keeps its output in out/err.
expect() {
    local what=$1 code=$2
    shift 2
    "$@" >out 2>err
    local status=$?
    if [ "$status" -ne "$code" ]; then
        fail "$what: exit $status, expected $code; stderr: $(cat err)"
    fi
}

lines() { wc -l <"$1" | tr -d ' '; }

# Output that cannot be written is a failure, for every kind of command.
if [ -w /dev/full ]; then
    "$cli" dump "$samples/sample.tdr" >/dev/full 2>err
    [ $? -eq 1 ] || fail "dump > /dev/full did not exit 1"
    grep -q "cannot write to standard output" err || fail "dump > /dev/full: $(cat err)"
    "$cli" criteria "$samples/criteria.dat" >/dev/full 2>/dev/null
    [ $? -eq 1 ] || fail "criteria > /dev/full did not exit 1"
    "$cli" --version >/dev/full 2>/dev/null
    [ $? -eq 1 ] || fail "--version > /dev/full did not exit 1"
fi

# A file-size limit stands in for a full disk: the save fails with the
# operator's message instead of the program being ended by SIGXFSZ, and the
# old file stays whole with no temporary file beside it.
printf 'old collection\n' >limited.tdr
expect "resave past a file-size limit" 1 bash -c 'ulimit -f 8 && exec "$0" resave "$1" limited.tdr' \
    "$cli" "$samples/sample.tdr"
grep -q "^orvik-cli resave: Failed to save document\. .*File too large" err ||
    fail "resave past a file-size limit: $(cat err)"
[ "$(cat limited.tdr)" = "old collection" ] || fail "a failed resave changed the old file"
[ -z "$(find . -name '.limited.tdr.*')" ] || fail "a failed resave left a temporary file"

expect "criteria of a missing file" 1 "$cli" criteria missing.dat
[ "$(lines err)" = 1 ] && [ ! -s out ] || fail "criteria missing.dat: not one line: $(cat err)"
[ ! -e missing.dat ] || fail "criteria missing.dat created the file"

: >empty.raw
expect "process of an empty record" 1 "$cli" process --mode single empty.raw
[ "$(lines err)" = 1 ] && [ ! -s out ] || fail "process empty.raw: $(cat err)"
expect "process with --divisor 0" 1 "$cli" process --mode single --divisor 0 \
    "$samples/raw-single-50-ohm.txt"
[ "$(lines err)" = 1 ] && [ ! -s out ] || fail "--divisor 0: $(cat err)"
expect "process with --divisor nan" 2 "$cli" process --mode single --divisor nan \
    "$samples/raw-single-50-ohm.txt"
[ ! -s out ] || fail "--divisor nan printed a result"
[ ! -e TDR_Data.csv ] || fail "a refused process left a dump"

printf 'my notes\n' >notes.txt
expect "measure on a text file as store" 1 "$cli" measure --simulate --sim-store notes.txt
[ "$(cat notes.txt)" = "my notes" ] || fail "measure --sim-store changed notes.txt"
grep -q "not a simulated MV300 store" err || fail "measure --sim-store: $(cat err)"

expect "orvik-cli --version" 0 "$cli" --version
grep -Eq '^orvik-cli [0-9]' out || fail "orvik-cli --version printed: $(cat out)"
expect "orvik-cli --help" 0 "$cli" --help
grep -q "orvik-cli measure" out || fail "orvik-cli --help printed: $(cat out)"

# Every command answers --help with its own usage, and runs nothing.
for command in dump resave criteria measure process report export-csv run-script calibrate \
    recover devices; do
    expect "orvik-cli $command --help" 0 "$cli" "$command" --help
    grep -q "^usage: orvik-cli $command" out || fail "$command --help printed: $(cat out)"
    [ ! -s err ] || fail "$command --help wrote to stderr: $(cat err)"
done
[ ! -e TDR_Data.csv ] || fail "a --help measured"

# An on/off option given a value is bad usage, and nothing is written.
expect "calibrate --save=no" 2 "$cli" calibrate --simulate --sim-store saved.store --save=no
[ ! -e saved.store ] || fail "calibrate --save=no wrote the store"
grep -q -- "--save takes no value" err || fail "calibrate --save=no: $(cat err)"

# Text from a UTF-8 terminal: Latin-1 letters are kept, others refused by name.
expect "an operator in Greek" 2 "$cli" calibrate --simulate --operator "Ωmega" --save
grep -q 'the character "Ω" (U+03A9) cannot be stored' err || fail "Greek operator: $(cat err)"
expect "an operator in Latin-1" 0 "$cli" calibrate --simulate --operator "Zoë"
grep -q '"last_operator": ' out || fail "Latin-1 operator: $(cat out)"

if [ -n "$program" ]; then
    # No display, and no platform that would stand in for one.
    expect "orvik --help" 0 env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
        "$program" --help
    grep -q "^usage: orvik " out || fail "orvik --help printed: $(cat out)"
    [ ! -s err ] || fail "orvik --help wrote to stderr: $(cat err)"
    expect "orvik --version" 0 env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
        "$program" --version
    grep -Eq '^orvik [0-9]' out || fail "orvik --version printed: $(cat out)"

    expect "orvik on a text file as store" 1 env QT_QPA_PLATFORM=offscreen \
        "$program" --simulate --sim-store notes.txt
    [ "$(cat notes.txt)" = "my notes" ] || fail "orvik --sim-store changed notes.txt"
    grep -q "not a simulated MV300 store" err || fail "orvik --sim-store: $(cat err)"
    expect "orvik on an unwritable store path" 1 env QT_QPA_PLATFORM=offscreen \
        "$program" --simulate --sim-store no-such-folder/mv300.store
    grep -q "cannot be kept" err || fail "orvik unwritable --sim-store: $(cat err)"
fi

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "command-line edges: all checks passed"
