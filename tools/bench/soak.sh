#!/usr/bin/env bash
# The soak run: the real TactilePane.exe (x64) under Wine for an hour against
# the simulated device on COM3, which touches the screen at the pace of the
# default line the whole time, with noise bytes between the frames, announces
# a restart every minute, becomes another controller model every ten minutes
# and pulls its port away (the pty closes; a new one appears under the same
# name after a pause) every fifteen minutes. Watched from outside by
# soak_probe (the pointer history, buttons, private memory, handles). Prints a markdown table; asserts nothing, but exits non-zero when
# the program did not survive the run.
#
#   tools/bench/soak.sh          the run, then its table
#   tools/bench/soak.sh report   the table again from the records of the
#                                last run in $TP_BENCH_DIR/soak
#
# Environment (all optional; the defaults make the hour-long run):
#   TP_SOAK_SECONDS        length of the run (default 3600)
#   TP_SOAK_RATE           touch reports per second (default 85: 9600 baud
#                          8E1, the stored default line, carries 872 bytes/s;
#                          a report frame is 10 bytes, plus releases and noise)
#   TP_SOAK_STROKE         reports per stroke before the finger lifts (default 50)
#   TP_SOAK_NOISE          noise bytes, percent of the bytes on the line (default 1)
#   TP_SOAK_RESTART_EVERY  seconds between restart notices (default 60)
#   TP_SOAK_MODEL_EVERY    seconds between model changes (default 600)
#   TP_SOAK_DROP_EVERY     seconds between line drops (default 900; the first
#                          comes 30 s after this mark, away from the notices)
#   TP_SOAK_DROP_PAUSE     seconds the port stays away (default 5)
#   TP_SOAK_DROP_KIND      close (default): the pty closes and the link goes,
#                          as when a USB serial adapter is pulled; a new pty
#                          appears under the same name after the pause.
#                          mute: the port stays and the device is off for the
#                          pause (cable pulled at the device), then sends its
#                          restart notice as after power-up
#   TP_SOAK_SETTLE         seconds after the port is back before the finger
#                          lifts and the buttons are looked at (default 10)
#   TP_SOAK_SAMPLE_EVERY   seconds between samples of memory and handles (default 60)
#   TP_BENCH_DIR           bench of this run (default <repo>/build/soak); raw
#                          records go to $TP_BENCH_DIR/soak
#   TP_HOST_BUILD          native build with devsim (default <repo>/build/host)
#   TP_WIN_BUILD           x64 Windows build (default <repo>/build/win64)
#
# Clocks: devsim stamps each write to the line (and the drop and return of the
# port) on CLOCK_MONOTONIC_RAW in us; the pointer history's times are Wine's
# tick count, the same clock in ms.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/bench/procs.sh
. "$here/procs.sh"
repo=$(cd "$here/../.." && pwd)
host_build=${TP_HOST_BUILD:-$repo/build/host}
win_build=${TP_WIN_BUILD:-$repo/build/win64}
export TP_WINE_ARCH=x64
export TP_BENCH_DIR=${TP_BENCH_DIR:-$repo/build/soak}
seconds=${TP_SOAK_SECONDS:-3600}
rate=${TP_SOAK_RATE:-85}
stroke=${TP_SOAK_STROKE:-50}
noise=${TP_SOAK_NOISE:-1}
restart_every=${TP_SOAK_RESTART_EVERY:-60}
model_every=${TP_SOAK_MODEL_EVERY:-600}
drop_every=${TP_SOAK_DROP_EVERY:-900}
drop_pause=${TP_SOAK_DROP_PAUSE:-5}
drop_kind=${TP_SOAK_DROP_KIND:-close}
case "$drop_kind" in
    close) drop_command=drop ;;
    mute) drop_command=mute ;;
    *) echo "soak: TP_SOAK_DROP_KIND is close or mute, not '$drop_kind'" >&2; exit 2 ;;
esac
settle=${TP_SOAK_SETTLE:-10}
sample_every=${TP_SOAK_SAMPLE_EVERY:-60}
# Identities the device takes in turn, one per model change: ZMR03 with
# LcdType2, ZMR04 with LcdType3, ZMR01 and back to ZMR02 (both LcdType1).
models=("5 1 30" "6 1 30" "2 1 20" "2 1 30")

log() { echo "soak: $(date -u +%T) $*" >&2; }
die() {
    log "$*"
    exit 1
}

