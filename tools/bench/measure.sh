#!/usr/bin/env bash
# Performance figures of the running program: the real TactilePane.exe under
# Wine on its own bench, against the simulated device on COM3, watched from
# outside by tests/perf/perf_probe.exe. Given a second (baseline) program, it
# measures both in the same run, one after the other on the same bench, and
# prints them side by side with ratios; then the headroom of the receive path
# with the injection replaced by a counter (tests/perf/headroom_probe.exe),
# the native cost of decode + plan (touch_conversion_bench), and SendInput
# alone (tests/perf/inject_probe.exe). Prints markdown tables; asserts
# nothing. Takes about eight minutes per program and two more for the rest,
# plus the wait for an idle machine.
#
#   tools/bench/measure.sh [--loaded] [BASELINE.exe]
#
# Two states of the machine:
#   (default)  idle: waits until the load average is below 1 before it
#              starts (at most TP_IDLE_WAIT_SECONDS, default 900; it says
#              so and goes on when the machine never gets there)
#   --loaded   one busy loop per CPU runs beside the bench for the whole run
#              (each bounded by TP_LOAD_MAX_SECONDS, default 3600, and killed
#              when the run ends)
# The load average is printed at both ends.
#
# Environment (all optional):
#   TP_WINE_ARCH        x86 or x64 (default: x86 where this machine runs
#                       32-bit programs, else x64); a baseline program must
#                       be of the same architecture
#   TP_BENCH_DIR        bench of this run (default: <repo>/build/perf/wine
#                       for x86, <repo>/build/perf/wine64 for x64);
#                       raw records go to $TP_BENCH_DIR/measure/<program>
#   TP_HOST_BUILD       native build with devsim (default: <repo>/build/host)
#   TP_WIN_BUILD        Windows build (default: <repo>/build/win32 for x86,
#                       <repo>/build/win64 for x64)
#   TP_BASELINE         baseline program, instead of the argument
#   TP_PROGRAM          the program measured first (default: TactilePane.exe
#                       of the Windows build); with the two swapped, a run
#                       shows how much the order (a machine whose load
#                       changes) decides
#   TP_IDLE_SECONDS     length of the idle CPU sample (default 60)
#   TP_LATENCY_REPORTS  touch reports timed one by one (default 1200)
#   TP_RATES            offered report rates per second, ascending
#   TP_STREAM_SECONDS   length of the stream at the 115200-baud pace (default 60)
#   TP_BURST_SECONDS    length of the burst (default 10)
#   TP_BURST_RATE       reports a second in the burst (default 5000)
#   TP_HEADROOM_RATES   offered rates of the headroom steps, ascending
#   TP_RESTARTS         device restarts whose configuration exchanges are timed
#                       (default 20)
#
# Clocks: Wine's QueryPerformanceCounter counts CLOCK_MONOTONIC_RAW in 100 ns
# units and its tick count is the same clock in ms; devsim's --tx-times stamps
# each write to the line on that clock, so the probe's records and the
# simulator's stamps compare directly.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/bench/procs.sh
. "$here/procs.sh"
repo=$(cd "$here/../.." && pwd)
host_build=${TP_HOST_BUILD:-$repo/build/host}
export TP_WINE_ARCH=${TP_WINE_ARCH:-$("$here/bench.sh" best-arch)}
if [ "$TP_WINE_ARCH" = x64 ]; then
    win_preset=win64
    export TP_BENCH_DIR=${TP_BENCH_DIR:-$repo/build/perf/wine64}
else
    win_preset=win32
    export TP_BENCH_DIR=${TP_BENCH_DIR:-$repo/build/perf/wine}
fi
win_build=${TP_WIN_BUILD:-${TP_WIN32_BUILD:-$repo/build/$win_preset}}
loaded=0
if [ "${1:-}" = --loaded ]; then
    loaded=1
    shift
fi
baseline=${1:-${TP_BASELINE:-}}
idle_seconds=${TP_IDLE_SECONDS:-60}
latency_reports=${TP_LATENCY_REPORTS:-1200}
rates=${TP_RATES:-"200 400 600 700 800 1000 1500 2000 3000 4000 4500 5000 6000 8000"}
stream_seconds=${TP_STREAM_SECONDS:-60}
burst_seconds=${TP_BURST_SECONDS:-10}
burst_rate=${TP_BURST_RATE:-5000}
headroom_rates=${TP_HEADROOM_RATES:-"5000 10000 15000 20000 25000 30000 40000 50000 60000"}
restarts=${TP_RESTARTS:-20}
idle_wait=${TP_IDLE_WAIT_SECONDS:-900}
load_max=${TP_LOAD_MAX_SECONDS:-3600}
stream_group=22   # reports per 20 ms in the stream: just above 115200 baud's 1,047/s
stream_stroke=1000 # reports per stroke in the stream: a press and a release each
burst_stroke=100  # reports per stroke in the burst
gap_ms=25          # between two timed reports: far above the expected latency
burst_ms=3000      # length of each rate step
startup_stream=600 # reports 10 ms apart offered while the program starts

log() { echo "measure: $*" >&2; }
die() {
    log "$*"
    exit 1
}

# --- what it needs --------------------------------------------------------
for tool in cmake ninja clang++ i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix wine Xvfb xdpyinfo timeout; do
    command -v "$tool" >/dev/null || {
        "$repo/tools/install-deps.sh"
        break
    }
done
if [ ! -f "$host_build/CMakeCache.txt" ]; then
    (cd "$repo" && cmake --preset host -B "$host_build" >/dev/null)
