#!/usr/bin/env bash
# Installs what building, running and testing need on a Debian machine, and
# skips what is already there. Runs as root; otherwise the package installs
# go through sudo, and without sudo it says that root is needed.
#
# Both MinGW-w64 toolchains and 64-bit Wine are always installed. 32-bit
# Wine (wine32, with the i386 architecture) is added only where the kernel
# runs 32-bit programs: elsewhere it installs but can never start.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

packages=(
    cmake ninja-build git
    clang libclang-rt-14-dev
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
    googletest libbenchmark-dev
    wine wine64
    xvfb x11-utils xauth xdotool imagemagick
    nsis clang-tidy cppcheck
    procps util-linux
)
want_i386=0
if "$here/bench/probe-32bit.sh" >/dev/null; then
    want_i386=1
    packages+=(wine32:i386)
fi

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "install-deps: root is needed to install packages (run as root, or install sudo): $*" >&2
        exit 1
    fi
}

installed() {
    [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]
}

updated=0
if [ $want_i386 -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "install-deps: adding the i386 architecture (for 32-bit Wine)"
    as_root dpkg --add-architecture i386
    updated=1
fi

missing=()
for p in "${packages[@]}"; do
    installed "$p" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ] && [ $updated -eq 0 ]; then
    exit 0
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "install-deps: installing ${missing[*]}"
    as_root apt-get update -q
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
