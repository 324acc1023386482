#!/usr/bin/env bash
# Two checkouts' Windows stages on one machine must not disturb each other. This runs the rows of
# test_operations that share the most with another run (the alias file and its journals in
# C:\ProgramData, the temporary folder, the process numbers Wine gives out) twice at once: here, and
# in a copy of build/windows/simulated outside the checkout with a prefix and a wineserver of its own,
# as a second checkout's stage would. Both must pass.
# Usage: scripts/side-by-side-windows.sh WINE (WINEPREFIX set, the prefix made, the windows preset built)
set -euo pipefail
cd "$(dirname "$0")/.."
wine=$1
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
rows='AliasFileAlone.*:RenameHost.*:PropertyReportHost.*'
second=$(mktemp -d /tmp/qvkelp-second-checkout-XXXXXX)
cleanup() {
    WINEPREFIX=$second/prefix "$wineserver" -k 2>/dev/null || true
    WINEPREFIX=$second/prefix "$wineserver" -w 2>/dev/null || true
    rm -rf "$second"
}
trap cleanup EXIT
cp -a build/windows/simulated "$second/simulated"
cp -a "$WINEPREFIX" "$second/prefix"
# Debian's Wine names the prefix's wineserver folder in the prefix: the copy gets one of its own.
rm -f "$second/prefix/wineserver" "$second/prefix/qvkelp-planted-machine"
WINEPREFIX=$second/prefix python3 scripts/wine_run.py --check-prefix "$wine"

run_rows() { # LABEL FOLDER PREFIX
    WINEPREFIX=$3 python3 scripts/wine_run.py --label "$1" --cwd "$2" -- \
        "$wine" ./test_operations.exe --gtest_brief=1 "--gtest_filter=$rows" >"$second/$1.log" 2>&1
}
run_rows this build/windows/simulated "$WINEPREFIX" &
this=$!
code=0
run_rows second "$second/simulated" "$second/prefix" || code=$?
wait "$this" || code=$?
for side in this second; do
    echo "- $side checkout: $(grep -E '^\[  (PASSED|FAILED) ' "$second/$side.log" | tr '\n' ' ')"
done
if [[ $code != 0 ]]; then
    cat "$second/this.log" "$second/second.log" >&2
fi
exit "$code"
