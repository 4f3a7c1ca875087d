#!/usr/bin/env bash
# Installs what building, running and testing need on a Debian machine, and
# skips what is already there. Runs as root, or through sudo.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO=sudo
fi

packages=(
    cmake ninja-build git
    clang libclang-rt-14-dev
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
    googletest libbenchmark-dev
    wine wine64 wine32:i386
    xvfb x11-utils xauth xdotool imagemagick
    procps util-linux
)

installed() {
    [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]
}

updated=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "install-deps: adding the i386 architecture (for 32-bit Wine)"
    $SUDO dpkg --add-architecture i386
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
    $SUDO apt-get update -q
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