fi
if [ ! -f "$win_build/CMakeCache.txt" ]; then
    (cd "$repo" && cmake --preset "$win_preset" -B "$win_build" >/dev/null)
fi
log "building devsim, touch_conversion_bench, TactilePane, TactilePaneStop and the probes"
# Two jobs at most: the build machine has two CPUs shared with others.
cmake --build "$host_build" -j2 --target devsim >/dev/null
cmake --build "$host_build" -j2 --target touch_conversion_bench >/dev/null 2>&1 || true
cmake --build "$win_build" -j2 --target TactilePane TactilePaneStop perf_probe inject_probe headroom_probe >/dev/null
load_pids=()
stop_load() {
    local p
    for p in "${load_pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${load_pids[@]}"; do wait "$p" 2>/dev/null || true; done
    load_pids=()
}
trap stop_load EXIT
if [ "$loaded" = 1 ]; then
    state=loaded
    for _ in $(seq "$(nproc)"); do
        timeout "$load_max" sh -c 'while :; do :; done' &
        load_pids+=($!)
    done
    log "loaded: ${#load_pids[@]} busy loops (pids ${load_pids[*]}) for the whole run"
else
    state=idle
    waited=0
    while awk '{ exit !($1 >= 1) }' /proc/loadavg && [ "$waited" -lt "$idle_wait" ]; do
        [ $((waited % 60)) -eq 0 ] && log "idle: waiting for a load average below 1 (now $(cut -d' ' -f1 /proc/loadavg))"
        sleep 10
        waited=$((waited + 10))
    done
    if awk '{ exit !($1 >= 1) }' /proc/loadavg; then
        log "idle: the load average stayed at 1 or more for $idle_wait s; measuring anyway"
        state="idle not reached (the load average stayed at 1 or more for $idle_wait s)"
    fi
fi
load_start=$(cut -d' ' -f1-3 /proc/loadavg)
log "$state; load average at the start: $load_start"
echo "Load average at the start: $load_start ($state)."
echo
devsim=$host_build/tools/devsim/devsim
stop_tool=$win_build/TactilePaneStop.exe
probe=$win_build/tests/perf/perf_probe.exe
inject_probe=$win_build/tests/perf/inject_probe.exe
headroom_probe=$win_build/tests/perf/headroom_probe.exe
native_bench=$host_build/tests/controller/touch_conversion_bench
programs=("${TP_PROGRAM:-$win_build/TactilePane.exe}")
labels=(this)
if [ -n "$baseline" ]; then
    [ -f "$baseline" ] || die "no baseline program $baseline"
    programs+=("$(cd "$(dirname "$baseline")" && pwd)/$(basename "$baseline")")
    labels+=(baseline)
fi

# --- the bench -------------------------------------------------------------
top=$TP_BENCH_DIR/measure
work=$top
devsim_pid=""
cleanup() {
    set +e
    stop_load
    if [ -n "${WINEPREFIX:-}" ]; then
        timeout 30 wine "$stop_tool" 20000 </dev/null >/dev/null 2>&1
    fi
    if [ -n "$devsim_pid" ]; then
        kill "$devsim_pid" 2>/dev/null
        wait "$devsim_pid" 2>/dev/null
    fi
    "$here/bench.sh" down
}
trap cleanup EXIT
trap 'exit 130' INT TERM

log "bench in $TP_BENCH_DIR: the $TP_WINE_ARCH programs ${programs[*]}"
"$here/bench.sh" up
eval "$("$here/bench.sh" env)"
rm -rf "$top"
mkdir -p "$top"
clk_tck=$(getconf CLK_TCK)

start_devsim "$top" 3600
control_port=$(cat "$top/devsim.port")

# Control commands from a file on a fresh connection: `send FILE` starts them
# (devsim reads them all and runs them in order), `finish SECONDS` waits until
# every one has been answered, i.e. has been carried out.
send() {
    sent_lines=$(wc -l <"$1")
    exec 3<>"/dev/tcp/127.0.0.1/$control_port"
    cat "$1" >&3
}
finish() {
    local got
    got=$(timeout "$1" head -n "$sent_lines" <&3 | grep -c '^ok' || true)
    exec 3>&-
    [ "$got" -eq "$sent_lines" ] || die "devsim answered $got of $sent_lines commands"
}
tx_lines() { wc -l <"$top/tx.txt"; }

# CPU time of a process in ns: its threads' run time from schedstat, which
# counts in ns where utime+stime count in clock ticks (10 ms, 0.017 % of a
# minute); the ticks where the kernel keeps no schedstat.
cpu_ns() {
    if [ -r "/proc/$1/schedstat" ]; then
        cat "/proc/$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%.0f\n", s }'
    else
        awk -v hz="$clk_tck" '{ printf "%.0f\n", ($14 + $15) * 1e9 / hz }' "/proc/$1/stat"
    fi
}
uptime_s() { awk '{ print $1 }' /proc/uptime; }

