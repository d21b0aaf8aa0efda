#!/usr/bin/env bash
# Runs a command on a desktop of its own: a private X server (Xvfb, on the
# first free display, reachable only with its cookie) with a window manager
# (openbox), so that windows get focus, default buttons and Alt+F4 as on a
# real desktop. The command sees DISPLAY and QT_QPA_PLATFORM=xcb; the server
# and the window manager stop when it ends, and its exit status is returned.
# Works without any display of the caller's and as root.
#
#   scripts/desktop-session.sh COMMAND [ARGUMENT...]
set -euo pipefail

if [ $# -eq 0 ]; then
    echo "usage: scripts/desktop-session.sh COMMAND [ARGUMENT...]" >&2
    exit 2
fi
for tool in Xvfb openbox xdotool xauth xprop mcookie; do
    if ! command -v "$tool" >/dev/null; then
        echo "desktop-session: $tool is missing; scripts/install-deps.sh installs it" >&2
        exit 1
    fi
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/orvik-desktop.XXXXXX")
xvfb_pid=""
wm_pid=""

stop_process() {
    local pid=$1
    [ -n "$pid" ] || return 0
    kill -TERM "$pid" 2>/dev/null || return 0
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.2
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

clean_up() {
    stop_process "$wm_pid"
    stop_process "$xvfb_pid"
    rm -rf "$scratch"
}
trap clean_up EXIT

export XAUTHORITY="$scratch/Xauthority"
cookie=$(mcookie)
: >"$XAUTHORITY"
xauth -q -f "$XAUTHORITY" add :0 MIT-MAGIC-COOKIE-1 "$cookie"
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp -auth "$XAUTHORITY" \
    3>"$scratch/display" >"$scratch/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$scratch/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
done
if [ ! -s "$scratch/display" ]; then
    echo "desktop-session: the X server did not start:" >&2
    cat "$scratch/xvfb.log" >&2
    exit 1
fi
export DISPLAY=":$(head -n 1 "$scratch/display")"
xauth -q -f "$XAUTHORITY" add "$DISPLAY" MIT-MAGIC-COOKIE-1 "$cookie"

# Qt wants a runtime folder of the user's own, closed to others; openbox
# keeps its settings under HOME, which it gets here so that nothing of the
# caller's is read or written.
mkdir -m 700 "$scratch/runtime" "$scratch/home"
export XDG_RUNTIME_DIR="$scratch/runtime"
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
