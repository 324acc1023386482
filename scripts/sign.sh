#!/usr/bin/env bash
# Signs a release (docs/install.md, "Signing a release"):
#
#     scripts/sign.sh CERT.pfx [PASSWORD]
#
# Copies the DLL, hwconfig.exe and qvkelp-setup.exe of build/windows/bin into
# build/windows/package/signed/, signs each with osslsigncode (Authenticode, SHA-256), builds the
# package of those signed files there (scripts/make-package.sh) and signs the package too. The
# unsigned files in build/windows/bin stay as they are: they are the ones the shipped stage
# compares byte for byte.
#
# QVKELP_TIMESTAMP_URL names an RFC 3161 time-stamping service; without it nothing is time-stamped
# (a signature without a time stamp is valid only while the certificate is). QVKELP_PACKAGE_VERSION
# gives the package another version than the project's (the Windows stage's upgrade).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [[ $# -lt 1 || $# -gt 2 ]]; then
    echo "usage: scripts/sign.sh CERT.pfx [PASSWORD]" >&2
    exit 1
fi
certificate=$(realpath "$1")
password=${2:-}
bin=$root/build/windows/bin
signed=$root/build/windows/package/signed
version=${QVKELP_PACKAGE_VERSION:-$("$root/scripts/make-package.sh" --project-version)}
timestamp=()
if [[ -n ${QVKELP_TIMESTAMP_URL:-} ]]; then
    timestamp=(-ts "$QVKELP_TIMESTAMP_URL")
fi

# Signs IN into OUT; osslsigncode never signs in place.
sign() {
    osslsigncode sign -pkcs12 "$certificate" -pass "$password" -h sha256 -n "QV-KELP expert module" \
        "${timestamp[@]}" -in "$1" -out "$2" >/dev/null
    echo "signed $2"
}

rm -rf "$signed"
mkdir -p "$signed"
for file in qvkelpsysapiexpertu.dll hwconfig.exe qvkelp-setup.exe; do
    sign "$bin/$file" "$signed/$file"
done
package=qvkelp-$version-x64.msi
"$root/scripts/make-package.sh" "$signed" "$signed/unsigned-$package" "$version" >/dev/null
sign "$signed/unsigned-$package" "$signed/$package"
rm "$signed/unsigned-$package"