top=$TP_BENCH_DIR/soak

run_soak() {
    # --- what it needs --------------------------------------------------------
    if [ ! -f "$host_build/CMakeCache.txt" ]; then
        (cd "$repo" && cmake --preset host -B "$host_build" >/dev/null)
    fi
    if [ ! -f "$win_build/CMakeCache.txt" ]; then
        (cd "$repo" && cmake --preset win64 -B "$win_build" >/dev/null)
    fi
    log "building devsim, TactilePane, TactilePaneStop and soak_probe"
    cmake --build "$host_build" --target devsim -j2 >/dev/null
    cmake --build "$win_build" --target TactilePane TactilePaneStop soak_probe -j2 >/dev/null
    devsim=$host_build/tools/devsim/devsim
    program=$win_build/TactilePane.exe
    stop_tool=$win_build/TactilePaneStop.exe
    soak_probe=$win_build/tests/perf/soak_probe.exe

    # --- the bench -------------------------------------------------------------
    devsim_pid=""
    program_pid=""
    history_pid=""
    reader_pid=""
    cleanup() {
        set +e
        if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
            timeout 30 wine "$stop_tool" 20000 </dev/null >/dev/null 2>&1
        fi
        [ -n "$history_pid" ] && touch "$top/history.stop"
        exec 3>&- 2>/dev/null
        for pid in $history_pid $reader_pid $devsim_pid; do
            kill "$pid" 2>/dev/null
            wait "$pid" 2>/dev/null
        done
        "$here/bench.sh" down
    }
    trap cleanup EXIT
    trap 'exit 130' INT TERM

    log "bench in $TP_BENCH_DIR; $seconds s at $rate reports/s, strokes of $stroke, $noise % noise;" \
        "restart every $restart_every s, model change every $model_every s, drop every $drop_every s for $drop_pause s"
    "$here/bench.sh" up
    eval "$("$here/bench.sh" env)"
    rm -rf "$top"
    mkdir -p "$top"

    now_ms() { date +%s%3N; }

    start_devsim "$top" $((seconds + 900))
    exec 3<>"/dev/tcp/127.0.0.1/$(cat "$top/devsim.port")"
    cat <&3 >"$top/control.txt" &
    reader_pid=$!
    ctl() {
        echo "$(now_ms) $*" >>"$top/commands.txt"
        echo "$*" >&3
    }

    # One look from outside: seconds into the run, a label, then soak_probe's
    # fields and the program's VmRSS (kB).
    sample() { # label
        local state rss=0 pid windows
        state=$(timeout 60 wine "$soak_probe" state TactilePane.exe </dev/null 2>/dev/null | head -n 1 || true)
        pid=$(unix_pid_of '*TactilePane.exe' || true)
        [ -n "$pid" ] && rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || echo 0)
        windows=$(timeout 60 wine "$soak_probe" windows </dev/null 2>/dev/null | wc -l || true)
        echo "$(($(date +%s) - run_start)) $1 ${state:-found 0} rss ${rss:-0} windows ${windows:-0} x" >>"$top/state.txt"
    }

    # A fresh registry: the program finds the port by itself, as on first use.
    timeout 20 wine reg delete 'HKLM\Software\Mavrel\TactilePane' /f >/dev/null 2>&1 || true
    timeout 20 wine reg delete 'HKCU\Software\Mavrel\TactilePane' /f >/dev/null 2>&1 || true

    rm -f "$top/history.stop"
    wine "$soak_probe" history "$top/history.txt" "$top/history.stop" </dev/null >"$top/probe-history.log" 2>&1 &
    history_pid=$!

    log "starting $program"
    wine "$program" </dev/null >"$top/program.log" 2>&1 &
    program_pid=$!
    # Identified and configured: the first write of a configuration value.
    for _ in $(seq 600); do
        grep -q ' RX 8[2-9b] ' "$top/devsim.log" 2>/dev/null && break
        sleep 0.1
    done
    grep -q ' RX 8[2-9b] ' "$top/devsim.log" || die "the program did not configure the device within 60 s"
    sleep 2
    run_start=$(date +%s)
    ctl "stream $rate $stroke $noise"
    sleep 10
    sample start

    # --- the run -----------------------------------------------------------------
    model=0
    drops=0
    : >"$top/drops.txt"
    next_sample=$sample_every
    # The events of second s of the run.
    events() { # s
        local s=$1 hw major minor
        if [ $((s % drop_every)) -eq 30 ] && [ "$s" -ge "$drop_every" ]; then
            drops=$((drops + 1))
            log "drop $drops ($drop_kind): the line goes away for $drop_pause s"
            ctl "$drop_command $((drop_pause * 1000))"
            # While the line is away: a touch that was down must have been let go.
            sleep 2
            sample "away-$drops"
            sleep $((drop_pause + settle - 2))
            # The finger lifts; then no button may be down.
            ctl "stream off"
            sleep 2
            sample "drop-$drops"
            ctl "stream $rate $stroke $noise"
        elif [ $((s % model_every)) -eq 0 ]; then
            read -r hw major minor <<<"${models[$((model % ${#models[@]}))]}"
            model=$((model + 1))
            log "model change $model: identification $hw $major.$minor"
            ctl "ident $hw $major $minor"
            ctl "restart"
        elif [ $((s % restart_every)) -eq 0 ]; then
            ctl "restart"
        fi
    }
    elapsed=0
    while [ "$elapsed" -lt "$seconds" ]; do
        sleep 0.2
        now=$(($(date +%s) - run_start))
        [ "$now" -gt "$seconds" ] && now=$seconds
        [ "$now" -le "$elapsed" ] && continue
        if ! kill -0 "$program_pid" 2>/dev/null; then
            log "the program has ended at $now s"
            break
        fi
        # Every second gets its events, also those a slow look has stepped over.
        for ((s = elapsed + 1; s <= now; s++)); do
            events "$s"
        done
        elapsed=$now
        if [ "$elapsed" -ge "$next_sample" ]; then
            sample run
            next_sample=$((next_sample + sample_every))
        fi
    done

    # --- the end -------------------------------------------------------------------
    alive=0
    kill -0 "$program_pid" 2>/dev/null && alive=1
    sample end
    ctl "stream off"
    sleep 2
    sample lifted
    ctl "stream"
    sleep 1
    wine "$soak_probe" windows </dev/null >"$top/windows.txt" 2>/dev/null || true
    touch "$top/history.stop"
    wait "$history_pid" || true
    history_pid=""
    exit_code=-
    if [ "$alive" = 1 ]; then
        log "stopping the program"
        timeout 60 wine "$stop_tool" 30000 </dev/null >/dev/null 2>&1 || log "the program did not end when asked"
    fi
    set +e
    wait "$program_pid"
    exit_code=$?
    set -e
    program_pid=""

    # What the figures need besides the records.
    {
        printf '%s=%q\n' rate "$rate" stroke "$stroke" noise "$noise" restart_every "$restart_every" \
            model_every "$model_every" drop_every "$drop_every" drop_pause "$drop_pause" drop_kind "$drop_kind" \
            settle "$settle" sample_every "$sample_every" model "$model" drops "$drops" alive "$alive" \
            exit_code "$exit_code" run_seconds "$(($(date +%s) - run_start))" \
            measured "Measured $(date -u +%F): the x64 program in the 64-bit Wine prefix $WINEPREFIX, $(wine --version), $(nproc) CPUs, load average $(cut -d' ' -f1-3 /proc/loadavg) at the end."
    } >"$top/run.env"
}

