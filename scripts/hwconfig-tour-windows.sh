#!/usr/bin/env bash
# The hwconfig tour under Wine: the test build of hwconfig and of the module (build/windows/simulated)
# on a copy of the lab machine named by QVKELP_MACHINE, with the lab's alias file in the prefix's own
# C:\ProgramData (the description's drives have no effect there). Each step must succeed and show
# what it changed; a calibration saved by one process is read back by the next.
# With "shipped", the same tour runs the shipped files in build/windows/shipped, the lab machine
# planted into the prefix's registry (scripts/run-shipped.sh).
# Usage: scripts/hwconfig-tour-windows.sh WINE [shipped] (WINEPREFIX set, the prefix made)
set -euo pipefail
cd "$(dirname "$0")/.."
wine=$1
mode=${2:-simulated}
simulated=build/windows/$mode
lab=$simulated/lab
rm -rf "$lab"
mkdir -p "$lab"
cp examples/lab.json "$lab/"
programData=$WINEPREFIX/drive_c/ProgramData
rm -rf "$programData/Quorvel"
cp -r examples/drive_c/ProgramData/Quorvel "$programData/"
export QVKELP_MACHINE=lab/lab.json

failures=0
# step NAME EXIT EXPECTED-TEXT ARGUMENTS...: hwconfig ARGUMENTS must exit with EXIT and print
# EXPECTED-TEXT.
step() {
    local name=$1 exit=$2 expected=$3
    shift 3
    local output code=0
    if [[ $mode == shipped ]]; then
        output=$(WINE=$wine python3 scripts/wine_run.py --label "hwconfig $*" -- \
                 scripts/run-shipped.sh "$lab/lab.json" -- hwconfig.exe "$@" 2>&1) || code=$?
    else
        output=$(python3 scripts/wine_run.py --label "hwconfig $*" --cwd "$simulated" -- \
                 "$wine" ./hwconfig.exe "$@" 2>&1) || code=$?
    fi
    if [[ $code == "$exit" ]] && grep -qF -- "$expected" <<<"$output"; then
        echo "ok   hwconfig $name"
    else
        echo "FAIL hwconfig $name: $* (exit $code)" >&2
        echo "$output" >&2
        failures=$((failures + 1))
    fi
}

board=PCI\\VEN_1F2B\&DEV_7A21\&SUBSYS_7A211F2B\&REV_01\\6\&3A1C9E2\&0\&000800E0
step list 0 "$board" list
step show 0 "Board 1  $board" show 1
step rename 0 "to Tour-1." rename 1 Tour-1
step "list after rename" 0 Tour-1 list
step "cal save" 0 "" cal 1 --password kelp --date 2026-03-18 --interval 365
step "cal read back" 0 2027-03-18 cal 1
# Exit code 8: boards are due (the lab has one overdue); the saved record's due date is among them.
step "cal due" 8 "2027-03-18" cal due --within 36500
step selftest 0 "Self-test of board 1 succeeded" selftest 1
step selfcal 0 "Self-calibration of board 1 succeeded" selfcal 1
# The command line reaches hwconfig.exe wide, as CreateProcessW hands it over (Wine makes it from the
# UTF-8 arguments): a character the ANSI code page lacks is refused by name, never replaced, and an
# alias of code-page bytes is found by its characters as typed.
export LC_ALL=C.UTF-8
step "rename refuses a character the code page lacks" 2 "holds Ω (U+03A9)" rename 3 Ω
python3 - "$programData/Quorvel/QV-KELP/aliases.json" <<'EOF'
import sys
path = sys.argv[1]
text = open(path, "rb").read().replace(b'"ScopeFrontEnd"', b'"\xe9t\xe9\x85\xff"')
open(path, "wb").write(text)
EOF
step "show by an alias of code-page bytes" 0 "Board 2  " show été…ÿ
# Local times are in the system's zone. Wine takes the system's zone from the host's (TZ): it
# rewrites the registry's TimeZoneInformation from it, so a zone set there (India Standard Time) is
# not seen. (The console is not shown here: every run's output goes to a pipe, never a console.)
TZ=Asia/Kolkata step "local time in the system's zone" 0 "+05:30 local)" show 1
echo "hwconfig tour: $failures failed"
exit $((failures != 0))
