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
#   tools/bench/soak.sh faults [MINUTES]
#                                the fault run (below), 30 minutes unless
#                                told; records in $TP_BENCH_DIR/faults
#   tools/bench/soak.sh faults-report
#                                its table again
#
# The fault run keeps the touch stream going (strokes, noise, as above) and,
# each time with a finger held on the screen, brings in:
#   - a restart notice every 2 minutes, every second one with the
#     identification unanswered for 5 s (silent 01, restart, unsilent 01);
#   - a port switch through the Hardware page every 5 minutes, to a second
#     simulated device on COM4 and, 20 s later, back to COM3 (soak_probe
#     picks the port and answers the "Warning" box and the cable countdown);
#   - every 10 minutes a stop request while a box is up (in turn: the
#     Warning box and the stop tool, the cable countdown and command 1044,
#     the "channel could not be opened" box and WM_CLOSE), then a new start;
#   - a line drop (the pty goes for 5 s) every 10 minutes.
# After each fault the finger lifts, and the script looks at the buttons and
# at what soak_probe's low-level hook saw since the fault before (presses,
# releases), then lets the stream go on and checks the program hears it
# again. A button left down is noted and let go (by a release from the
# device, else by soak_probe) so that the next fault starts clean. Runs
# shorter than 30 minutes shorten the periods (restart notices at least
# 40 s apart, port switches 90 s, stops and drops 120 s), so that a
# 5-minute trial brings every kind of fault at least once.
# TP_SOAK_STOP_FROM (0..5) says which kind of stop comes first;
# TP_SOAK_PROGRAM runs another TactilePane.exe.
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
    # The program keeps its HKLM values in the 32-bit view on both builds.
    timeout 20 wine reg delete 'HKLM\Software\Mavrel\TactilePane' /reg:32 /f >/dev/null 2>&1 || true
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

# --- the fault run -----------------------------------------------------------------
ftop=$TP_BENCH_DIR/faults

