#!/usr/bin/env bash
# What the shipped hwconfig.exe and DLL cost to name one board by its item name against a whole
# list, on Wine's own SetupAPI and registry holding a machine of BOARDS boards made by
# scripts/make-machine.py: the wall time of each, as a user waits for it (most of it is Wine's
# registry server, which no CPU time of the program's own shows).
#
#     bench/shipped-hwconfig.sh [BOARDS]        (default 200)
#
# Needs the Windows stage built (scripts/test-windows.sh, or `cmake --build --preset windows`
# after it made the prefix build/windows/wineprefix). Works in a copy of that prefix, removed at
# the end; the first run, which plants the machine, is not timed. `show` runs three times, `list`
# once; a list of 1,000 boards takes minutes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
boards=${1:-200}
wine=${WINE:-$(command -v wine64 || echo /usr/lib/wine/wine64)}
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
[[ -d $root/build/windows/wineprefix && -f $root/build/windows/shipped/hwconfig.exe ]] || {
    echo "build the Windows stage first (scripts/test-windows.sh)" >&2
    exit 1
}

work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all
trap '"$wineserver" -k 2>/dev/null || true; rm -rf "$work"' EXIT
item=$(python3 "$root/scripts/make-machine.py" "$boards" "$work/machine" | tail -n 1 | tr -d '\r')
cp -a "$root/build/windows/wineprefix" "$WINEPREFIX"
# The shipped DLL keeps its aliases in the prefix's C:\ProgramData.
cp -r "$work/machine/drive_c/ProgramData" "$WINEPREFIX/drive_c/"
"$wineserver" -p
"$wine" cmd /c exit 0 </dev/null >/dev/null 2>&1

hwconfig() { "$root/scripts/run-shipped.sh" "$work/machine/machine.json" -- hwconfig.exe "$@" >/dev/null 2>&1; }
# Seconds of wall time of one run that succeeds.
seconds() {
    local start end
    start=$(date +%s%N)
    "$@" || { echo "failed: $*" >&2; return 1; }
    end=$(date +%s%N)
    awk -v ns=$((end - start)) 'BEGIN { printf "%.2f", ns / 1e9 }'
}

hwconfig show "$item"
shows=()
for _ in 1 2 3; do
    shows+=("$(seconds hwconfig show "$item")")
done
show=$(printf '%s\n' "${shows[@]}" | sort -n | sed -n 2p)
list=$(seconds hwconfig list)
ratio=$(python3 -c "print('%.3f' % ($show / $list))")
echo "$boards boards: show ITEM_NAME ${show} s (median of ${shows[*]}), list ${list} s: ${ratio}x"
