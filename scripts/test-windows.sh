#!/usr/bin/env bash
# The Windows stage: cross-builds the module as the Windows x64 DLL with mingw-w64, checks what the
# DLL exports and imports, and runs under Wine, in a fresh prefix, the host-level tests that need no
# device tree and the simulation's own conformance tests that need none (against Wine's functions:
# one set of tests checking both implementations); then, against the test build of the module in
# build/windows/simulated (the same objects, with the device side of the simulated Windows,
# qvwinsim.dll, in place of SetupAPI, the configuration manager and the registry), the host-level
# tests of the operations and the hwconfig tour on the lab machine.
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

echo "=== windows: tests under Wine (ctest --preset windows)"
# A fresh prefix each time: Wine processes an earlier run left behind are ended first, since Wine
# finds C: through the prefix's path and they would write into the new one.
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
prefix=$PWD/build/windows/wineprefix
python3 scripts/wine_run.py --end-processes-in "$prefix"
rm -rf "$prefix"
trap 'WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null || true' EXIT
# ctest runs every Windows run through scripts/wine_run.py (tests/CMakeLists.txt), which runs once more
# only what Wine itself failed (a process killed by a Linux signal with no Windows exception, or one
# that never reached the program) and prints both outcomes. The test wine_prefix makes the prefix
# and checks that Wine starts there; wine_run checks the runner against a program that crashes.
ctest --preset windows
