#!/usr/bin/env bash
# The options each program's parser takes, read from its source, against what
# its --help prints and what its manual page documents: an option added to
# one and not the others fails here.
#   options_test.sh ORVIK-CLI ORVIK|"" SOURCE-FOLDER
set -uo pipefail
cli=$1
program=$2
source=$3
failures=0

fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

# The --options of a manual page, with its escaped hyphens read as hyphens.
manual_options() {
    sed 's/\\-/-/g' "$1" | grep -oE -- '--[a-z][a-z-]*' | sort -u
}

# check NAME PARSED-OPTIONS HELP-TEXT MANUAL-PAGE
check() {
    local name=$1 parsed=$2 help=$3 manual=$4 option
    [ -n "$parsed" ] || fail "$name: no options found in its source"
    for option in $parsed; do
        grep -qE -- "$option([^a-z-]|$)" <<<"$help" || fail "$name --help does not list $option"
        grep -qx -- "$option" <<<"$(manual_options "$manual")" ||
            fail "$name's manual page does not document $option"
    done
    for option in $(manual_options "$manual"); do
        grep -qE -- "$option([^a-z-]|$)" <<<"$help" ||
            fail "$name's manual page documents $option, which --help does not list"
    done
}

cli_options=$(grep -ohE 'Option\("--[a-z-]+"\)' "$source"/src/cli/*.cpp |
    grep -oE -- '--[a-z-]+' | sort -u)
check orvik-cli "$cli_options --help --version" "$("$cli" --help)" \
    "$source/packaging/man/orvik-cli.1"

if [ -n "$program" ]; then
    program_options=$(grep -ohE '"--[a-z][a-z-]*' "$source/src/app/gui/program/main.cpp" |
        tr -d '"' | sort -u)
    check orvik "$program_options" \
        "$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --help)" \
        "$source/packaging/man/orvik.1"
fi

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "options: every option is on --help and in the manual page"