if [ "${1:-}" = report ]; then
    [ -f "$top/run.env" ] || die "no finished run in $top"
else
    run_soak
fi
run_seconds="" measured=""
# shellcheck source=/dev/null
. "$top/run.env"

# --- the figures -------------------------------------------------------------------
# Reports written to the port while it was open (bytes due while the PC has
# no port open are lost on the way, as with a real device, and not written),
# each with its write time; a write may carry several frames.
awk '/ 10 01 04 90/ { t = $1; n = gsub(/10 01 04 90/, "&"); for (k = 0; k < n; k++) print int(t / 1000) }' \
    "$top/tx.txt" >"$top/reports-ms.txt"
sent=$(wc -l <"$top/reports-ms.txt")
# The pointer history in time order, each position once: a look that
# overlapped the one before may have written some positions again.
grep -v '^#' "$top/history.txt" | sort -s -n -k1,1 | awk '!seen[$0]++' >"$top/moves.txt"
# Every report lies elsewhere than the one before it, so each one the program
# takes moves the pointer: moves are the history's changes of position from
# the first report on.
moves=$(awk -v from="$(head -n 1 "$top/reports-ms.txt")" '
    /^#/ { next }
    $1 + 0 < from - 1000 { next }
    { key = $2 " " $3; if (key != last) n++; last = key }
    END { print n + 0 }' "$top/moves.txt")
overflows=$(awk '/^# overflows/ { print $3 }' "$top/history.txt")
# Per drop: the port back (stamp) -> the first move after it.
awk '
    FNR == NR { if ($2 == "back") back[nb++] = int($1 / 1000); next }
    /^#/ { next }
    { t[n++] = $1 }
    END {
        for (i = 0; i < nb; i++) {
            r = "-"
            for (j = 0; j < n; j++) if (t[j] >= back[i]) { r = t[j] - back[i]; break }
            print i + 1, r
        }
    }' "$top/tx.txt" "$top/moves.txt" >"$top/recovery.txt"
stream_counts=$(grep '^ok reports' "$top/control.txt" | tail -n 1 | cut -d' ' -f2-)
field() { # label name
    awk -v l="$1" -v k="$2" '$2 == l { for (i = 3; i < NF; i++) if ($i == k) v = $(i + 1) } END { print v }' \
        "$top/state.txt"
}
mib() { awk -v v="$1" 'BEGIN { if (v == "") print "-"; else printf "%.1f MiB", v / 1048576 }'; }
kib_mib() { awk -v v="$1" 'BEGIN { if (v == "") print "-"; else printf "%.1f MiB", v / 1024 }'; }
buttons_at() { # label
    awk -v l="$1" '$2 == l {
            d = ""
            for (i = 3; i < NF; i++) if ($i == "left" || $i == "right" || $i == "middle") if ($(i + 1) == 1) d = d " " $i
            print (d == "" ? "none down" : "down:" d)
        }' "$top/state.txt"
}
lost=$((sent - moves))
# Where they went missing. Reports along a row lie 3 apart, so consecutive
# moves along a row are one step apart (the most common distance on that row
# of pixels: each model maps the rows to its own), and a longer step shows
# how many reports between them never moved the pointer; its time says near
# what it happened: within 3 s after a restart notice (a model change when
# the identification answered after it was new), within 30 s after the line
# came back, or elsewhere. Losses where the pointer changed rows (at the end
# of a row, or when a model change moves the rows) show only in the total.
awk '
    FILENAME == ARGV[1] {
        if ($0 ~ / 10 01 01 92 92 10 03/) notice[nn++] = int($1 / 1000)
        if (match($0, / 10 01 04 81 [0-9a-f][0-9a-f] [0-9a-f][0-9a-f] [0-9a-f][0-9a-f]/)) {
            ident_t[ni] = int($1 / 1000); ident[ni++] = substr($0, RSTART + 13, 8)
        }
        if ($2 == "back") back[nb++] = int($1 / 1000)
        next
    }
    /^#/ { next }
    {
        key = $2 " " $3
        if (key == last) next
        last = key
        if (have && $3 == py) {
            dx = $2 - px; if (dx < 0) dx = -dx
            gt[np] = $1; gy[np] = $3; gd[np++] = dx
            c = ++count[$3 SUBSEP dx]
            if (c > best[$3]) { best[$3] = c; step[$3] = dx }
        }
        px = $2; py = $3; have = 1
    }
    function changed(j,   k, before, after) {
        before = ""; after = ""
        for (k = 0; k < ni; k++) { if (ident_t[k] < notice[j]) before = ident[k]; else if (after == "") after = ident[k] }
        return before != "" && after != "" && before != after
    }
    END {
        for (j = 0; j < nn; j++) if (changed(j)) models++; else restarts++
        for (i = 0; i < np; i++) {
            s = step[gy[i]]
            if (s <= 0) continue
            n = int(gd[i] / s + 0.5) - 1
            if (n <= 0) continue
            total += n
            where = "other"
            for (j = 0; j < nn; j++) if (gt[i] >= notice[j] && gt[i] <= notice[j] + 3000) where = changed(j) ? "model" : "restart"
            for (j = 0; j < nb; j++) if (gt[i] >= back[j] && gt[i] <= back[j] + 30000) where = "drop"
            lost[where] += n
        }
        printf "%d %d %d %d %d %d %d\n", total, lost["model"], models, lost["restart"], restarts, lost["drop"], lost["other"]
    }' "$top/tx.txt" "$top/moves.txt" >"$top/losses.txt"
