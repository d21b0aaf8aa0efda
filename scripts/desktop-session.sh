#!/usr/bin/env bash
# Runs a command on a desktop of its own: a private X server (Xvfb, on the
# first free display, reachable only with its cookie) with a window manager
# (openbox), so that windows get focus, default buttons and Alt+F4 as on a
# real desktop. The command sees DISPLAY and QT_QPA_PLATFORM=xcb; the server
# and the window manager stop when it ends, and its exit status is returned.
# Works without any display of the caller's and as root. On a machine
# without the X server or the window manager it runs nothing and exits 77,
# which CTest counts as a skipped test.
#
#   scripts/desktop-session.sh COMMAND [ARGUMENT...]
set -euo pipefail

readonly skipped=77

if [ $# -eq 0 ]; then
    echo "usage: scripts/desktop-session.sh COMMAND [ARGUMENT...]" >&2
    exit 2
fi
for tool in Xvfb openbox xdotool xauth xprop mcookie; do
    if ! command -v "$tool" >/dev/null; then
        echo "desktop-session: skipped: $tool is missing; scripts/install-deps.sh installs it" >&2
        exit "$skipped"
    fi
done

# shellcheck source=scripts/virtual-display.sh
. "$(dirname "$0")/virtual-display.sh"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/orvik-desktop.XXXXXX")
xvfb_pid=""
wm_pid=""

clean_up() {
    stop_process "$wm_pid"
    stop_process "$xvfb_pid"
    rm -rf "$scratch"
}
trap clean_up EXIT

start_virtual_display "$scratch" 1600x1000x24 || exit 1

# openbox keeps its settings under HOME, which it gets here so that nothing
# of the caller's is read or written.
use_private_runtime_folder "$scratch"
mkdir -m 700 "$scratch/home"
HOME="$scratch/home" openbox --sm-disable >"$scratch/openbox.log" 2>&1 &
wm_pid=$!
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    kill -0 "$wm_pid" 2>/dev/null || break
    sleep 0.1
done
if ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; then
    echo "desktop-session: the window manager did not start:" >&2
    cat "$scratch/openbox.log" >&2
    exit 1
fi

status=0
QT_QPA_PLATFORM=xcb "$@" || status=$?
exit "$status"
