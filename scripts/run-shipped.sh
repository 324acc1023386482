#!/usr/bin/env bash
# Runs a Windows program of build/windows/shipped on the shipped DLL, with Wine's own SetupAPI and
# registry holding a machine description's devices (docs/machine-format.md, "On Windows: the
# shipped DLL").
#
#     WINEPREFIX=/path/prefix scripts/run-shipped.sh MACHINE.json -- PROGRAM.exe ARGS...
#
# The machine is planted into the prefix with plant-machine.exe (skipped when the prefix already
# holds this very file's devices), QVKELP_MACHINE names it for the simulated outside libraries, and
# PROGRAM.exe (a file in build/windows/shipped) runs there with the gap-filling setupapi.dll in
# front of Wine's builtin. The program's exit code is this script's; a machine that cannot be
# planted exits with plant-machine's code (2 refused, 3 registry failure) after its message.
# WINE names the wine program (default: wine64 from PATH).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [[ $# -lt 3 || $2 != -- ]]; then
    echo "usage: scripts/run-shipped.sh MACHINE.json -- PROGRAM.exe ARGS..." >&2
    exit 1
fi
: "${WINEPREFIX:?set WINEPREFIX to a prefix made with wineboot}"
machine=$(realpath "$1")
program=$3
shift 3
wine=${WINE:-$(command -v wine64 || echo /usr/lib/wine/wine64)}
shipped=$root/build/windows/shipped
export WINEDEBUG=${WINEDEBUG:--all}
# The gap-filling setupapi.dll beside the programs is native; Wine takes a native setupapi.dll only
# when told to. Without Wine's debugger a crashed program always ends with its exception's code
# (scripts/wine_run.py says why).
export WINEDLLOVERRIDES="setupapi=n,b;mscoree,mshtml=;winedbg.exe=d"
# Wine maps drive Z: to the Linux root.
windows_path() { local path=${1//\//\\}; echo "Z:$path"; }

# The prefix remembers which description (path and content) it holds, planted by which
# plant-machine.exe.
stamp=$WINEPREFIX/qvkelp-planted-machine
fingerprint="$machine $(cat "$machine" "$shipped/plant-machine.exe" | sha256sum)"
if [[ ! -f $stamp || $(<"$stamp") != "$fingerprint" ]]; then
    rm -f "$stamp"
    (cd "$shipped" && "$wine" ./plant-machine.exe "$(windows_path "$machine")")
    echo "$fingerprint" >"$stamp"
fi
export QVKELP_MACHINE
QVKELP_MACHINE=$(windows_path "$machine")
cd "$shipped"
exec "$wine" "./$program" "$@"