# --- the tables ------------------------------------------------------------------
details() {
echo "| Figure | Result | How |"
echo "|---|---|---|"
echo "| Touch report to pointer move, p50 / p99 | $lat50 ms / $lat99 ms (max $latmax ms, mean $latmean ms) | $lat_n reports ${gap_ms} ms apart, $lat_moves pointer moves seen ($lat_mode); last byte written to the pty -> first GetCursorPos change; probe loop p50 ${loop50} us, p99 ${loop99} us |"
echo "| Highest sustained report rate with zero loss | $sustained reports/s | 3 s steps of rising rates, every report at its own place: all found in the pointer history, taken at the offered pace, the last within 100 ms${limit:+; above it the program takes about $limit reports/s and falls behind} |"
echo "| Idle CPU over ${idle_wall} s | TactilePane.exe $idle_prog %, wineserver $idle_server % | run time of all threads from /proc/PID/task/*/schedstat (ns), one CPU = 100 %; the program has $threads threads |"
echo "| Command round trip per exchange | p50 $rt50 ms, p99 $rt99 ms, mean $rtmean ms | $rtn exchanges of the configuration sent after $restarts device restarts: one acknowledgement written -> the next one written (the device answers at once) |"
echo "| ${stream_seconds} s stream at the 115200-baud pace | $st_n reports offered at $st_rate/s, $st_lost lost on the line; pointer behind p50 $st_lag50 ms, p99 $st_lag99 ms, max $st_lagmax ms; $st_merged positions merged; $st_blost of $st_bw button events lost | groups of $stream_group reports every 20 ms in strokes of $stream_stroke, every report at its own place; each position of the pointer history matched to its report's write ($st_unmatched unmatched); the history overflowed ${st_overflows:-0} times between two looks of the probe |"
echo "| ${burst_seconds} s burst at $burst_rate reports/s | $bu_n reports offered at $bu_rate/s, $bu_lost lost on the line; pointer behind p50 $bu_lag50 ms, p99 $bu_lag99 ms, max $bu_lagmax ms; $bu_merged positions merged; $bu_blost of $bu_bw button events lost | groups of $(((burst_rate + 25) / 50)) reports every 20 ms in strokes of $burst_stroke, as the stream ($bu_unmatched unmatched, ${bu_overflows:-0} overflows) |"
awk '{
        what = ($1 == "idle" ? "idle, after start-up" : $1 == "latency" ? "after the latency run" : $1 == "rates" ? "after the rate steps" : "after the stream")
        printf "| Working set, %s | VmRSS %.1f MiB (peak %.1f MiB) | Windows view (GetProcessMemoryInfo): working set %.1f MiB, peak %.1f MiB, private %.1f MiB |\n",
            what, $2 / 1024, $3 / 1024, $4 / 1024, $5 / 1024, $6 / 1024
    }' "$work/memory.txt"
awk '$1 == "latency" { before = $6 } $1 == "rates" { after = $6 } END {
        if (reports > 0 && after != "")
            printf "| Private memory growth during the rate steps | %.0f KiB over %d injected reports (%.0f bytes each) | difference of the Windows private bytes before and after the steps |\n",
                after - before, reports, (after - before) * 1024 / reports
    }' reports="$(awk '{ n += $2 } END { print n + 0 }' "$work/rate.txt")" "$work/memory.txt"
awk '{
        what = ($1 == "first" ? "empty registry (port detection)" : "stored port")
        printf "| Start to first pointer move, %s | %s ms | from just before CreateProcess to the first GetCursorPos change, touches every 10 ms throughout; first identification answered at %s ms |\n",
            what, $2, $3
    }' "$work/startup.txt"
echo
echo "Report rate steps (offered: from the write stamps; taken: moves over their own span; lag: last report written -> last move):"
echo
echo "| Offered /s | Reports | Moves seen | Lost | Taken /s | Lag at end |"
echo "|---|---|---|---|---|---|"
awk '{ printf "| %d | %d | %d | %d | %d | %s |\n", $4, $2, $3, $2 - $3, $5, ($6 < 0 ? "-" : $6 " ms") }' "$work/rate.txt"
if [ "${overflows:-0}" != 0 ]; then
    echo
    echo "(The pointer history overflowed $overflows times between two looks: the counts may be low.)"
fi
}

