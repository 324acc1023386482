#!/usr/bin/env bash
# Builds the libFuzzer programs with clang (fuzz preset) and runs each for SECONDS (default 60),
# starting from its committed corpus. New inputs go to build/fuzz/corpus/<target>, never into the
# committed corpus; a crash leaves its input in build/fuzz/crashes/ and ends the script with failure.
# On a fresh Debian machine (as root) it first installs clang and the fuzzer runtime.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

scripts/install-deps.sh
packages=(clang libclang-rt-14-dev)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if ((${#missing[@]})); then
    [[ $(id -u) -eq 0 ]] || { echo "error: run as root to install ${missing[*]}" >&2; exit 1; }
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

mkdir -p build/fuzz/crashes
status=0
for source in fuzz/corpus/*/; do
    target=$(basename "$source")
    work=build/fuzz/corpus/$target
    mkdir -p "$work"
    echo "=== fuzz_${target}: ${seconds} s"
    ASAN_OPTIONS=allocator_may_return_null=1 build/fuzz/bin/fuzz_"$target" "$work" "$source" \
        -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix=build/fuzz/crashes/"$target"- || status=1
done
exit $status
