#!/usr/bin/env bash
# Installs, as root with apt-get, what the Windows build and its run under Wine need and this machine
# lacks: the mingw-w64 cross compiler (posix threads), Wine with its preloader (without it a process
# now and then fails to start: the page Wine needs at 0x7ffe0000 lies under the heap), and Debian's
# cJSON source package, which is fetched into build/ (never into the repository) and compiled for
# Windows with the module; and what builds, signs and checks the package: wixl and msitools (the MSI),
# osslsigncode and openssl (Authenticode signatures and the stage's certificate).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 wine64-preloader dpkg-dev googletest libboost-dev libcli11-dev libhowardhinnant-date-dev
          wixl msitools osslsigncode openssl)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done

cjson_dir=build/cjson-source
need_cjson=0
compgen -G "${cjson_dir}/cjson-*/cJSON.c" >/dev/null || need_cjson=1

as_root() {
    if [[ $(id -u) -ne 0 ]]; then
        echo "error: run as root to $*" >&2
        exit 1
    fi
}

# apt-get source needs a deb-src entry; add one for Debian's own archive when the machine has none.
has_source_entry() {
    grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/
}
add_source_entry() {
    local codename
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    cat >/etc/apt/sources.list.d/qvkelp-debian-src.sources <<SOURCES
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: ${codename} ${codename}-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: ${codename}-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
}

updated=0
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    as_root "install ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    if ((need_cjson)) && ! has_source_entry; then
        add_source_entry
    fi
    apt-get update -qq
    updated=1
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if ((need_cjson)); then
    if ! has_source_entry; then
        as_root "add a deb-src entry for Debian's archive"
        add_source_entry
        updated=0
    fi
    if ((!updated)); then
        apt-get update -qq
    fi
    rm -rf "$cjson_dir"
    mkdir -p "$cjson_dir"
    (cd "$cjson_dir" && apt-get source -qq --only-source cjson)
fi
