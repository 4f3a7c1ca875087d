#!/usr/bin/env bash
# Installs what building, running and testing need on a Debian machine, and
# skips what is already there: on a complete machine it makes no apt call at
# all. Runs as root; otherwise the package installs go through sudo, and
# without sudo it says that root is needed.
#
# Both MinGW-w64 toolchains and 64-bit Wine are always installed; a required
# package that cannot be installed ends the script with its name and apt's
# reason. 32-bit Wine (wine32, with the i386 architecture) is wanted only
# where the kernel runs 32-bit programs (elsewhere it installs but can never
# start), and it is optional: its i386 libraries must carry the versions of
# the amd64 ones, so a mirror whose i386 index is half-synced cannot serve
# it. Then the script says why in one line, goes on without it, takes the
# i386 architecture away again if it added it, and leaves the marker
# build/wine32-unavailable (when and why); tools/run-tests.sh reads it to
# skip the x86 suite instead of failing it. wine32 is tried again at most
# once a day while the marker stands.
#
# A mirror in the middle of a sync fails single indexes for a while: the
# update is tried three times, a few seconds apart, and then the script goes
# on with the indexes that were fetched.
#
# For its own test only, the commands it runs can be replaced (the product
# scripts never set these): TP_DEPS_APT_GET, TP_DEPS_DPKG,
# TP_DEPS_DPKG_QUERY, TP_DEPS_PROBE32, TP_DEPS_MARKER, TP_DEPS_PAUSE.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)

apt_get=${TP_DEPS_APT_GET:-apt-get}
dpkg_cmd=${TP_DEPS_DPKG:-dpkg}
dpkg_query=${TP_DEPS_DPKG_QUERY:-dpkg-query}
probe32=${TP_DEPS_PROBE32:-$here/bench/probe-32bit.sh}
marker=${TP_DEPS_MARKER:-$repo/build/wine32-unavailable}
pause=${TP_DEPS_PAUSE:-5}
update_tries=3
# Seconds a wine32 failure is trusted before the next run tries again.
retry_after=$((24 * 3600))

packages=(
    cmake ninja-build git
    clang libclang-rt-14-dev
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
    googletest libbenchmark-dev
    wine wine64
    xvfb x11-utils xauth xdotool imagemagick
    nsis msitools wixl clang-tidy cppcheck
    procps util-linux
)
wine32_package=wine32:i386

say() { echo "install-deps: $*"; }

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
    [ "$("$dpkg_query" -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]
}

# Seconds since the marker was written, or nothing when there is none.
marker_age() {
    [ -f "$marker" ] || return 0
    local written
    written=$(stat -c %Y "$marker" 2>/dev/null) || return 0
    echo $(($(date +%s) - written))
}

# The first index that apt's output names as not fetched, or "an index".
failed_index() {
    local index
    index=$(grep -oE 'Failed to fetch +[^ ]+' "$1" | head -n 1 | sed -E 's/^Failed to fetch +//' || true)
    [ -n "$index" ] || index=$(grep -E '^Err:[0-9]+ ' "$1" | head -n 1 | sed -E 's/^Err:[0-9]+ +//' || true)
    echo "${index:-an index}"
}

# The line of apt's output that says why an install failed.
apt_reason() {
    local line
    line=$(grep -E '^E: |Depends: .* but |has no installation candidate|Unable to locate' "$1" |
        grep -vE '^E: (Unable to correct problems|Sub-process)' | head -n 1 || true)
    [ -n "$line" ] || line=$(grep -E '^E: ' "$1" | head -n 1 || true)
    echo "${line:-apt-get exited with status $2}" | sed -E 's/^E: //; s/^ +//'
}

want_i386=0
if "$probe32" >/dev/null 2>&1; then
    want_i386=1
fi

missing=()
for p in "${packages[@]}"; do
    installed "$p" || missing+=("$p")
done

want_wine32=0
if [ $want_i386 -eq 1 ] && installed "$wine32_package"; then
    rm -f "$marker"
