#!/usr/bin/env bash
# The Windows stage: cross-builds the module as the Windows x64 DLL with mingw-w64, checks what the
# DLL exports and imports, and runs under Wine, in a fresh prefix, the host-level tests that need no
# device tree and the simulation's own conformance tests that need none (against Wine's functions:
# one set of tests checking both implementations); then, against the test build of the module in
# build/windows/simulated (the same objects, with the device side of the simulated Windows,
# qvwinsim.dll, in place of SetupAPI, the configuration manager and the registry), the host-level
# tests of the operations and the hwconfig tour on the lab machine; then the shipped files on Wine's
# own SetupAPI, and the package made of them (scripts/package-windows.sh).
# On a fresh Debian machine (as root) it first installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps-windows.sh

echo "=== windows: configure and build"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)"

bin=build/windows/bin
dll=$bin/qvkelpsysapiexpertu.dll

echo "=== windows: exports and imports of $(basename "$dll") ($(stat -c %s "$dll") bytes)"
headers=$(x86_64-w64-mingw32-objdump -p "$dll")
# The names after the "[Ordinal/Name Pointer] Table" heading, one "[ n] name" line each.
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ {names = 1; next} names && /^\t\[/ {print $NF; next} {names = 0}' \
          <<<"$headers")
imports=$(awk '/DLL Name:/ {print $3}' <<<"$headers")
echo "exports: ${exports//$'\n'/ }"
echo "imports: ${imports//$'\n'/ }"
if [[ $exports != createSysApiExpert ]]; then
    echo "error: the DLL must export createSysApiExpert and nothing else" >&2
    exit 1
fi
# Windows' own DLLs (the C runtime msvcrt.dll among them), and the PXI services library.
allowed='^(kernel32|advapi32|ole32|oleaut32|setupapi|cfgmgr32|shell32|msvcrt|qvpxisvc)\.dll$'
unexpected=$(grep -viE "$allowed" <<<"$imports" || true)
if [[ -n $unexpected ]]; then
    echo "error: the DLL imports ${unexpected//$'\n'/ }, which is neither Windows' own nor qvpxisvc.dll" >&2
    exit 1
fi

# The test builds take every SetupAPI, configuration-manager and registry call from qvwinsim.dll. The
# linker takes a name from the first library that defines it, and Windows' own have no boards: a
# link line in the wrong order would quietly make them ask Wine.
for program in build/windows/simulated/hwconfig.exe build/windows/simulated/qvkelpsysapiexpertu.dll; do
    elsewhere=$(x86_64-w64-mingw32-objdump -p "$program" |
                awk '/DLL Name:/ {dll = $3} /^\t/ && dll != "qvwinsim.dll" && $NF ~ /^(SetupDi|CM_|Reg)/ {print dll ":" $NF}')
    if [[ -n $elsewhere ]]; then
        echo "error: $program imports ${elsewhere//$'\n'/ } instead of from qvwinsim.dll" >&2
        exit 1
    fi
done

echo "=== windows: tests under Wine"
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
export WINEPREFIX=$PWD/build/windows/wineprefix WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko: the prefix is made without asking for them.
export WINEDLLOVERRIDES="mscoree,mshtml="
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
python3 scripts/wine_run.py --end-processes-in "$WINEPREFIX"
rm -rf "$WINEPREFIX"
trap '"$wineserver" -k 2>/dev/null || true' EXIT
"$wine" wineboot --init >/dev/null 2>&1
python3 scripts/wine_run.py --check-prefix "$wine"
status=0
# Every Windows run goes through scripts/wine_run.py, which runs once more only what Wine itself
# failed (a process killed by a Linux signal with no Windows exception, or one that never reached
# the program) and prints both outcomes; it is checked first, against a program that crashes.
echo "--- wine_run.py: Wine's failures told from the program's"
WINE=$wine python3 tests/windows/wine_run_test.py "$bin/crash_probe.exe" || status=1
for test in test_host test_core test_conformance; do
    echo "--- $test"
    python3 scripts/wine_run.py --label "$test" --cwd "$bin" -- "$wine" "./$test.exe" --gtest_brief=1 || status=1
done
echo "--- test_operations (build/windows/simulated)"
python3 scripts/wine_run.py --label test_operations --cwd build/windows/simulated -- \
    "$wine" ./test_operations.exe --gtest_brief=1 || status=1
echo "--- the alias-file rows beside a second checkout's (build/windows/simulated)"
scripts/side-by-side-windows.sh "$wine" || status=1
echo "--- hwconfig tour (build/windows/simulated)"
scripts/hwconfig-tour-windows.sh "$wine" || status=1
echo "=== windows: the shipped DLL on Wine's own SetupAPI and registry (build/windows/shipped)"
scripts/test-shipped.sh "$wine" || status=1
echo "=== windows: the package, signed, installed, upgraded and removed (build/windows/package)"
scripts/package-windows.sh "$wine" || status=1
exit "$status"
