#!/usr/bin/env bash
# Runs the program's operating flow on the simulated MV300 under valgrind's
# memcheck and fails on a definite leak or an invalid read or write:
#   1. orvik-cli run-script: start-up, Run Test and Record Test for each
#      element of a coupon, the collection and the library saved;
#   2. orvik-screenshots on Qt's offscreen platform: the windows' start-up,
#      live mode, Run Test, Record Test, File > Save, a scripted run, the
#      report window and every dialog, then the main window closed.
# Uses the normal build (build/, built when missing). Qt's and fontconfig's
# own allocations are suppressed in scripts/suppressions/valgrind.supp, each
# with its reason. Logs go to ${ORVIK_VALGRIND_OUT:-build/valgrind}/.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

if ! command -v valgrind >/dev/null; then
    echo "valgrind: valgrind is not installed (apt-get install valgrind)" >&2
    exit 1
fi
ORVIK_TARGETS="orvik-cli orvik-screenshots" scripts/build.sh -DORVIK_GUI=ON >/dev/null

out=${ORVIK_VALGRIND_OUT:-build/valgrind}
rm -rf "$out"
mkdir -p "$out/work"
out=$(cd "$out" && pwd)
cp samples/criteria.dat "$out/work/criteria.dat"

# A finding of our code fails the run (exit 99); a leak counts only when it
# is definite, since Qt keeps caches reachable until the process ends.
memcheck=(valgrind --tool=memcheck --error-exitcode=99 --leak-check=full
    --show-leak-kinds=definite --errors-for-leak-kinds=definite --track-origins=no
    --num-callers=30 --suppressions="$top/scripts/suppressions/valgrind.supp")

failed=0
run() {  # run NAME COMMAND...
    local name=$1 started status=0
    shift
    started=$(date +%s)
    (cd "$out/work" && "${memcheck[@]}" --log-file="$out/$name.log" "$@" >"$out/$name.out" 2>&1) ||
        status=$?
    local summary
    summary=$(grep -E 'ERROR SUMMARY|definitely lost' "$out/$name.log" | tr -s ' ' |
        sed 's/^==[0-9]*== //' | paste -sd ';' - || true)
    echo "valgrind: $name: exit $status after $(($(date +%s) - started)) s: $summary"
    if [ "$status" -ne 0 ]; then
        echo "valgrind: $name FAILED; see $out/$name.log"
        failed=1
    fi
}

run run-script "$top/build/src/cli/orvik-cli" run-script --simulate --criteria criteria.dat \
    --script "Lot impedance" --coupons 1 --out batch.tdr
# Set here rather than through env(1), so that memcheck runs the program itself.
export QT_QPA_PLATFORM=offscreen
run screenshots "$top/build/src/app/gui/tools/orvik-screenshots" criteria.dat \
    "$out/work/screenshots"

[ -s "$out/work/batch.tdr" ] || { echo "valgrind: run-script saved no collection"; failed=1; }
[ -s "$out/work/screenshots/recorded.tdr" ] ||
    { echo "valgrind: the windows saved no collection"; failed=1; }
if [ "$failed" = 0 ]; then
    echo "valgrind: clean"
fi
exit "$failed"