measure_program() { # program label
program=$1
work=$top/$2
mkdir -p "$work"
log "== $2: $program"

# --- 5. start to first pointer move ------------------------------------------
# The device reports touches every 10 ms from before the program starts (they
# are lost while the port is closed, as with real hardware); the probe starts
# the program and stops at the first change of the pointer position.
startup_run() { # label x-offset
    local stream=$work/startup-$1.cmd out=$work/startup-$1.txt mark
    for i in $(seq 0 $((startup_stream - 1))); do
        echo "touch $((700 + $2 + (i % 2) * 60)) $((600 + (i % 2) * 80))"
        echo "sleep 10"
    done >"$stream"
    echo release >>"$stream"
    mark=$(tx_lines)
    send "$stream"
    timeout 60 wine "$probe" watch "$out" --first --start "$program" --max-ms 15000 \
        </dev/null >"$work/probe-startup-$1.log" 2>&1 || true
    finish 60
    [ -s "$out" ] || die "the start-up probe wrote nothing (see $work/probe-startup-$1.log)"
    tail -n +"$((mark + 1))" "$top/tx.txt" >"$work/startup-$1.tx"
    # Start and first move in 100 ns ticks, identification answer in us.
    awk -v label="$1" '
        FNR == NR { if ($3 == "01" && $5 == "81" && ident == "") ident = $1 * 10; next }
        /^# start/ { start = $3 }
        !/^#/ && move == "" { move = $1 }
        END {
            if (move == "") { print label " - -"; exit }
            printf "%s %.0f %s\n", label, (move - start) / 10000,
                (ident == "" ? "-" : sprintf("%.0f", (ident - start) / 10000))
        }' "$work/startup-$1.tx" "$out" >>"$work/startup.txt"
}

log "start-up with an empty registry (the port is found by detection)"
timeout 20 wine reg delete 'HKLM\Software\Mavrel\TactilePane' /f >/dev/null 2>&1 || true
timeout 20 wine reg delete 'HKCU\Software\Mavrel\TactilePane' /f >/dev/null 2>&1 || true
: >"$work/startup.txt"
startup_run first 0
timeout 60 wine "$stop_tool" 30000 </dev/null >/dev/null 2>&1 || die "the program did not end after its first start"
log "start-up with the stored port"
startup_run regular 100
sleep 2

# --- 3. idle CPU, 4. working set ---------------------------------------------
prog_pid=$(unix_pid_of '*TactilePane.exe') || die "no TactilePane.exe process in this prefix"
server_pid=$(unix_pid_of '*wineserver*') || die "no wineserver of this prefix"
log "idle CPU over $idle_seconds s (TactilePane.exe is unix pid $prog_pid, wineserver $server_pid)"
sleep 3
p0=$(cpu_ns "$prog_pid")
s0=$(cpu_ns "$server_pid")
t0=$(uptime_s)
sleep "$idle_seconds"
p1=$(cpu_ns "$prog_pid")
s1=$(cpu_ns "$server_pid")
t1=$(uptime_s)
threads=$(awk '/^Threads:/ { print $2 }' "/proc/$prog_pid/status")
idle=$(awk -v p="$((p1 - p0))" -v s="$((s1 - s0))" -v t0="$t0" -v t1="$t1" \
    'BEGIN { w = t1 - t0; printf "%.3f %.3f %.1f", 100 * p / 1e9 / w, 100 * s / 1e9 / w, w }')
memory_row() { # label
    local rss hwm win
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$prog_pid/status")
    hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$prog_pid/status")
    win=$(timeout 30 wine "$probe" memory TactilePane.exe </dev/null 2>/dev/null | head -n 1 || true)
    echo "$1 $rss $hwm $(echo "$win" | awk '{ printf "%d %d %d", $4 / 1024, $6 / 1024, $8 / 1024 }')" \
        >>"$work/memory.txt"
}
: >"$work/memory.txt"
memory_row idle

# --- 1. latency --------------------------------------------------------------
# One report every 25 ms at alternating places; the probe polls the pointer
# and stamps every change. Each report moves the pointer once, so the k-th
# change after the first report belongs to the k-th report.
log "latency of $latency_reports touch reports, $gap_ms ms apart"
rm -f "$work/latency.ready" "$work/latency.stop"
wine "$probe" watch "$work/latency-moves.txt" --ready "$work/latency.ready" --stop "$work/latency.stop" \
    --max-ms $((latency_reports * gap_ms * 3 + 30000)) </dev/null >"$work/probe-latency.log" 2>&1 &
probe_pid=$!
for _ in $(seq 300); do
    [ -f "$work/latency.ready" ] && break
    sleep 0.05
done
[ -f "$work/latency.ready" ] || die "the latency probe did not start"
for i in $(seq 0 $((latency_reports - 1))); do
    echo "touch $((150 + i % 300)) $((450 + (i % 2) * 120))"
    echo "sleep $gap_ms"
done >"$work/latency.cmd"
echo release >>"$work/latency.cmd"
mark=$(tx_lines)
send "$work/latency.cmd"
finish $((latency_reports * gap_ms * 3 / 1000 + 30))
sleep 0.5
touch "$work/latency.stop"
wait "$probe_pid" || die "the latency probe failed (see $work/probe-latency.log)"
tail -n +"$((mark + 1))" "$top/tx.txt" | awk '$5 == "90"' >"$work/latency.tx"
awk '
    FNR == NR { sent[n++] = $1 * 10; next }   # us -> 100 ns ticks
    /^# loops/ { loop50 = $5 / 10; loop99 = $7 / 10; next }
    /^#/ { next }
    { if ($1 >= sent[0]) moved[m++] = $1 }
    END {
        ordered = (m == n)
        j = 0
        for (i = 0; i < n; i++) {
            if (ordered) { t = moved[i] }
            else {
                while (j < m && moved[j] < sent[i]) j++
                if (j >= m) break
                t = moved[j]
            }
            printf "%.3f\n", (t - sent[i]) / 10000 > "/dev/stderr"
        }
        printf "%d %d %.0f %.0f %s\n", n, m, loop50, loop99, (ordered ? "ordered" : "by-time")
    }' "$work/latency.tx" "$work/latency-moves.txt" 2>"$work/latency-ms.txt" >"$work/latency-summary.txt"
sort -n "$work/latency-ms.txt" >"$work/latency-sorted.txt"
latency=$(awk '{ v[NR] = $1; s += $1 } END {
        if (NR == 0) { print "- - - - 0"; exit }
        i50 = int(NR * 0.50); if (i50 < 1) i50 = 1
        i99 = int(NR * 0.99); if (i99 < 1) i99 = 1
        printf "%.1f %.1f %.1f %.1f %d", v[i50], v[i99], v[NR], s / NR, NR }' "$work/latency-sorted.txt")
memory_row latency

# --- 2. sustained report rate ------------------------------------------------
# Steps of rising offered rates, each 3 s long, every report at its own place.
# The probe collects the system's pointer history, so it sees every position
# even when moves come faster than it could poll. A step passes when every
# report moved the pointer, the moves kept pace with the reports (taken rate
# at least 97 % of the offered one) and the last move came within 100 ms of
# the last report; the steps end with the first one that does not pass.
log "report rates: $rates per second"
rm -f "$work/rate.ready" "$work/rate.stop"
wine "$probe" history "$work/rate-history.txt" --ready "$work/rate.ready" --stop "$work/rate.stop" \
    --max-ms 600000 </dev/null >"$work/probe-rate.log" 2>&1 &
probe_pid=$!
for _ in $(seq 300); do
    [ -f "$work/rate.ready" ] && break
    sleep 0.05
done
[ -f "$work/rate.ready" ] || die "the rate probe did not start"
# Waits until the pointer history has not grown for half a second.
wait_for_rest() { # history file
    local size=-1 now quiet=0
    for _ in $(seq 600); do
        now=$(stat -c %s "$1")
        if [ "$now" = "$size" ]; then
            quiet=$((quiet + 1))
            [ $quiet -ge 10 ] && return 0
        else
            quiet=0
        fi
        size=$now
        sleep 0.05
    done
}
# Per step: first and last write of its reports (us), reports offered, and
# the positions, moves and last move (ms) the history shows from its first
# write until the next step. The history's stamps come from the tick count,
# which under Wine may be a few ms stale: a move right after the step's first
# write can carry a stamp before it (seen: 2.3 ms). So the step's moves are
# taken from 100 ms before its first write on; the step before went quiet
# for half a second and lies on another row.
step_result() { # rate count first-line last-line
    sed -n "$(($3 + 1)),$4p" "$top/tx.txt" | awk '$5 == "90" || / 10 01 04 90/' >"$work/rate-$1.tx"
    awk -v rate="$1" -v count="$2" '
        FNR == NR { if (first == "") first = $1; last = $1; next }
        /^#/ { next }
        {
            t = $1 * 1000
            if (t < first - 100000) next
            key = $2 " " $3
            if (!(key in seen)) { seen[key] = 1; n++ }
            if (firstmove == "") firstmove = t
            lastmove = t
        }
        END {
            span = (last - first) / 1e6
            offered = (span > 0 ? (count - 1) / span : 0)
            moved = (lastmove - firstmove) / 1e6
            delivered = (moved > 0 ? (n - 1) / moved : 0)
            lag = (n > 0 ? (lastmove - last) / 1000 : -1)
            printf "%d %d %d %.0f %.0f %.0f\n", rate, count, n, offered, delivered, lag
        }' "$work/rate-$1.tx" "$work/rate-history.txt"
}
# Fields: rate reports seen offered taken lag.
# shellcheck disable=SC2016 # an awk condition
passes='$3 == $2 && $5 >= 0.97 * $4 && $6 >= 0 && $6 <= 100'
: >"$work/rate.txt"
step=0
for rate in $rates; do
    # Groups of reports every 20 ms (or one report per period below 50/s).
    if [ "$rate" -ge 50 ]; then
        period=20
        group=$(((rate + 25) / 50))
    else
        period=$((1000 / rate))
        group=1
    fi
    count=$((burst_ms / period * group)) # whole periods
    for i in $(seq 0 $((count - 1))); do
        echo "touch $((100 + i % 400)) $((300 + (i / 400) * 4 + (step % 2) * 2))"
        if [ $(((i + 1) % group)) -eq 0 ]; then echo "sleep $period"; fi
    done >"$work/rate-$rate.cmd"
    echo release >>"$work/rate-$rate.cmd"
    mark=$(tx_lines)
    send "$work/rate-$rate.cmd"
    finish 120
    wait_for_rest "$work/rate-history.txt"
    # Only this step's moves are in the history from its first write on.
    step_result "$rate" "$count" "$mark" "$(tx_lines)" >>"$work/rate.txt"
    step=$((step + 1))
    tail -n 1 "$work/rate.txt" | awk "$passes { ok = 1 } END { exit !ok }" || break
done
touch "$work/rate.stop"
wait "$probe_pid" || true
overflows=$(awk '/^# overflows/ { print $3 }' "$work/rate-history.txt")
memory_row rates


# --- 6. command round trip ------------------------------------------------------
# The device announces a restart; the program identifies it again and sends it
# its configuration: six write commands, each waiting for its one-byte
# acknowledgement. The simulator answers at once, so the time from one
# acknowledgement to the next is one exchange as the program sees it: notice
# the reply, send the next command, the device's answer.
log "command round trips: $restarts device restarts"
for _ in $(seq "$restarts"); do
    echo restart
    echo "sleep 1500"
done >"$work/restart.cmd"
mark=$(tx_lines)
send "$work/restart.cmd"
finish $((restarts * 3 + 30))
sleep 1
tail -n +"$((mark + 1))" "$top/tx.txt" >"$work/restart.tx"
awk '$4 == "01" && $5 ~ /^(02|03|04|05|08|09|0b)$/ { print $1 }' "$work/restart.tx" |
    awk 'NR > 1 && $1 - prev < 500000 { printf "%.3f\n", ($1 - prev) / 1000 } { prev = $1 }' |
    sort -n >"$work/roundtrip-ms.txt"
roundtrip=$(awk '{ v[NR] = $1; s += $1 } END {
        if (NR == 0) { print "- - - 0"; exit }
        i50 = int(NR * 0.50); if (i50 < 1) i50 = 1
        i99 = int(NR * 0.99); if (i99 < 1) i99 = 1
        printf "%.2f %.2f %.2f %d", v[i50], v[i99], s / NR, NR }' "$work/roundtrip-ms.txt")

# --- 7. a stream at the pace of the fastest line, 8. a burst ----------------------
# Every report at its own place, in strokes (a press at the first report, a
# release after the last), written in groups every 20 ms. The pointer history
# (with --buttons, the clicks on a window of the probe over the whole screen)
# shows where the pointer went and when. Each position seen is matched to the
# report that put it there (the positions of a run are all different), from
# the report's own bytes on the line with the program's transform (the ZMR02
# defaults the bench's device is configured with): the pointer's lag is the
# move less the report's write. Reports
# written but never seen were merged (or scrolled out of the history, which
# the overflows say). Lost on the line: offered but never written (the
# simulator drops what the program leaves unread beyond its 64 KiB). Button
# events lost: pressed and released on the line but never clicked.
touch_run() { # name count group stroke
    local name=$1 count=$2 group=$3 stroke=$4
    rm -f "$work/$name.ready" "$work/$name.stop"
    wine "$probe" history "$work/$name-history.txt" --buttons --ready "$work/$name.ready" --stop "$work/$name.stop" \
        --max-ms $(((count * 3 / 50 + 120) * 1000)) </dev/null >"$work/probe-$name.log" 2>&1 &
    probe_pid=$!
    for _ in $(seq 300); do
        [ -f "$work/$name.ready" ] && break
        sleep 0.05
    done
    [ -f "$work/$name.ready" ] || die "the $name probe did not start"
    awk -v count="$count" -v group="$group" -v stroke="$stroke" 'BEGIN {
            for (i = 0; i < count; i++) {
                printf "touch %d %d\n", 100 + i % 400, 301 + int(i / 400) * 4
                if ((i + 1) % stroke == 0) print "release"
                if ((i + 1) % group == 0) print "sleep 20"
            }
            print "release"
        }' >"$work/$name.cmd"
    mark=$(tx_lines)
    send "$work/$name.cmd"
    finish $((count * 3 / 50 + 60))
    wait_for_rest "$work/$name-history.txt"
    touch "$work/$name.stop"
    wait "$probe_pid" || true
    sed -n "$((mark + 1)),$(tx_lines)p" "$top/tx.txt" >"$work/$name.tx"
    # Fields: offered written seen merged lag50 lag99 lagmax buttons-written
    # buttons-seen unmatched overflows (lags in ms).
    awk -v count="$count" -v strokes="$(((count + stroke - 1) / stroke))" -v w="$screen_w" -v h="$screen_h" \
        -v lags="$work/$name-lag.txt" '
        function trunc(v) { return v < 0 ? -int(-v) : int(v) }
        function clamp(v) { return v < 0 ? 0 : (v > 65535 ? 65535 : v) }
        function hex(s) { return index("0123456789abcdef", substr(s, 1, 1)) * 16 + index("0123456789abcdef", substr(s, 2, 1)) - 17 }
        FNR == NR {
            # A write: its frames, the 0x10 of a payload doubled.
            for (f = 2; f <= NF; f++) {
                if ($f != "10" || $(f + 1) != "01") continue
                if ($(f + 2) == "01" && $(f + 3) == "91") { if (down) { bw++; down = 0 } f += 3; continue }
                if ($(f + 2) != "04" || $(f + 3) != "90") continue
                k = f + 4; nb = 0
                while (nb < 3 && k <= NF) { b[nb++] = hex($k); k += ($k == "10" ? 2 : 1) }
                x = b[0] + (b[2] % 16) * 256; y = b[1] + int(b[2] / 16) * 256
                sx = int(x * 65535 / 1024); sy = int(y * 65535 / 1024)
                dx = clamp(sx + trunc(-2025 * sx / 1000) + 65402); dy = clamp(sy + trunc(43 * sy / 1000) - 425)
                px[n] = int(dx * w / 65536); py[n] = int(dy * h / 65536); t[n] = $1; n++
                if (!down) { bw++; down = 1 }
                f = k - 1
            }
            next
        }
        /^# (down|up) / { bs++; next }
        /^# overflows/ { over = $3; next }
        /^#/ { next }
        {
            if (n == 0 || $1 * 1000 < t[0] - 5000) next
            key = $2 " " $3
            if (key in seen) next
            seen[key] = 1
            # Within a millisecond the history does not keep the order of
            # its points, so a position is looked up, not searched for.
            if (!built) { for (i = n - 1; i >= 0; i--) at[px[i] " " py[i]] = i; built = 1 }
            if (!(key in at)) { unmatched++; next }
            i = at[key]
            lag = $1 - t[i] / 1000
            if (lag < 0) lag = 0
            print lag > lags
            matched++
        }
        END {
            printf "%d %d %d %d %d %d %d %d\n", count, n, matched + 0, n - matched, bw + 0, bs + 0, unmatched + 0, over + 0
        }' "$work/$name.tx" "$work/$name-history.txt" >"$work/$name.counts"
    touch "$work/$name-lag.txt"
    read -r o_n o_w o_seen o_merged o_bw o_bs o_un o_over <"$work/$name.counts"
    read -r l50 l99 lmax <<<"$(sort -n "$work/$name-lag.txt" | awk '{ v[NR] = $1 } END {
            if (NR == 0) { print "- - -"; exit }
            i50 = int(NR * 0.50); if (i50 < 1) i50 = 1
            i99 = int(NR * 0.99); if (i99 < 1) i99 = 1
            printf "%.0f %.0f %.0f\n", v[i50], v[i99], v[NR] }')"
    span_rate=$(awk '/ 10 01 04 90/ { if (first == "") first = $1; last = $1; n += gsub(/10 01 04 90/, "&") }
        END { printf "%.0f\n", (last > first ? (n - 1) / ((last - first) / 1e6) : 0) }' "$work/$name.tx")
    echo "$o_n $o_w $o_seen $o_merged $l50 $l99 $lmax $o_bw $o_bs $o_un $o_over $span_rate" >"$work/$name.figures"
}