run_faults() { # [minutes]
    local minutes=${1:-30}
    [[ $minutes =~ ^[0-9]+$ ]] && [ "$minutes" -ge 1 ] || die "faults: MINUTES is a whole number, not '$minutes'"
    seconds=$((minutes * 60))
    # The issue's periods, shortened in proportion for a short trial.
    period() { # full floor
        local p=$(($1 * seconds / 1800))
        [ "$p" -gt "$1" ] && p=$1
        [ "$p" -lt "$2" ] && p=$2
        echo "$p"
    }
    restart_every=$(period 120 40)
    port_every=$(period 300 90)
    stop_every=$(period 600 120)
    drop_every=$(period 600 120)
    port_stay=20
    # Where the turn of stop kinds begins (0..5), to try a given kind first.
    stop_from=${TP_SOAK_STOP_FROM:-0}

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
    program=${TP_SOAK_PROGRAM:-$win_build/TactilePane.exe}
    stop_tool=$win_build/TactilePaneStop.exe
    soak_probe=$win_build/tests/perf/soak_probe.exe

    devsim_pid=""
    devsim4_pid=""
    program_pid=""
    history_pid=""
    buttons_pid=""
    reader_pid=""
    reader4_pid=""
    cleanup() {
        set +e
        if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
            timeout 30 wine "$soak_probe" answer </dev/null >/dev/null 2>&1
            timeout 30 wine "$stop_tool" 20000 </dev/null >/dev/null 2>&1
            kill "$program_pid" 2>/dev/null
        fi
        touch "$ftop/history.stop" "$ftop/buttons.stop" 2>/dev/null
        exec 3>&- 4>&- 2>/dev/null
        for pid in $history_pid $buttons_pid $reader_pid $reader4_pid $devsim_pid $devsim4_pid; do
            kill "$pid" 2>/dev/null
            wait "$pid" 2>/dev/null
        done
        "$here/bench.sh" down
    }
    trap cleanup EXIT
    trap 'exit 130' INT TERM

    log "fault run in $TP_BENCH_DIR: $seconds s at $rate reports/s, strokes of $stroke, $noise % noise;" \
        "restart notice every $restart_every s, port switch every $port_every s," \
        "stop with a box up every $stop_every s, line drop every $drop_every s"
    "$here/bench.sh" up
    eval "$("$here/bench.sh" env)"
    rm -rf "$ftop"
    mkdir -p "$ftop"
    now_ms() { date +%s%3N; }
    winpath() { local p=$1; echo "Z:${p//\//\\}"; }

    start_devsim "$ftop" $((seconds + 1800))
    exec 3<>"/dev/tcp/127.0.0.1/$(cat "$ftop/devsim.port")"
    cat <&3 >"$ftop/control.txt" &
    reader_pid=$!
    ctl() { # 3|4 command: to the device on COM3 or COM4
        echo "$(now_ms) COM$1 ${*:2}" >>"$ftop/commands.txt"
        echo "${*:2}" >&"$1"
    }
    # The device the program listens to, and its stream.
    cur=3
    hold() { ctl "$cur" "stream $rate 0 $noise"; sleep 1; }
    lift() { ctl "${1:-$cur}" "stream off"; }
    resume() { ctl "$cur" "stream $rate $stroke $noise"; }
    # soak_probe's own answer (the stop tool it runs shares its output).
    probe() { timeout 60 wine "$soak_probe" "$@" </dev/null 2>/dev/null | tr -d '\r' | grep -v '^TactilePane' || true; }
    configured() { # [3|4]: configuration writes either device (or that one) has received
        local logs=("$ftop/devsim.log" "$ftop/devsim4.log")
        [ "${1:-}" = 3 ] && logs=("$ftop/devsim.log")
        [ "${1:-}" = 4 ] && logs=("$ftop/devsim4.log")
        cat "${logs[@]}" 2>/dev/null | grep -c ' RX 8[2-9b] ' || true
    }

    run_start=$(date +%s)
    now_s() { echo $(($(date +%s) - run_start)); }
    instance=0
    sample() { # label
        local state rss=0 pid
        state=$(probe state TactilePane.exe | head -n 1 || true)
        pid=$(unix_pid_of '*TactilePane.exe' || true)
        [ -n "$pid" ] && rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || echo 0)
        echo "$(now_s) $1 $instance ${state:-found 0} rss ${rss:-0} x" >>"$ftop/state.txt"
    }
    trace_win=$(winpath "$ftop/events.txt")
    # The program comes back on the port it has stored, which is not always
    # the one it was on: the stream goes to the device it configured.
    start_program() {
        local before before4
        before=$(configured)
        before4=$(configured 4)
        instance=$((instance + 1))
        log "start $instance of $program"
        TP_EVENT_TRACE=$trace_win wine "$program" </dev/null >>"$ftop/program.log" 2>&1 &
        program_pid=$!
        for _ in $(seq 600); do
            [ "$(configured)" -gt "$before" ] && break
            kill -0 "$program_pid" 2>/dev/null || break
            sleep 0.1
        done
        [ "$(configured)" -gt "$before" ] || log "start $instance: the device was not configured within 60 s"
        sleep 2
        if [ "$(configured 4)" -gt "$before4" ]; then cur=4; else cur=3; fi
        [ "$instance" = 1 ] || log "start $instance: on COM$cur"
        echo "$(now_s) start-$instance on COM$cur" >>"$ftop/probe.txt"
    }

    # A fresh registry: the program finds the port by itself, as on first use.
    # The program keeps its HKLM values in the 32-bit view on both builds.
    timeout 20 wine reg delete 'HKLM\Software\Mavrel\TactilePane' /reg:32 /f >/dev/null 2>&1 || true
    timeout 20 wine reg delete 'HKCU\Software\Mavrel\TactilePane' /f >/dev/null 2>&1 || true
    rm -f "$ftop/history.stop" "$ftop/buttons.stop"
    wine "$soak_probe" history "$ftop/history.txt" "$ftop/history.stop" </dev/null >"$ftop/probe-history.log" 2>&1 &
    history_pid=$!
    wine "$soak_probe" buttons "$ftop/buttons.txt" "$ftop/buttons.stop" </dev/null >"$ftop/probe-buttons.log" 2>&1 &
    buttons_pid=$!
    start_program
    # The second device comes only now: the first start looks for the port.
    "$devsim" --link "$TP_PORTS_DIR/com4" --control 0 --ready-file "$ftop/devsim4.port" \
        --tx-times "$ftop/tx4.txt" --log "$ftop/devsim4.log" --max-seconds $((seconds + 1800)) --quiet &
    devsim4_pid=$!
    for _ in $(seq 100); do
        [ -s "$ftop/devsim4.port" ] && break
        sleep 0.05
    done
    [ -s "$ftop/devsim4.port" ] || die "the second devsim did not start"
    exec 4<>"/dev/tcp/127.0.0.1/$(cat "$ftop/devsim4.port")"
    cat <&4 >"$ftop/control4.txt" &
    reader4_pid=$!

    run_start=$(date +%s)
    resume
    sleep 10
    sample start

    # --- what the system saw -------------------------------------------------
    # Presses, releases (the device's or the program's), and repairs
    # (soak_probe's own releases) so far; injected moves so far.
    counts() { awk '$2 == "down" { d++ } $2 == "up" && $4 != "repair" { u++ } $4 == "repair" { r++ }
        END { print d + 0, u + 0, r + 0 }' "$ftop/buttons.txt" 2>/dev/null || echo 0 0 0; }
    moves() { awk '$2 == "moves" { n += $3 } END { print n + 0 }' "$ftop/buttons.txt" 2>/dev/null || echo 0; }
    last_d=0
    last_u=0
    faults=0
    stuck=0
    deaf=0
    : >"$ftop/faults.txt"
    # After a fault: the finger was lifted; the presses and releases since
    # the last look must match and no button may be down.
    checkpoint() { # label [detail]
        local d u r down state took="${2:--}"
        sleep 2
        state=$(probe state TactilePane.exe | head -n 1)
        read -r d u r < <(counts)
        down=$(awk '{ s = ""; for (i = 1; i < NF; i++) if (($i == "left" || $i == "right" || $i == "middle") && $(i + 1) == 1) s = s (s == "" ? "" : ",") $i; print (s == "" ? "none" : s) }' <<<"$state")
        local verdict=ok
        # More releases than presses: the late release of a button that an
        # earlier fault left down (and this script let go); not a new fault.
        [ $((d - last_d)) -lt $((u - last_u)) ] && verdict=late-release
        if [ "$down" != none ] || [ $((d - last_d)) -gt $((u - last_u)) ]; then
            verdict=STUCK
            stuck=$((stuck + 1))
            # The device lifts once more (heard by a program that still thinks
            # the finger is down); then whatever is still down is let go.
            if [ "$down" != none ] && [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
                ctl "$cur" release
                sleep 1
            fi
            probe release >>"$ftop/repairs.txt"
            read -r d u r < <(counts)
        fi
        faults=$((faults + 1))
        echo "$(now_s) $1 presses $((d - last_d)) releases $((u - last_u)) down $down verdict $verdict took $took" >>"$ftop/faults.txt"
        log "$1: presses $((d - last_d)), releases $((u - last_u)), down: $down -> $verdict"
        last_d=$d
        last_u=$u
    }
    # The stream goes on; the program must hear it again within 10 s.
    heard() { # label
        local m0
        m0=$(moves)
        resume
        for _ in $(seq 20); do
            sleep 0.5
            [ "$(moves)" -gt "$m0" ] && return 0
        done
        deaf=$((deaf + 1))
        echo "$(now_s) $1 DEAF: no move within 10 s" >>"$ftop/faults.txt"
        log "$1: the program does not hear the device"
    }
    events_count() { grep -c "^$1" "$ftop/events.txt" 2>/dev/null || true; }

    # --- the faults ----------------------------------------------------------
    restarts=0
    fault_restart() {
        restarts=$((restarts + 1))
        hold
        if [ $((restarts % 2)) -eq 0 ]; then
            ctl "$cur" "silent 01"
            ctl "$cur" restart
            # Lifted once the identification has given up (three sends of
            # about 300 ms each), while the device still does not answer it.
            sleep 3
            lift
            sleep 2
            ctl "$cur" "unsilent 01"
            sleep 2
            checkpoint "restart-$restarts-unanswered"
        else
            ctl "$cur" restart
            sleep 2
            lift
            checkpoint "restart-$restarts"
        fi
        heard "restart-$restarts"
    }
    switches=0
    longest_switch=0
    switch_to() { # 3|4
        local to=$1 from=$cur out t0 took=- changed failed c0 f0 label
        switches=$((switches + 1))
        label="switch-$switches-COM$to"
        c0=$(events_count 602a0034)
        f0=$(events_count 602a0002)
        hold
        out=$(probe port "$to" none)
        echo "$(now_s) $label probe: $out" >>"$ftop/probe.txt"
        t0=$(now_ms)
        if [[ $out == ok* ]]; then
            # Cable box cancelled: identification, switch, old port closed,
            # then the program's "changed" event.
            for _ in $(seq 200); do
                changed=$(($(events_count 602a0034) - c0))
                failed=$(($(events_count 602a0002) - f0))
                [ "$changed" -gt 0 ] || [ "$failed" -gt 0 ] && break
                sleep 0.1
            done
            took=$(($(now_ms) - t0))
            [ "$took" -gt "$longest_switch" ] && longest_switch=$took
            if [ "$changed" -gt 0 ]; then cur=$to; else log "$label: the switch failed"; fi
        else
            log "$label: $out"
        fi
        probe answer >>"$ftop/boxes.txt"
        lift "$from"
        [ "$cur" = "$from" ] || lift "$cur"
        checkpoint "$label" "${took}ms"
        heard "$label"
    }
    fault_port() {
        local home=$cur
        switch_to $((7 - cur))
        sleep "$port_stay"
        [ "$cur" = "$home" ] || switch_to "$home"
        return 0
    }
    stops=0
    hung=0
    bad_exits=0
    longest_stop=0
    stop_kinds=("warning tool" "cable quit" "info close" "cable tool" "warning close" "info quit")
    fault_stop() {
        local box method out rc took port=$((7 - cur)) label
        read -r box method <<<"${stop_kinds[$(((stops + stop_from) % ${#stop_kinds[@]}))]}"
        stops=$((stops + 1))
        label="stop-$stops-$box-$method"
        # No device on COM5: its open fails and the program says so in a box.
        [ "$box" = info ] && port=5
        sample "before-stop-$instance"
        hold
        out=$(probe port "$port" "$box")
        echo "$(now_s) $label probe: $out" >>"$ftop/probe.txt"
        [[ $out == ok* ]] || log "$label: no box up ($out); stopping anyway"
        if [ "$method" = tool ]; then
            out=$(probe stop tool 30000 "$stop_tool")
        else
            out=$(probe stop "$method" 30000)
        fi
        echo "$(now_s) $label stop: $out" >>"$ftop/probe.txt"
        took=$(awk '{ for (i = 1; i < NF; i++) if ($i == "ms") print $(i + 1) }' <<<"$out")
        [ -n "$took" ] && [ "$took" -gt "$longest_stop" ] && longest_stop=$took
        if ! [[ $out == "ended 1"* ]]; then
            hung=$((hung + 1))
            log "$label: the program did not end within 30 s; killed"
            kill "$program_pid" 2>/dev/null || true
        fi
        set +e
        wait "$program_pid"
        rc=$?
        set -e
        program_pid=""
        [ "$rc" = 0 ] || bad_exits=$((bad_exits + 1))
        echo "$(now_s) $label exit $rc" >>"$ftop/probe.txt"
        lift
        checkpoint "$label" "${took:-?}ms,exit=$rc"
        start_program
        sample "start-$instance"
        heard "$label"
    }
    drops=0
    fault_drop() {
        drops=$((drops + 1))
        hold
        ctl "$cur" "drop 5000"
        sleep 2
        sample "away-$drops"
        sleep 6
        lift
        checkpoint "drop-$drops"
        heard "drop-$drops"
    }

    # --- the run ---------------------------------------------------------------
    crashes=0
    next_sample=60
    events() { # s
        local s=$1
        [ $((s % restart_every)) -eq $((restart_every / 2)) ] && fault_restart
        [ $((s % port_every)) -eq $((port_every / 2)) ] && fault_port
        [ $((s % drop_every)) -eq $((drop_every * 11 / 20)) ] && fault_drop
        [ $((s % stop_every)) -eq $((stop_every - 30)) ] && fault_stop
        return 0
    }
    elapsed=0
    while [ "$elapsed" -lt "$seconds" ]; do
        sleep 0.2
        now=$(now_s)
        [ "$now" -gt "$seconds" ] && now=$seconds
        [ "$now" -le "$elapsed" ] && continue
        if ! kill -0 "$program_pid" 2>/dev/null; then
            set +e
            wait "$program_pid"
            rc=$?
            set -e
            crashes=$((crashes + 1))
            log "the program has ended by itself at $now s (exit code $rc); starting it again"
            echo "$now crash exit $rc" >>"$ftop/faults.txt"
            probe release >>"$ftop/repairs.txt"
            start_program
            resume
        fi
        for ((s = elapsed + 1; s <= now; s++)); do
            events "$s"
        done
        elapsed=$now
        if [ "$elapsed" -ge "$next_sample" ]; then
            sample run
            next_sample=$((next_sample + 60))
        fi
    done

    # --- the end -----------------------------------------------------------------
    sample "before-stop-$instance"
    lift
    checkpoint end
    wine "$soak_probe" windows </dev/null >"$ftop/windows.txt" 2>/dev/null || true
    out=$(probe stop tool 30000 "$stop_tool")
    echo "$(now_s) end stop: $out" >>"$ftop/probe.txt"
    took=$(awk '{ for (i = 1; i < NF; i++) if ($i == "ms") print $(i + 1) }' <<<"$out")
    [ -n "$took" ] && [ "$took" -gt "$longest_stop" ] && longest_stop=$took
    [[ $out == "ended 1"* ]] || { hung=$((hung + 1)); kill "$program_pid" 2>/dev/null || true; }
    set +e
    wait "$program_pid"
    exit_code=$?
    set -e
    program_pid=""
    [ "$exit_code" = 0 ] || bad_exits=$((bad_exits + 1))
    sleep 1
    touch "$ftop/history.stop" "$ftop/buttons.stop"
    wait "$history_pid" "$buttons_pid" || true
    history_pid=""
    buttons_pid=""
    {
        printf '%s=%q\n' seconds "$seconds" rate "$rate" stroke "$stroke" noise "$noise" \
            restart_every "$restart_every" port_every "$port_every" stop_every "$stop_every" \
            drop_every "$drop_every" restarts "$restarts" switches "$switches" stops "$stops" drops "$drops" \
            faults "$faults" stuck "$stuck" deaf "$deaf" crashes "$crashes" hung "$hung" \
            bad_exits "$bad_exits" exit_code "$exit_code" longest_stop "$longest_stop" \
            longest_switch "$longest_switch" instances "$instance" run_seconds "$(now_s)" \
            measured "Measured $(date -u +%F): $(basename "$program") (x64) in the 64-bit Wine prefix $WINEPREFIX, $(wine --version), $(nproc) CPUs, load average $(cut -d' ' -f1-3 /proc/loadavg) at the end."
    } >"$ftop/run.env"
}

report_faults() {
    [ -f "$ftop/run.env" ] || die "no finished fault run in $ftop"
    local instances=""
    # shellcheck source=/dev/null
    . "$ftop/run.env"
    local d u r fatal per_instance stuck_list late_list deaf_list
    read -r d u r < <(awk '$2 == "down" { d++ } $2 == "up" && $4 != "repair" { u++ } $4 == "repair" { r++ }
        END { print d + 0, u + 0, r + 0 }' "$ftop/buttons.txt")
    fatal=$(grep -c '^e02a0005' "$ftop/events.txt" 2>/dev/null || true)
    stuck_list=$(awk '$NF != "" && / verdict STUCK / { printf "%s%s (%s s: presses %s, releases %s, down %s)", (n++ ? "; " : ""), $2, $1, $4, $6, $8 }' "$ftop/faults.txt")
    late_list=$(awk '/ verdict late-release / { printf "%s%s", (n++ ? ", " : ""), $2 }' "$ftop/faults.txt")
    deaf_list=$(awk '/ DEAF/ { printf "%s%s", (n++ ? ", " : ""), $2 }' "$ftop/faults.txt")
    # Per start of the program: private memory and handles from its first
    # look to its last.
    per_instance=$(awk '{ for (i = 4; i < NF; i++) { if ($i == "private") p = $(i + 1); if ($i == "listed") h = $(i + 1) }
            k = $3; if (!(k in p0) && p > 0) { p0[k] = p; h0[k] = h; order[n++] = k }
            if (p > 0) { p1[k] = p; h1[k] = h } }
        END { for (j = 0; j < n; j++) { k = order[j]
            printf "%sstart %s: %.1f -> %.1f MiB, %d -> %d handles", (j ? "; " : ""), k, p0[k] / 1048576, p1[k] / 1048576, h0[k], h1[k] } }' "$ftop/state.txt")
    local stops_list
    stops_list=$(awk '/ stop: / { for (i = 1; i < NF; i++) if ($i == "ms") printf "%s%s %s ms", (n++ ? ", " : ""), $2, $(i + 1) }' "$ftop/probe.txt")
    {
        echo "| Figure | Result | How |"
        echo "|---|---|---|"
        echo "| Run | $run_seconds s, $instances starts of the program | stream of $rate reports/s in strokes of $stroke, $noise % noise; $restarts restart notices (every $restart_every s, every second one unanswered for 5 s), $switches port switches (every $port_every s, COM3 -> COM4 and back), $stops stops with a box up (every $stop_every s), $drops line drops (every $drop_every s); each with the finger held |"
        echo "| Faults with a button left down or more presses than releases | $stuck of $faults looks${stuck_list:+: $stuck_list}${late_list:+; late releases (of a button an earlier fault left down): $late_list} | soak_probe's low-level mouse hook counts the presses and releases the system takes; GetAsyncKeyState 2 s after the finger lifted |"
        echo "| Presses / releases at the end | $d / $u ($r let go by soak_probe after faults) | the same hook over the whole run |"
        echo "| Deaf after a fault | $deaf${deaf_list:+: $deaf_list} | no injected move within 10 s after the stream went on |"
        echo "| Crashes | $crashes; fatal events (e02a0005): $fatal; exits other than 0: $bad_exits; stops that did not end the program in 30 s: $hung | the program's process watched every 0.2 s; its event trace |"
        echo "| Longest stop or close | $longest_stop ms (${stops_list:--}) | request (stop tool, command 1044, WM_CLOSE) -> process gone, taken by soak_probe |"
        echo "| Longest port switch | $longest_switch ms | cable countdown cancelled -> the program's "changed channel" event (identification on the new port, the old port closed) |"
        echo "| Memory and handles | ${per_instance:--} | private commit and system handle list (soak_probe state), first and last look of each start |"
        echo "| Visible windows at the end | $(sed 's/ | /: /; s/ | / \/ /g' "$ftop/windows.txt" 2>/dev/null | sort | uniq -c | awk '{ n = $1; $1 = ""; printf "%s%d x%s", (NR > 1 ? "; " : ""), n, $0 }') | |"
        echo
        echo "$measured"
    } | tee "$ftop/table.md"
    [ "$stuck" = 0 ] && [ "$deaf" = 0 ] && [ "$crashes" = 0 ] && [ "$hung" = 0 ] && [ "$bad_exits" = 0 ]
}

case "${1:-}" in
    faults)
        run_faults "${2:-30}"
        report_faults
        exit
        ;;
    faults-report)
        report_faults
        exit
        ;;
esac

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
