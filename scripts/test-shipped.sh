#!/usr/bin/env bash
# The shipped DLL on Wine's own SetupAPI and registry (build/windows/shipped, docs/machine-format.md
# "On Windows: the shipped DLL"): checks that the folder's DLL and hwconfig.exe are build/windows/bin's
# byte for byte and that no test equipment is in build/windows/bin, then runs there the hwconfig tour,
# the host-level operation tests that the registry can carry, and the three builds compared on
# generated machines (scripts/compare-builds.py; COMPARE_SEEDS widens the fixed set, e.g. 1-300).
# Usage: scripts/test-shipped.sh WINE (WINEPREFIX set, the prefix made, the windows preset built)
set -euo pipefail
cd "$(dirname "$0")/.."
wine=$1
bin=build/windows/bin
shipped=build/windows/shipped
status=0
# One wineserver for the whole stage. The server a wine process starts by itself ends with its last
# process (it runs with -p0), and the server's desktop and service processes, started by the first
# run, hold the standard output and error they inherited from it: each of the stage's short runs
# would wait seconds for them to end before its output was complete, and would start them again.
# So the server is made persistent and they are started once here, with output of their own.
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
"$wineserver" -k 2>/dev/null || true
"$wineserver" -p
trap '"$wineserver" -k 2>/dev/null || true' EXIT
"$wine" cmd /c exit 0 </dev/null >/dev/null 2>&1

echo "--- shipped files"
for file in qvkelpsysapiexpertu.dll hwconfig.exe; do
    read -r built _ < <(sha256sum "$bin/$file")
    read -r copied _ < <(sha256sum "$shipped/$file")
    if [[ $built != "$copied" ]]; then
        echo "error: $shipped/$file differs from $bin/$file" >&2
        exit 1
    fi
    echo "$file: sha256 $built, as in $bin"
done
for equipment in setupapi.dll setupapi_wine.dll plant-machine.exe gap-numbering-check.exe; do
    if [[ -e $bin/$equipment ]]; then
        echo "error: test equipment $equipment is in $bin" >&2
        exit 1
    fi
done
# plant-machine.exe must write Wine's registry, not the simulation's: its registry calls are
# ADVAPI32's.
if x86_64-w64-mingw32-objdump -p "$shipped/plant-machine.exe" |
    awk '/DLL Name:/ {dll = $3} /^\t/ && dll == "qvwinsim.dll" {print $NF}' | grep -q '^Reg'; then
    echo "error: plant-machine.exe takes registry calls from qvwinsim.dll" >&2
    exit 1
fi

echo "--- the gap filler's DEVINST numbering, ANSI and wide calls (lab machine)"
WINE=$wine python3 scripts/wine_run.py --label gap-numbering-check -- \
    scripts/run-shipped.sh examples/lab.json -- gap-numbering-check.exe || status=1

echo "--- hwconfig tour (build/windows/shipped)"
scripts/hwconfig-tour-windows.sh "$wine" shipped || status=1

# The operation tests whose machine the registry cannot carry, with why; every other one runs.
not_plantable=(
    # machines made in code (sim::installMachine) never reach the registry
    'PropertyReportHost.*'
    'CalibrationWrites.a_save_of_several_changes_finds_the_board_once'
    # faults of SetupAPI and registry calls cannot be injected into Wine's own
    'ItemNamesHost.a_failing_system_call_reaches_the_host_as_its_hresult'
    'RenameHost.a_failed_system_call_gives_its_result_and_leaves_the_file_untouched'
)
filter=$(IFS=:; echo "${not_plantable[*]}")
echo "--- test_operations (build/windows/shipped; not run there: $filter)"
QVKELP_PLANT_PROGRAM=plant-machine.exe WINEDLLOVERRIDES="setupapi=n,b;mscoree,mshtml=" \
    python3 scripts/wine_run.py --label "test_operations (shipped)" --cwd "$shipped" -- \
    "$wine" ./test_operations.exe --gtest_brief=1 "--gtest_filter=-$filter" || status=1

echo "--- three builds compared (linux, test, shipped)"
start=$SECONDS
# The Linux side: hwconfig of the plain preset (nothing to do after scripts/test.sh's plain build).
cmake --preset plain >/dev/null
cmake --build --preset plain --target hwconfig >/dev/null
WINE=$wine python3 scripts/compare-builds.py --seeds "${COMPARE_SEEDS:-1-20}" --examples || status=1
echo "compared in $((SECONDS - start)) s"
exit "$status"
