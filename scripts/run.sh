#!/usr/bin/env bash
# Builds Orvik and starts it on the simulated MV300, in the working folder
# run/ (created with a sample criteria.dat on first use). Arguments are passed
# to the program, e.g. a collection to open; relative paths in them (files,
# --sim-store, --log) are taken from the folder the script was started in.
#
# Without a display the program runs on a private virtual display (Xvfb): a
# screenshot of its main window is written a few seconds after start-up and
# again when Ctrl+C stops it, and nothing is left behind.
#
# ORVIK_RUN_DRY_RUN=1 prints what would be built and started, and stops there.
set -euo pipefail

caller=$(pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${ORVIK_BUILD_DIR:-build}
case "$build_dir" in
    /*) ;;
    *) build_dir="$top/$build_dir" ;;
esac
program="$build_dir/src/app/gui/program/orvik"
working="$top/run"

say() { echo "run: $*"; }
# shellcheck source=scripts/virtual-display.sh
. "$top/scripts/virtual-display.sh"

absolute() {
    case "$1" in
        /* | "") printf '%s' "$1" ;;
        *) printf '%s/%s' "$caller" "$1" ;;
    esac
}

# The program runs in run/, so every path it is given must not depend on the
# folder the script was started from: documents, the store and the log file.
arguments=()
path_value_next=0
for argument in "$@"; do
    if [ "$path_value_next" = 1 ]; then
        arguments+=("$(absolute "$argument")")
        path_value_next=0
        continue
    fi
    case "$argument" in
        --sim-store | --log) path_value_next=1 ;;
        --sim-store=*) argument="--sim-store=$(absolute "${argument#--sim-store=}")" ;;
        --log=*) argument="--log=$(absolute "${argument#--log=}")" ;;
        -*) ;;
        *) [ "${argument,,}" = characterize ] || argument=$(absolute "$argument") ;;
    esac
    arguments+=("$argument")
done
command=("$program" --simulate "${arguments[@]}")

headless=1
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    headless=0
fi
if [ "$headless" = 1 ]; then
    say "no display found: Orvik will run on a private virtual display (Xvfb), with screenshots."
fi

if [ -n "${ORVIK_RUN_DRY_RUN:-}" ]; then
    say "would build: ORVIK_TARGETS=orvik scripts/build.sh -DORVIK_GUI=ON"
    say "would start in $working:$(printf ' %q' "${command[@]}")"
    exit 0
fi

say "building Orvik (the first build takes a few minutes)"
ORVIK_TARGETS="orvik" "$top/scripts/build.sh" -DORVIK_GUI=ON
mkdir -p "$working"
[ -f "$working/criteria.dat" ] || cp "$top/samples/criteria.dat" "$working/criteria.dat"
cd "$working"

# Everything this run creates outside run/ lives here and goes at the end.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/orvik-run.XXXXXX")
program_pid=""
xvfb_pid=""

clean_up() {
    stop_process "$program_pid"
    stop_process "$xvfb_pid"
    rm -rf "$scratch"
}
trap clean_up EXIT

use_private_runtime_folder "$scratch"

if [ "$headless" = 0 ]; then
    trap 'exit 130' INT TERM
    "${command[@]}" &
    program_pid=$!
    status=0
    wait "$program_pid" || status=$?
    program_pid=""
    exit "$status"
fi

# A virtual display of our own (see virtual-display.sh); its own session
# keeps the terminal's Ctrl+C away from it and the program, so that the last
# screenshot can still be taken.
start_virtual_display "$scratch" 1280x860x24 own-session || exit 1

setsid "${command[@]}" &
program_pid=$!
say "Orvik is running (process $program_pid) on virtual display $DISPLAY."

started="$working/screenshot-started.png"
stopped="$working/screenshot-stopped.png"

# Where the program's main window is on the virtual display, as WxH+X+Y.
main_window() {
    local id
    id=$(xwininfo -root -children 2>/dev/null | awk '/"Orvik - Simulated MV300/ { print $1; exit }')
    [ -n "$id" ] || return 0
    xwininfo -id "$id" 2>/dev/null | awk '
        /Absolute upper-left X:/ { x = $NF }
        /Absolute upper-left Y:/ { y = $NF }
        /^ *Width:/ { w = $NF }
        /^ *Height:/ { h = $NF }
        END { if (w) printf "%dx%d+%d+%d\n", w, h, x, y }'
}

# The screen where the main window is, so that a dialog over it shows too
# (the whole screen when xwininfo, of x11-utils, is missing).
screenshot() {
    local file=$1 geometry="" crop=()
    if command -v xwininfo >/dev/null; then
        geometry=$(main_window)
        crop=(-crop "$geometry" +repage)
    else
        geometry="whole screen"
    fi
    if [ -n "$geometry" ] &&
        import -window root "${crop[@]}" "$file" 2>"$scratch/import.log"; then
        say "screenshot of the main window: $file"
        return 0
    fi
    say "could not take a screenshot of the main window: ${geometry:-no window found}" \
        "$(cat "$scratch/import.log" 2>/dev/null)"
    return 1
}

stop_requested() {
    trap - INT TERM
    echo
    screenshot "$stopped" || true
    say "stopping Orvik."
    clean_up
    trap - EXIT
    say "stopped; nothing left behind but run/."
    exit 0
}
trap stop_requested INT TERM

say "press Ctrl+C to stop it; a last screenshot then goes to $stopped"
# A few seconds after the window appears its first state has settled.
for _ in $(seq 60); do
    command -v xwininfo >/dev/null || break
    [ -n "$(main_window)" ] && break
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.5
done
sleep 3
if kill -0 "$program_pid" 2>/dev/null; then
    screenshot "$started" || true
fi

status=0
wait "$program_pid" || status=$?
program_pid=""
say "Orvik ended by itself with status $status."
exit "$status"
