#!/usr/bin/env bash
# Builds everything and runs every test: the native tests (sanitizers, a
# short fuzz run) and the Windows tests under Wine against the simulated
# device. Installs what is missing first.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"

tools/install-deps.sh

summary=()
total_pass=0
total_fail=0
run_ctest() {
    local preset=$1
    shift
    local log
    log=$(mktemp)
    set +e
    ctest --preset "$preset" "$@" 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]}
    set -e
    local line
    line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
    if [ -n "$line" ]; then
        local failed total
        failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
        total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
        total_fail=$((total_fail + failed))
        total_pass=$((total_pass + total - failed))
    elif [ "$rc" -ne 0 ]; then
        total_fail=$((total_fail + 1))
    fi
    summary+=("$preset: ${line:-ctest exit $rc}")
    rm -f "$log"
    return "$rc"
}

status=0

echo "== native build and tests"
cmake --preset host
cmake --build --preset host
run_ctest host -j2 || status=1

echo "== Windows build and tests under Wine"
cmake --preset win32
cmake --build --preset win32
trap 'tools/bench/bench.sh down' EXIT
tools/bench/bench.sh up
# The Windows tests drive real processes, a virtual display and a pty under
# Wine; on a loaded machine their timing can slip. A failing executable runs
# once more, and ctest's output says so.
run_ctest win32 --repeat until-pass:2 || status=1

echo "== summary"
printf '%s\n' "${summary[@]}"
echo "tests: ${total_pass} passed, ${total_fail} failed"
exit $status