log "a $stream_seconds s stream at the 115200-baud pace"
read -r screen_w screen_h <<<"$(timeout 30 wine "$probe" windows </dev/null 2>/dev/null | tr -d '\r' | awk '/^screen/ { print $2, $3 }')"
[ -n "${screen_w:-}" ] || die "the probe could not tell the screen size"
touch_run stream $((stream_seconds * 50 * stream_group)) "$stream_group" "$stream_stroke"
log "a $burst_seconds s burst at $burst_rate reports/s"
touch_run burst $((burst_seconds * burst_rate)) $(((burst_rate + 25) / 50)) "$burst_stroke"
memory_row stream

log "stopping the program"
timeout 60 wine "$stop_tool" 30000 </dev/null >/dev/null 2>&1 || log "the program did not end when asked"
sleep 2

read -r lat_n lat_moves loop50 loop99 lat_mode <"$work/latency-summary.txt"
read -r lat50 lat99 latmax latmean _ <<<"$latency"
read -r idle_prog idle_server idle_wall <<<"$idle"
read -r rt50 rt99 rtmean rtn <<<"$roundtrip"
read -r st_n st_written _ st_merged st_lag50 st_lag99 st_lagmax st_bw st_bs st_unmatched st_overflows st_rate <"$work/stream.figures"
read -r bu_n bu_written _ bu_merged bu_lag50 bu_lag99 bu_lagmax bu_bw bu_bs bu_unmatched bu_overflows bu_rate <"$work/burst.figures"
st_lost=$((st_n - st_written))
st_blost=$((st_bw - st_bs))
bu_lost=$((bu_n - bu_written))
bu_blost=$((bu_bw - bu_bs))
sustained=$(awk "$passes"' { best = $4 } END { print (best == "" ? "-" : best) }' "$work/rate.txt")
limit=$(awk "!($passes)"' { print $5; exit }' "$work/rate.txt")
for v in lat50 lat99 latmax idle_prog idle_server rt50 rt99 rtmean rtn st_n st_lost st_rate st_lag50 st_lag99 st_lagmax \
    st_merged st_bw st_blost bu_n bu_lost bu_rate bu_lag50 bu_lag99 bu_lagmax bu_merged bu_bw bu_blost sustained; do
    echo "$v=${!v}"
