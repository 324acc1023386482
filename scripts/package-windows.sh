#!/usr/bin/env bash
# The Windows package in the Windows stage (docs/install.md): builds it from build/windows/bin, signs
# a release of a higher version with a certificate made for the run and checks every signature,
# then under Wine, in a fresh prefix with the lab machine planted on Wine's own SetupAPI and
# registry: a silent install; the installed hwconfig.exe lists the boards and renames one; the
# higher version installed over it (the binaries are its signed ones, the alias is kept); removal
# (the binaries go, aliases.json and its records stay); an installation whose set-up fails, rolled
# back; and a new install, with the operators' group named, that keeps the aliases.
# Usage: scripts/package-windows.sh WINE (the windows preset built, build/windows/shipped filled)
set -euo pipefail
cd "$(dirname "$0")/.."
wine=$1
bin=build/windows/bin
shipped=build/windows/shipped
work=build/windows/package
version=$(scripts/make-package.sh --project-version)
# The upgrade: the same version with its last number one higher.
next=${version%.*}.$((${version##*.} + 1))
package=$work/qvkelp-$version-x64.msi
upgrade=$work/signed/qvkelp-$next-x64.msi
start=$SECONDS
failures=0
check() { # check NAME COMMAND...: the command must succeed
    local name=$1
    shift
    if "$@"; then
        echo "ok   $name"
    else
        echo "FAIL $name" >&2
        failures=$((failures + 1))
    fi
}

echo "--- package and signatures"
rm -rf "$work"
mkdir -p "$work/certificate"
scripts/make-package.sh "$bin" "$package"
certificate=$work/certificate
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=QV-KELP stage signing" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$certificate/key.pem" -out "$certificate/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$certificate/key.pem" -in "$certificate/cert.pem" -passout pass:stage \
    -out "$certificate/stage.pfx"
QVKELP_PACKAGE_VERSION=$next scripts/sign.sh "$certificate/stage.pfx" stage
verified() { osslsigncode verify -CAfile "$certificate/cert.pem" -in "$1" >/dev/null 2>&1; }
for file in qvkelpsysapiexpertu.dll hwconfig.exe qvkelp-setup.exe "qvkelp-$next-x64.msi"; do
    check "signature of $file verifies against the stage's certificate" verified "$work/signed/$file"
done
check "an unsigned file does not verify" eval '! verified "$bin/hwconfig.exe"'

echo "--- install, tour, upgrade, removal under Wine (fresh prefix)"
export WINEPREFIX=$PWD/$work/wineprefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
# One persistent server for the prefix's short runs (scripts/test-shipped.sh says why).
mkdir -p "$WINEPREFIX"
"$wineserver" -p
trap '"$wineserver" -k 2>/dev/null || true' EXIT
"$wine" wineboot --init >/dev/null 2>&1
installed="$WINEPREFIX/drive_c/Program Files/Quorvel/QV-KELP"
aliases=$WINEPREFIX/drive_c/ProgramData/Quorvel/QV-KELP/aliases.json
windows_path() { local path=${1//\//\\}; echo "Z:$path"; }
msiexec() { # msiexec OPTION PACKAGE [PROPERTY=VALUE...]: a silent install (/i) or removal (/x)
    local option=$1 package=$2
    shift 2
    python3 scripts/wine_run.py --label "msiexec $option $(basename "$package") $*" -- \
        "$wine" msiexec "$option" "$(windows_path "$(realpath "$package")")" /qn "$@" >/dev/null
}
same_files() { # same_files DIR: the installed binaries are DIR's, byte for byte
    local file
    for file in qvkelpsysapiexpertu.dll hwconfig.exe qvkelp-setup.exe; do
        cmp -s "$1/$file" "$installed/$file" || return 1
    done
}
none_installed() { ! ls "$installed"/*.dll "$installed"/*.exe >/dev/null 2>&1; }
alias_kept() { grep -q '"Packaged"' "$aliases"; }

# The lab machine on Wine's own SetupAPI and registry, as scripts/run-shipped.sh plants it.
mkdir -p "$work/lab"
cp examples/lab.json "$work/lab/"
lab=$(realpath "$work/lab/lab.json")
(cd "$shipped" && "$wine" ./plant-machine.exe "$(windows_path "$lab")")
# hwconfig ARGUMENTS: the installed hwconfig.exe, with the lab's simulated outside libraries and the
# gap-filling SetupAPI beside it for the run (Wine looks for a native setupapi.dll in the program's
# folder only), removed again afterwards so that the folder holds what the package put there.
hwconfig() {
    local equipment=() file code=0
    for file in "$shipped"/*.dll; do
        [[ $(basename "$file") == qvkelpsysapiexpertu.dll ]] || equipment+=("$(basename "$file")")
    done
    cp "${equipment[@]/#/$shipped/}" "$installed/"
    QVKELP_MACHINE=$(windows_path "$lab") \
        WINEDLLOVERRIDES="setupapi=n,b;mscoree,mshtml=" python3 scripts/wine_run.py --label "hwconfig $*" -- \
        "$wine" "C:\\Program Files\\Quorvel\\QV-KELP\\hwconfig.exe" "$@" || code=$?
    (cd "$installed" && rm -f "${equipment[@]}")
    return "$code"
}

check "silent install of $(basename "$package")" msiexec /i "$package"
check "the package's binaries are in Program Files" same_files "$bin"
check "the set-up made aliases.json holding no records" grep -qx '{"devices": {}}' "$aliases"
check "the set-up made the common journal beside it" test -f "$aliases.recovery"
check "the installed hwconfig lists the lab's boards" hwconfig list
check "the installed hwconfig renames board 1" hwconfig rename 1 Packaged
check "the alias is in aliases.json" alias_kept
check "silent install of $(basename "$upgrade") over it" msiexec /i "$upgrade"
check "the binaries are the upgrade's signed ones" same_files "$work/signed"
check "the alias is still there" alias_kept
check "the upgraded hwconfig shows it" hwconfig list
check "silent removal" msiexec /x "$upgrade"
check "the binaries are gone" none_installed
check "aliases.json and its records stay" alias_kept
check "a set-up that fails (an unknown OPERATORS group) fails the installation" \
    eval '! msiexec /i "$package" OPERATORS=NoSuchGroup 2>/dev/null'
check "which is rolled back" none_installed
check "installing again, the operators named by OPERATORS" msiexec /i "$package" OPERATORS=Users
check "keeps them" alias_kept
echo "package stage: $failures failure(s), $((SECONDS - start)) s"
((failures == 0))