read -r lost_rows lost_model n_model lost_restart n_restart lost_drop lost_other <"$top/losses.txt"
recoveries=$(awk '{ printf "%s%s", (NR > 1 ? ", " : ""), ($2 == "-" ? "never" : $2 " ms") }' "$top/recovery.txt")
drop_buttons=$(for i in $(seq "$drops"); do echo "drop $i: $(buttons_at "away-$i") while away, $(buttons_at "drop-$i") after"; done | paste -sd ';' - | sed 's/;/; /g')
private_range=$(awk '$2 == "start" || $2 == "run" || $2 == "end" {
        for (i = 3; i < NF; i++) if ($i == "private") { v = $(i + 1); if (min == "" || v < min) min = v; if (v > max) max = v } }
        END { if (min != "") printf "%.1f..%.1f MiB", min / 1048576, max / 1048576 }' "$top/state.txt")
handle_range=$(awk '$2 == "start" || $2 == "run" || $2 == "end" {
        for (i = 3; i < NF; i++) if ($i == "listed") { v = $(i + 1); if (min == "" || v < min) min = v; if (v > max) max = v } }
        END { if (min != "") printf "%d..%d", min, max }' "$top/state.txt")
crash="none: running at the end, exit code $exit_code after the stop command"
[ "$alive" = 1 ] || crash="ENDED during the run, exit code $exit_code"
# One entry per kind of window: its caption, then its texts ("-" for none),
# without the table's own separator.
visible=$(sed 's/ | /: /; s/ | / \/ /g; s/^: /-: /' "$top/windows.txt" | sort | uniq -c |
    awk '{ n = $1; $1 = ""; printf "%s%d x%s", (NR > 1 ? "; " : ""), n, $0 }')

