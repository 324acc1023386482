#!/usr/bin/env bash
# Builds the module, the simulated libraries and hwconfig - nothing else - then lists the boards of
# the lab machine (examples/lab.json). Extra arguments go to hwconfig, e.g. scripts/demo.sh --json
# list, or tree, or --machine FILE list.
# On a fresh Debian machine (as root) it first installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset plain >/dev/null
# hwconfig depends on the module and on the simulated libraries it loads (host/CMakeLists.txt).
cmake --build --preset plain -j "$(nproc)" --target hwconfig

if (($#)); then
    exec build/plain/bin/hwconfig "$@"
fi
exec build/plain/bin/hwconfig list
