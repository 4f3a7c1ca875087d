#!/usr/bin/env bash
# Builds everything and runs every test: the native tests (sanitizers, a
# short fuzz run) and the Windows tests under Wine against the simulated
# device, for each architecture this machine can run (x86 in a 32-bit
# prefix, x64 in a 64-bit one). Installs what is missing first.
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

# Which Windows suites run here. x64 must: without it nothing of the
# Windows side is tested, so a Wine that cannot start ends the run at once.
# x86 runs where the kernel runs 32-bit programs; elsewhere it is skipped.
x64_problem=$(TP_WINE_ARCH=x64 tools/bench/bench.sh check || true)
if [ -n "$x64_problem" ]; then
    echo "run-tests: Wine cannot start, so no Windows test can run: $x64_problem" >&2
    exit 1
fi
archs=(x64)
x86_problem=$(TP_WINE_ARCH=x86 tools/bench/bench.sh check || true)
if [ -z "$x86_problem" ]; then
    archs=(x86 x64)
elif tools/bench/probe-32bit.sh >/dev/null; then
    # The kernel runs 32-bit programs, so 32-bit Wine should too.
    echo "run-tests: x86 Windows tests cannot run although this machine runs 32-bit programs: $x86_problem" >&2
    summary+=("win32: x86 Wine does not start: $x86_problem")
    total_fail=$((total_fail + 1))
else
    x86_skip="x86 Windows tests skipped: $x86_problem"
    echo "run-tests: $x86_skip"
    summary+=("win32: $x86_skip")
fi

status=0
[ "$total_fail" -eq 0 ] || status=1

echo "== native build and tests"
cmake --preset host
cmake --build --preset host
run_ctest host -j2 || status=1

echo "== static analysis"
if tools/lint.sh; then
    summary+=("lint: clean")
else
    summary+=("lint: findings")
    total_fail=$((total_fail + 1))
    status=1
fi

echo "== Windows builds (x86 and x64)"
cmake --preset win32
cmake --build --preset win32
cmake --preset win64
cmake --build --preset win64

benches_up=()
down_all() {
    local a
    for a in "${benches_up[@]}"; do TP_WINE_ARCH=$a tools/bench/bench.sh down; done
}
trap down_all EXIT
for arch in "${archs[@]}"; do
    preset=win32
    [ "$arch" = x64 ] && preset=win64
    echo "== Windows tests under Wine ($arch, preset $preset)"
    benches_up+=("$arch")
    TP_WINE_ARCH=$arch tools/bench/bench.sh up
    # The Windows tests drive real processes, a virtual display and a pty
    # under Wine; on a loaded machine their timing can slip. A failing
    # executable runs once more, and ctest's output says so.
    run_ctest "$preset" --repeat until-pass:2 || status=1
    TP_WINE_ARCH=$arch tools/bench/bench.sh down
done

echo "== summary"
printf '%s\n' "${summary[@]}"
echo "tests: ${total_pass} passed, ${total_fail} failed"
exit $status