{
echo "| Figure | Result | How |"
echo "|---|---|---|"
echo "| Run | $run_seconds s | $rate reports/s in strokes of $stroke, $noise % noise bytes (device: $stream_counts); restart notice every $restart_every s, model change every $model_every s ($model), line dropped ($drop_kind) every $drop_every s for $drop_pause s ($drops) |"
echo "| Crashes | $crash | the program's process, watched every second; stopped with TactilePaneStop |"
echo "| Stuck buttons at the end | $(buttons_at lifted) | GetAsyncKeyState of the three buttons 2 s after the last release |"
echo "| Stuck buttons after the drops | ${drop_buttons:--} | the same, 2 s into the drop (the finger was down when the line went; the device's release is lost) and again $settle s after the line came back and 2 s after the finger lifted |"
echo "| Valid touches lost | $lost of $sent ($moves pointer moves); seen along the rows: $lost_rows, of them $lost_model within 3 s after the $n_model model changes, $lost_restart after the $n_restart other restart notices, $lost_drop within 30 s after the line came back, $lost_other elsewhere | reports written to the open port vs. changes of position in the pointer history (GetMouseMovePointsEx, looked at every 50 ms; overflows ${overflows:-?}); each report lies elsewhere than the one before it |"
echo "| Private memory, start / end | $(mib "$(field start private)") / $(mib "$(field end private)") (range $private_range) | GetProcessMemoryInfo: the private commit (PrivateUsage; Wine fills only PagefileUsage, the same figure, for another process), 10 s into the stream and at the end, every $sample_every s between |"
echo "| Handles, start / end | $(field start listed) / $(field end listed) (range $handle_range) | the program's entries in the system handle list (NtQuerySystemInformation; Wine's GetProcessHandleCount says 0 for another process) |"
echo "| VmRSS, start / end | $(kib_mib "$(field start rss)") / $(kib_mib "$(field end rss)") | /proc/PID/status of the Wine process |"
echo "| Recovery after each drop | ${recoveries:--} | $([ "$drop_kind" = close ] && echo "port back under its name" || echo "device back (restart notice)") -> first pointer move (the stream runs on throughout) |"
echo "| Visible windows at the end | ${visible:-none} (count at the samples: $(awk '{ for (i = 3; i < NF; i++) if ($i == "windows") printf "%s%s", (n++ ? " " : ""), $(i + 1) }' "$top/state.txt")) | top-level windows with the texts of their children: the tool windows and every message box the run brought up |"
echo
echo "$measured"
} | tee "$top/table.md"

[ "$alive" = 1 ] && [ "$exit_code" = 0 ]