done >"$work/figures"
details >"$work/table.md"
}

for i in "${!programs[@]}"; do
    measure_program "${programs[$i]}" "${labels[$i]}"
done

# Side by side: ratios say how many times the first program does better.
figure() { # label name
    awk -F= -v k="$2" '$1 == k { print $2 }' "$top/$1/figures"
}
ratio() { # better-is-lower this baseline
    awk -v lower="$1" -v a="$2" -v b="$3" 'BEGIN {
        if (a == "" || b == "" || a == "-" || b == "-" || a + 0 == 0 || b + 0 == 0) { print "-"; exit }
        printf "%.1f x\n", (lower ? b / a : a / b) }'
}
row() { # title better-is-lower unit name
    local a b
    a=$(figure this "$4")
    if [ -n "$baseline" ]; then
        b=$(figure baseline "$4")
        echo "| $1 | $a$3 | $b$3 | $(ratio "$2" "$a" "$b") |"
    else
        echo "| $1 | $a$3 |"
    fi
}
sum_idle() { # label
    awk -v a="$(figure "$1" idle_prog)" -v b="$(figure "$1" idle_server)" 'BEGIN { printf "%.3f\n", a + b }'
}
for label in "${labels[@]}"; do
    echo "idle_sum=$(sum_idle "$label")" >>"$top/$label/figures"
