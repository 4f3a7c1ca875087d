#!/usr/bin/env bash
# Long fuzz runs: each fuzz target of the native build in turn, one process
# at a time, to a number of executions (default 10^7), starting from the
# corpus kept in tests/fuzz/corpus/<target>. The inputs found are merged
# back into that corpus (only those that add coverage) and each run's
# executions, rate and time are printed as a table row.
#
#   tools/fuzz-campaign.sh [runs] [target...]
#   FUZZ_SECONDS=n tools/fuzz-campaign.sh ...   also stops each run after n s
#   FUZZ_MAX_LEN=n                               longest input (default 512)
#
# Needs the host build: cmake --preset host && cmake --build --preset host
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build/host/tests"
runs=${1:-10000000}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(frame_decoder_fuzz touch_conversion_fuzz calibration_fuzz message_text_fuzz access_code_fuzz config_import_fuzz)
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '| target | executions | exec/s | seconds | corpus files |\n|---|---|---|---|---|\n'
for t in "${targets[@]}"; do
    exe=$(find "$build" -type f -name "$t" -perm -u+x | head -n 1)
    if [ -z "$exe" ]; then
        echo "fuzz-campaign: $t not built" >&2
        exit 1
    fi
    corpus="$root/tests/fuzz/corpus/$t"
    mkdir -p "$corpus" "$work/$t"
    log="$work/$t.log"
    start=$(date +%s)
    limit=()
    [ -z "${FUZZ_SECONDS:-}" ] || limit=(-max_total_time="$FUZZ_SECONDS")
    if ! "$exe" -runs="$runs" "${limit[@]}" -print_final_stats=1 -max_len="${FUZZ_MAX_LEN:-512}" \
        -artifact_prefix="$work/$t-" "$work/$t" "$corpus" >"$log" 2>&1; then
        tail -n 40 "$log" >&2
        echo "fuzz-campaign: $t found a fault; the input is in $work (kept)" >&2
        trap - EXIT
        exit 1
    fi
    end=$(date +%s)
    "$exe" -merge=1 "$corpus" "$work/$t" >/dev/null 2>&1
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    printf '| %s | %s | %s | %s | %s |\n' "$t" "$execs" "$rate" "$((end - start))" "$(ls "$corpus" | wc -l)"
done
