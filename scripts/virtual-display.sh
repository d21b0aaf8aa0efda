# Shared by the scripts that run windows on a private X server of their own
# (run.sh, desktop-session.sh); sourced, not run.

# Stops a process: asked first, killed when it has not ended five seconds later.
stop_process() {
    local pid=$1
    [ -n "$pid" ] || return 0
    kill -TERM "$pid" 2>/dev/null || return 0
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.5
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

# Qt wants a runtime folder of the user's own, closed to others, and warns on
# every start without one (as under root, or in a container): one in SCRATCH
# unless the caller's will do.
use_private_runtime_folder() {  # use_private_runtime_folder SCRATCH
    if [ -n "${XDG_RUNTIME_DIR:-}" ] && [ -d "$XDG_RUNTIME_DIR" ] && [ -O "$XDG_RUNTIME_DIR" ] &&
        [ "$(stat -c %a "$XDG_RUNTIME_DIR")" = 700 ]; then
        return 0
    fi
    mkdir -m 700 "$1/runtime"
    export XDG_RUNTIME_DIR="$1/runtime"
}

# An X server of our own, reachable only with its cookie, on the first free
# display number (Xvfb writes the number once it accepts clients). Exports
# DISPLAY and XAUTHORITY and sets xvfb_pid; says why and fails when it did
# not start. With "own-session" it runs in a session of its own, away from
# the terminal's Ctrl+C; otherwise it stays in the caller's process group, so
# that whatever kills the group (a test runner's time-out) ends it too.
start_virtual_display() {  # start_virtual_display SCRATCH WIDTHxHEIGHTxDEPTH [own-session]
    local scratch=$1 screen=$2 cookie
    local server=(Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -auth "$scratch/Xauthority")
    if [ "${3:-}" = own-session ]; then
        server=(setsid "${server[@]}")
    fi
    export XAUTHORITY="$scratch/Xauthority"
    cookie=$(mcookie)
    : >"$XAUTHORITY"
    xauth -q -f "$XAUTHORITY" add :0 MIT-MAGIC-COOKIE-1 "$cookie"
    "${server[@]}" 3>"$scratch/display" >"$scratch/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$scratch/display" ] && break
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ ! -s "$scratch/display" ]; then
        echo "the virtual display did not start:" >&2
        cat "$scratch/xvfb.log" >&2
        return 1
    fi
    export DISPLAY=":$(head -n 1 "$scratch/display")"
    xauth -q -f "$XAUTHORITY" add "$DISPLAY" MIT-MAGIC-COOKIE-1 "$cookie"
}