done
if [ -n "$baseline" ]; then
    echo "| Figure | This program | Baseline | Better by |"
    echo "|---|---|---|---|"
else
    echo "| Figure | This program |"
    echo "|---|---|"
fi
row "Touch report to pointer move, p50" 1 " ms" lat50
row "Touch report to pointer move, p99" 1 " ms" lat99
row "Touch report to pointer move, max" 1 " ms" latmax
row "Highest sustained rate with zero loss" 0 " reports/s" sustained
row "${stream_seconds} s stream at the 115200-baud pace: offered" 0 " reports/s" st_rate
row "... reports lost on the line" 1 "" st_lost
row "... pointer behind, p50" 1 " ms" st_lag50
row "... pointer behind, p99" 1 " ms" st_lag99
row "... pointer behind, max" 1 " ms" st_lagmax
row "... positions merged" 1 "" st_merged
row "... button events lost (of $(figure this st_bw))" 1 "" st_blost
row "${burst_seconds} s burst at $burst_rate reports/s: offered" 0 " reports/s" bu_rate
row "... reports lost on the line" 1 "" bu_lost
row "... pointer behind, p50" 1 " ms" bu_lag50
row "... pointer behind, p99" 1 " ms" bu_lag99
row "... pointer behind, max" 1 " ms" bu_lagmax
row "... positions merged" 1 "" bu_merged
row "... button events lost (of $(figure this bu_bw))" 1 "" bu_blost
row "Idle CPU, TactilePane.exe" 1 " %" idle_prog
row "Idle CPU, wineserver" 1 " %" idle_server
row "Idle CPU, both" 1 " %" idle_sum
row "Command round trip per exchange (WriteConfig), p50" 1 " ms" rt50
row "Command round trip per exchange (WriteConfig), mean" 1 " ms" rtmean
row "Command round trip per exchange (WriteConfig), p99" 1 " ms" rt99
for i in "${!labels[@]}"; do
    echo
    echo "Details, ${labels[$i]} (${programs[$i]#"$repo"/}):"
    echo
    cat "$top/${labels[$i]}/table.md"
