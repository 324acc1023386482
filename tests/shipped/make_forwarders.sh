#!/bin/sh
# make_forwarders.sh OBJDUMP BUILTIN.dll FORWARD-TO OUTPUT.def OWN-NAME...
# Writes a module-definition file that forwards every named export of BUILTIN.dll to the DLL
# FORWARD-TO (its name without .dll), except the OWN-NAMEs, which the DLL being linked defines.
set -eu
objdump=$1 builtin=$2 target=$3 output=$4
shift 4
own=" $* "
{
    echo "EXPORTS"
    # The names after the "[Ordinal/Name Pointer] Table" heading, one "[ n] name" line each.
    "$objdump" -p "$builtin" |
        awk '/\[Ordinal\/Name Pointer\] Table/ {names = 1; next} names && /^\t\[/ {print $NF; next} {names = 0}' |
        while read -r name; do
            case $own in
                *" $name "*) ;;
                *) echo "    $name = $target.$name" ;;
            esac
        done
} >"$output.tmp"
mv "$output.tmp" "$output"
