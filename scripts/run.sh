#!/usr/bin/env bash
# Builds Orvik and starts it on the simulated MV300, in the working folder
# run/ (created with a sample criteria.dat on first use). Arguments are passed
# to the program, e.g. a collection to open.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

ORVIK_TARGETS="orvik" scripts/build.sh -DORVIK_GUI=ON >/dev/null
mkdir -p run
[ -f run/criteria.dat ] || cp samples/criteria.dat run/criteria.dat
cd run

program="$top/build/src/app/gui/program/orvik"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$program" --simulate "$@"
fi
echo "run: no display found; starting Orvik on a virtual display (xvfb)." >&2
echo "run: the README's Screenshots section shows how to see it." >&2
exec xvfb-run -a -s "-screen 0 1280x860x24" "$program" --simulate "$@"
