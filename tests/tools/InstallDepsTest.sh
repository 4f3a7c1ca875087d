#!/usr/bin/env bash
# tools/install-deps.sh against stand-ins for apt-get, dpkg, dpkg-query and
# the 32-bit probe, so that a half-synced mirror and a wine32 that cannot be
# installed are tested whatever state the real mirror is in. Each case sets
# up the stand-ins' state, runs the script and checks its exit status, the
# lines it printed and the apt calls it made.
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
script="$repo/tools/install-deps.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/install-deps-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
stub="$work/bin"
mkdir -p "$stub"

# The stand-ins keep their state in $STUB_STATE: installed (one package a
# line), arches (foreign architectures), calls (one apt-get call a line),
# update-failures (how many more updates fail; "always" for all) and
# unavailable (packages apt cannot install, with "broken" for a dependency
# that cannot be satisfied).
cat >"$stub/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "apt-get $*" >>"$STUB_STATE/calls"
case "$1" in
update)
    left=$(cat "$STUB_STATE/update-failures" 2>/dev/null || echo 0)
    if [ "$left" = always ] || [ "$left" -gt 0 ]; then
        [ "$left" = always ] || echo $((left - 1)) >"$STUB_STATE/update-failures"
        echo "Err:5 http://mirror.invalid/debian-security bookworm-security/main i386 Packages"
        echo "E: Failed to fetch http://mirror.invalid/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 192.0.2.1 80]"
        echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
        exit 100
    fi
    exit 0 ;;
install)
    shift
    simulate=0
    pkgs=()
    for a in "$@"; do
        case "$a" in
        -s) simulate=1 ;;
        -*) ;;
        *) pkgs+=("$a") ;;
        esac
    done
    for p in "${pkgs[@]}"; do
        if grep -qx "$p broken" "$STUB_STATE/unavailable" 2>/dev/null; then
            echo "Some packages could not be installed."
            echo " libssl3:i386 : Depends: libc6:i386 (>= 2.34) but it is not going to be installed"
            echo "E: Unable to correct problems, you have held broken packages."
            exit 100
        fi
        if grep -qx "$p" "$STUB_STATE/unavailable" 2>/dev/null; then
            echo "E: Package '$p' has no installation candidate"
            exit 100
        fi
    done
    [ $simulate -eq 1 ] || printf '%s\n' "${pkgs[@]}" >>"$STUB_STATE/installed"
    exit 0 ;;
