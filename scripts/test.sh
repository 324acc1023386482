#!/usr/bin/env bash
# Builds and runs the whole suite: a plain build, then under AddressSanitizer+UBSan; then the test
# programs that call the module and the simulated Windows from several threads at once under
# ThreadSanitizer.
# On a fresh Debian machine (as root) it first installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
for preset in plain asan; do
    echo "=== ${preset}: configure and build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    echo "=== ${preset}: test"
    ctest --preset "$preset" -j "$jobs"
done

# ThreadSanitizer finds races only between threads, and the module starts none of its own: it runs
# the tests that start threads, which carry the label `threads` (tests/CMakeLists.txt), built in the
# programs that hold them. A whole tsan build runs every test with `ctest --preset tsan`.
threaded_programs=(test_com test_propertybag test_reliability test_sim test_support)
echo "=== tsan: configure and build (${threaded_programs[*]})"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs" --target "${threaded_programs[@]}"
echo "=== tsan: test (label threads)"
ctest --preset tsan -j "$jobs" -L threads --no-tests=error

# The same source as the Windows DLL, with its host-level tests under Wine.
scripts/test-windows.sh
