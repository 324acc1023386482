#!/usr/bin/env bash
# Builds and runs the whole suite: a plain build, then under AddressSanitizer+UBSan, then under
# ThreadSanitizer (the module and the simulated Windows are called from several threads at once).
# On a fresh Debian machine (as root) it first installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
for preset in plain asan tsan; do
    echo "=== ${preset}: configure and build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    echo "=== ${preset}: test"
    ctest --preset "$preset" -j "$jobs"
done

# The same source as the Windows DLL, with its host-level tests under Wine.
scripts/test-windows.sh
