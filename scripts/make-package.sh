#!/usr/bin/env bash
# Builds the Windows package (docs/install.md) with wixl from packaging/qvkelp.wxs:
#
#     scripts/make-package.sh BIN_DIR OUTPUT.msi [VERSION]
#     scripts/make-package.sh --project-version
#
# BIN_DIR holds qvkelpsysapiexpertu.dll, hwconfig.exe and qvkelp-setup.exe (build/windows/bin, or
# their signed copies). VERSION defaults to the project's, the one `project(qvkelp VERSION ...)` in
# CMakeLists.txt, which --project-version prints; the Windows stage gives a higher one to try an
# upgrade.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
project_version=$(sed -nE 's/^project\(qvkelp VERSION ([0-9]+\.[0-9]+\.[0-9]+).*/\1/p' "$root/CMakeLists.txt")
if [[ -z $project_version ]]; then
    echo "error: no project(qvkelp VERSION x.y.z) in CMakeLists.txt" >&2
    exit 1
fi
if [[ $# -eq 1 && $1 == --project-version ]]; then
    echo "$project_version"
    exit 0
fi
if [[ $# -lt 2 || $# -gt 3 ]]; then
    echo "usage: scripts/make-package.sh BIN_DIR OUTPUT.msi [VERSION]" >&2
    exit 1
fi
bin=$1
output=$(realpath -m "$2")
version=${3:-$project_version}
for file in qvkelpsysapiexpertu.dll hwconfig.exe qvkelp-setup.exe; do
    if [[ ! -f $bin/$file ]]; then
        echo "error: $bin/$file is missing" >&2
        exit 1
    fi
done
mkdir -p "$(dirname "$output")"
# wixl finds each File's Source in the folder it runs in. It warns on stderr about nothing we use;
# its errors end the build.
(cd "$bin" && wixl --arch x64 -D Version="$version" -o "$output" "$root/packaging/qvkelp.wxs")
echo "$output: QV-KELP $version"
