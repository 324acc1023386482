#!/usr/bin/env bash
# Installs, as root with apt-get, the Debian packages the build needs and this machine lacks.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libcjson-dev libcli11-dev libhowardhinnant-date-dev libboost-dev libgtest-dev libgmock-dev libbenchmark-dev)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    if [[ $(id -u) -ne 0 ]]; then
        echo "error: run as root to install ${missing[*]}" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