esac
exit 1
EOF
cat >"$stub/dpkg-query" <<'EOF'
#!/usr/bin/env bash
p=${*: -1}
grep -qx "$p" "$STUB_STATE/installed" 2>/dev/null && printf 'install ok installed' && exit 0
exit 1
EOF
cat >"$stub/dpkg" <<'EOF'
#!/usr/bin/env bash
case "$1" in
--print-foreign-architectures) cat "$STUB_STATE/arches" 2>/dev/null ;;
--add-architecture) echo "$2" >>"$STUB_STATE/arches"; echo "dpkg $*" >>"$STUB_STATE/calls" ;;
--remove-architecture) sed -i "/^$2\$/d" "$STUB_STATE/arches"; echo "dpkg $*" >>"$STUB_STATE/calls" ;;
esac
EOF
printf '#!/bin/sh\nexit "${STUB_RUNS_32BIT:-1}"\n' >"$stub/probe32"
chmod +x "$stub"/*

required=$(sed -n '/^packages=(/,/^)/p' "$script" | sed '1d;$d' | tr -s ' \n' '\n' | grep -v '^$')

passed=0
failed=0
out=""
rc=0

# Runs the script on a fresh state. $1: 0 when the kernel runs 32-bit
# programs; the rest of the state is written by the case before it calls.
run() {
    out=$(STUB_STATE="$state" STUB_RUNS_32BIT="$1" TP_DEPS_APT_GET="$stub/apt-get" TP_DEPS_DPKG="$stub/dpkg" \
        TP_DEPS_DPKG_QUERY="$stub/dpkg-query" TP_DEPS_PROBE32="$stub/probe32" \
        TP_DEPS_MARKER="$state/build/wine32-unavailable" TP_DEPS_PAUSE=0 bash "$script" 2>&1)
    rc=$?
}

new_state() {
    state="$work/$1"
    mkdir -p "$state"
    : >"$state/calls"
    : >"$state/installed"
}

check() { # description, then a command that must succeed
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $case_name: $what"
        echo "  exit status $rc; output:"
        sed 's/^/    /' <<<"$out"
        echo "  calls:"
        sed 's/^/    /' "$state/calls"
    fi
}
printed() { grep -qF -- "$1" <<<"$out"; }
calls() { [ "$(grep -c "^$1" "$state/calls")" -eq "$2" ]; }
all_required_installed() {
    local p
    for p in $required; do grep -qx "$p" "$state/installed" || return 1; done
}

case_name="update fails once, then works"
new_state once
echo 1 >"$state/update-failures"
run 1
check "exit 0" test $rc -eq 0
check "two updates" calls "apt-get update" 2
check "the retry is announced with the index" printed "apt-get update failed on http://mirror.invalid/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz; trying again"
check "no give-up line" eval '! printed "still fails"'
check "every required package installed" all_required_installed

case_name="update keeps failing on one index"
new_state always
echo always >"$state/update-failures"
run 1
check "exit 0" test $rc -eq 0
check "three updates" calls "apt-get update" 3
check "one line names the index and goes on" printed "apt-get update still fails after 3 tries on http://mirror.invalid/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz; going on with the indexes that were fetched"
check "every required package installed" all_required_installed

case_name="wine32 not installable on a half-synced mirror"
new_state nowine32
echo always >"$state/update-failures"
echo "wine32:i386 broken" >"$state/unavailable"
run 0
check "exit 0" test $rc -eq 0
check "one line says why and what follows" printed "wine32 cannot be installed now: the mirror's i386 index is incomplete (held broken packages); the x86 Windows tests will be skipped"
check "the architecture was added, then removed again" calls "dpkg --remove-architecture i386" 1
check "no i386 architecture left" test ! -s "$state/arches"
check "the marker says when and why" grep -q "^reason: the mirror's i386 index is incomplete" "$state/build/wine32-unavailable"
check "the marker is dated" grep -qE '^date: [0-9]{4}-' "$state/build/wine32-unavailable"
check "every required package installed" all_required_installed
check "wine32 not installed" eval '! grep -qx "wine32:i386" "$state/installed"'

case_name="a marker younger than a day: no wine32 retry"
# Same state, all required packages now in place.
: >"$state/calls"
run 0
check "exit 0" test $rc -eq 0
check "no apt call at all" calls "apt-get" 0
check "no architecture change" calls "dpkg" 0
check "says that it is not retried" printed "wine32 is not tried again before a day has passed"

case_name="a marker older than a day: wine32 tried once more, and found"
touch -d '25 hours ago' "$state/build/wine32-unavailable"
: >"$state/unavailable"
echo 0 >"$state/update-failures"
run 0
check "exit 0" test $rc -eq 0
check "wine32 installed" grep -qx "wine32:i386" "$state/installed"
check "the marker is gone" test ! -e "$state/build/wine32-unavailable"
check "the architecture stays" grep -qx i386 "$state/arches"

case_name="a required package is not installable"
new_state required
echo "nsis" >"$state/unavailable"
run 1
check "exit 1" test $rc -eq 1
check "names the package and apt's reason" printed "required package nsis cannot be installed: Package 'nsis' has no installation candidate"

case_name="everything already installed"
new_state complete
printf '%s\n' $required "wine32:i386" >"$state/installed"
echo i386 >"$state/arches"
run 0
check "exit 0" test $rc -eq 0
check "no apt call at all" calls "apt-get" 0
check "nothing printed" test -z "$out"

echo "install-deps test: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
