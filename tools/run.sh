#!/usr/bin/env bash
# Runs TactilePane under Wine against the simulated device on COM3.
# Uses the current display when there is one, a virtual one otherwise.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"

tools/install-deps.sh
cmake --preset host >/dev/null && cmake --build --preset host --target devsim
cmake --preset win32 >/dev/null && cmake --build --preset win32 --target TactilePane

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    export TP_USE_DISPLAY=1
fi
trap 'tools/bench/bench.sh down' EXIT
eval "$(tools/bench/bench.sh env)"

build/host/tools/devsim/devsim --link "$TP_PORTS_DIR/com3" --quiet --max-seconds 3600 \
    --log "$TP_BENCH_DIR/devsim-run.log" --control 0 --ready-file "$TP_BENCH_DIR/devsim-run.port" &
devsim_pid=$!
trap 'kill $devsim_pid 2>/dev/null || true; tools/bench/bench.sh down' EXIT

wine build/win32/TactilePane.exe