elif [ $want_i386 -eq 1 ]; then
    want_wine32=1
    age=$(marker_age)
    if [ -n "$age" ] && [ "$age" -lt "$retry_after" ]; then
        say "wine32 is not tried again before a day has passed since $(stat -c %y "$marker" | cut -d. -f1) ($(sed -n 's/^reason: //p' "$marker" | head -n 1)); the x86 Windows tests will be skipped"
        want_wine32=0
    fi
fi

if [ ${#missing[@]} -eq 0 ] && [ $want_wine32 -eq 0 ]; then
    exit 0
fi

log=$(mktemp "${TMPDIR:-/tmp}/install-deps.XXXXXX")
trap 'rm -f "$log"' EXIT

added_i386=0
if [ $want_wine32 -eq 1 ] && ! "$dpkg_cmd" --print-foreign-architectures | grep -qx i386; then
    say "adding the i386 architecture (for 32-bit Wine)"
    as_root "$dpkg_cmd" --add-architecture i386
    added_i386=1
fi

# A half-synced mirror fails single indexes ("File has unexpected size ...
# Mirror sync in progress?") and apt-get update then exits non-zero; the
# indexes it did fetch are in place, so after the last try the script goes
# on with them.
update_failed=""
for try in $(seq 1 $update_tries); do
    if as_root "$apt_get" update -q >"$log" 2>&1; then
        update_failed=""
        break
    fi
    update_failed=$(failed_index "$log")
    if [ "$try" -lt $update_tries ]; then
        say "apt-get update failed on $update_failed; trying again in ${pause} s"
        sleep "$pause"
    fi
done
if [ -n "$update_failed" ]; then
    say "apt-get update still fails after $update_tries tries on $update_failed; going on with the indexes that were fetched"
fi

install() {
    as_root env DEBIAN_FRONTEND=noninteractive "$apt_get" install -y -q --no-install-recommends "$@"
}

if [ ${#missing[@]} -gt 0 ]; then
    say "installing ${missing[*]}"
    status=0
    install "${missing[@]}" >"$log" 2>&1 || status=$?
    if [ $status -ne 0 ]; then
        cat "$log" >&2
        # Name the package that cannot be had: ask for each one alone.
        for p in "${missing[@]}"; do
            rc=0
            as_root "$apt_get" install -s -y -q --no-install-recommends "$p" >"$log" 2>&1 || rc=$?
            if [ $rc -ne 0 ]; then
                echo "install-deps: required package $p cannot be installed: $(apt_reason "$log" $rc)" >&2
                exit 1
            fi
        done
        echo "install-deps: the required packages cannot be installed together: $(apt_reason "$log" "$status")" >&2
        exit 1
    fi
fi

if [ $want_wine32 -eq 1 ]; then
    say "installing $wine32_package"
    status=0
    install "$wine32_package" >"$log" 2>&1 || status=$?
    if [ $status -eq 0 ]; then
        rm -f "$marker"
    else
        reason=$(apt_reason "$log" $status)
        if grep -q 'held broken packages' "$log"; then
            if [[ "$update_failed" == *i386* ]]; then
                reason="the mirror's i386 index is incomplete (held broken packages)"
            else
                reason="its i386 dependencies cannot be satisfied (held broken packages)"
            fi
        fi
        say "wine32 cannot be installed now: $reason; the x86 Windows tests will be skipped"
        if [ $added_i386 -eq 1 ]; then
            # Leave apt as it was: an i386 architecture whose index is
            # missing would make every later apt-get update fail.
            as_root "$dpkg_cmd" --remove-architecture i386 ||
                say "the i386 architecture could not be removed again"
        fi
        mkdir -p "$(dirname "$marker")"
        {
            echo "wine32 could not be installed; tools/install-deps.sh tries again a day after this was written."
            echo "date: $(date -u '+%Y-%m-%d %H:%M:%S UTC')"
            echo "reason: $reason"
        } >"$marker"
    fi
fi
