#!/usr/bin/env bash
# Builds the installer from the x86 and x64 programs.
#
#   tools/installer/build.sh [--amd64-stub] [--no-build] [--stage-only]
#
# Builds TactilePane and TactilePaneStop in the win32 and win64 presets
# (unless --no-build), keeps their debug symbols beside the build
# (build/installer/symbols/<arch>/*.debug, linked from the shipped files by
# .gnu_debuglink, for crash analysis), strips the copies that are shipped
# and writes build/installer/TactilePane-Setup.exe. --amd64-stub writes
# build/installer/TactilePane-Setup-amd64.exe instead: the same package
# with a 64-bit installer stub and the x64 program only, for benches that
# run no 32-bit programs (it needs only the win64 preset). --stage-only
# stops after the stripped programs (build/installer/<arch>/), for
# build-msi.sh.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out="$root/build/installer"
stub=()
setup="$out/TactilePane-Setup.exe"
build=1
stage_only=0
for arg in "$@"; do
    case $arg in
    --amd64-stub)
        stub=(-DSTUB_AMD64)
        setup="$out/TactilePane-Setup-amd64.exe"
        ;;
    --no-build) build=0 ;;
    --stage-only) stage_only=1 ;;
    *)
        echo "usage: $0 [--amd64-stub] [--no-build] [--stage-only]" >&2
        exit 2
        ;;
    esac
done

tools=(i686-w64-mingw32-objcopy x86_64-w64-mingw32-objcopy)
[ $stage_only -eq 1 ] || tools+=(makensis)
for tool in "${tools[@]}"; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "installer: $tool is missing (tools/install-deps.sh installs it)" >&2
        exit 1
    fi
done

cd "$root"
presets=(win32 win64)
[ ${#stub[@]} -eq 0 ] || presets=(win64)
for preset in "${presets[@]}"; do
    if [ $build -eq 1 ]; then
        [ -f "build/$preset/build.ninja" ] || cmake --preset "$preset" >/dev/null
        cmake --build --preset "$preset" --target TactilePane TactilePaneStop -j2
    fi
done

stage() { # preset arch objcopy
    local bin="$root/build/$1" dir="$out/$2" sym="$out/symbols/$2"
    mkdir -p "$dir" "$sym"
    for exe in TactilePane TactilePaneStop; do
        if [ ! -f "$bin/$exe.exe" ]; then
            echo "installer: $bin/$exe.exe is missing: build the $1 preset first" >&2
            exit 1
        fi
        "$3" --only-keep-debug "$bin/$exe.exe" "$sym/$exe.exe.debug"
        rm -f "$dir/$exe.exe"
        # The link names the file only; a debugger looks beside the program
        # and in its debug directories.
        (cd "$sym" && "$3" --strip-debug --strip-unneeded --add-gnu-debuglink="$exe.exe.debug" \
            "$bin/$exe.exe" "$dir/$exe.exe")
    done
}
[ ${#stub[@]} -ne 0 ] || stage win32 x86 i686-w64-mingw32-objcopy
stage win64 x64 x86_64-w64-mingw32-objcopy
[ $stage_only -eq 0 ] || exit 0

makensis -V2 -NOCD "${stub[@]}" -DX86DIR="$out/x86" -DX64DIR="$out/x64" -DOUTFILE="$setup" \
    "$root/tools/installer/TactilePane.nsi"
echo "installer: $setup"