done

# The program's own headroom: its receive path (the real channel and
# controller code) in headroom_probe.exe, the records it would inject only
# counted, against streams of rising rates from the simulator (3 s each). A
# step passes when every report written reached the counter (injected or
# merged; a counted press or two of the step before may add to it) and the
# last one within 100 ms of its write; the steps end with the first that
# fails.
log "headroom of the receive path: $headroom_rates reports/s"
rm -f "$top/headroom.ready" "$top/headroom.stop"
wine "$headroom_probe" "$top/headroom.txt" --stop "$top/headroom.stop" --ready "$top/headroom.ready" \
    --max-ms 900000 </dev/null >"$top/probe-headroom.log" 2>&1 &
headroom_pid=$!
for _ in $(seq 300); do
    [ -f "$top/headroom.ready" ] && break
    sleep 0.05
done
: >"$top/headroom-steps.txt"
if [ -f "$top/headroom.ready" ]; then
    for rate in $headroom_rates; do
        read -r _ m0 _ _ g0 _ <"$top/headroom.txt"
        mark=$(tx_lines)
        printf 'stream %d 0 0\nsleep 3000\nstream off\n' "$rate" >"$top/headroom.cmd"
        send "$top/headroom.cmd"
        finish 60
        # At rest when the counter has not moved for half a second.
        prev=-1
        for _ in $(seq 100); do
            sleep 0.5
            read -r _ m1 _ _ g1 last_us <"$top/headroom.txt"
            [ "$m1" = "$prev" ] && break
            prev=$m1
        done
        sed -n "$((mark + 1)),$(tx_lines)p" "$top/tx.txt" | awk -v rate="$rate" -v got=$((m1 + g1 - m0 - g0)) \
            -v merged=$((g1 - g0)) -v last_us="$last_us" '
            / 10 01 04 90/ { if (first == "") first = $1; last = $1; n += gsub(/10 01 04 90/, "&") }
            END {
                span = (last - first) / 1e6
                printf "%d %d %d %d %.0f %.0f\n", rate, n, got, merged, (span > 0 ? (n - 1) / span : 0),
                    (last_us - last) / 1000 }' >>"$top/headroom-steps.txt"
        tail -n 1 "$top/headroom-steps.txt" | awk '{ exit !($3 >= $2 && $6 <= 100) }' || break
    done
fi
touch "$top/headroom.stop"
wait "$headroom_pid" || true
headroom=$(awk '$3 >= $2 && $6 <= 100 && $5 > best + 0 { best = $5 } END { print (best == "" ? "-" : best) }' "$top/headroom-steps.txt")
native="-"
if [ -x "$native_bench" ]; then
    native=$("$native_bench" --benchmark_filter=BM_ReadDecodePlan --benchmark_min_time=1 2>/dev/null |
        awk '/^BM_ReadDecodePlan/ { for (i = 1; i <= NF; i++) if ($i ~ /^reports\/s=/) { v = substr($i, 11); sub(/\/s$/, "", v); print v } }')
fi
echo
echo "Headroom of the receive path (read -> decode -> plan, injection replaced by a counter; tests/perf/headroom_probe.exe under Wine, native touch_conversion_bench):"
echo
echo "| Figure | Result |"
echo "|---|---|"
echo "| Highest rate taken with no loss under Wine | $headroom reports/s |"
echo "| Native decode + plan (BM_ReadDecodePlan, CPU time) | ${native:--} reports/s |"
echo
echo "| Offered /s | Reports written | Reports counted | Merged | Written /s | Last counted after last write |"
echo "|---|---|---|---|---|---|"
awk '{ printf "| %d | %d | %d | %d | %d | %s ms |\n", $1, $2, $3, $4, $5, $6 }' "$top/headroom-steps.txt"

# Where the injection time goes: SendInput alone, one call per record against
# one call for many, on the same bench right after the programs.
log "the cost of SendInput per record"
watch=()
server_pid=$(unix_pid_of '*wineserver*') && watch+=(--pid "wineserver=$server_pid")
xvfb_pid=$(cat "$TP_BENCH_DIR/xvfb.pid" 2>/dev/null) && [ -d "/proc/$xvfb_pid" ] && watch+=(--pid "Xvfb=$xvfb_pid")
desktop_pid=$(unix_pid_of '*explorer.exe') && watch+=(--pid "explorer.exe=$desktop_pid")
echo
echo "SendInput under this Wine, per record (tests/perf/inject_probe.exe; the modes take turns, 200 groups each):"
echo
wine "$inject_probe" --groups 200 "${watch[@]}" </dev/null 2>/dev/null | tr -d '\r' || true
echo
echo "Measured $(date -u +%F), $state$([ "$loaded" = 1 ] && echo " (one busy loop per CPU beside the bench)"): the $TP_WINE_ARCH programs in the $WINEARCH Wine prefix $WINEPREFIX, $(wine --version), $(nproc) CPUs, load average $load_start at the start and $(cut -d' ' -f1-3 /proc/loadavg) at the end."
