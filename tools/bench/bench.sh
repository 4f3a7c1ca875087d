#!/usr/bin/env bash
# The Wine bench: one Wine prefix per architecture inside the build tree,
# created once and reused, a persistent wineserver, a virtual display, and
# COM1..COM8 of the prefix mapped onto fixed link paths that the device
# simulator points at its pseudo-terminals.
#
#   bench.sh up          create what is missing and start what is not running
#   bench.sh down        stop what 'up' started (wineserver, Xvfb, simulators)
#   bench.sh exec CMD..  'up', then run CMD with the bench environment
#   bench.sh env         print the environment as shell assignments
#   bench.sh check       say whether this architecture's Wine can run here
#   bench.sh best-arch   print x86 where 32-bit Windows programs run, else x64
#
# TP_WINE_ARCH picks the architecture: x86 (default; a 32-bit prefix in
# <repo>/build/wine) or x64 (a 64-bit prefix in <repo>/build/wine64).
# TP_BENCH_DIR overrides the working area.
# TP_USE_DISPLAY=1 runs on the caller's $DISPLAY instead of the bench's Xvfb.
# Inside the bench environment `wine` is this architecture's loader: Debian's
# own `wine` script always takes the 32-bit loader when it is installed,
# even where the kernel cannot run it.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
arch=${TP_WINE_ARCH:-x86}
case "$arch" in
    x86) default_bench=$repo/build/wine; winearch=win32; loader=/usr/lib/wine/wine ;;
    x64) default_bench=$repo/build/wine64; winearch=win64; loader=/usr/lib/wine/wine64 ;;
    *) echo "bench: TP_WINE_ARCH must be x86 or x64, not '$arch'" >&2; exit 2 ;;
esac
bench=${TP_BENCH_DIR:-$default_bench}
prefix=$bench/prefix
ports=$bench/ports

export TP_WINE_ARCH=$arch
export WINEPREFIX=$prefix
export WINEARCH=$winearch
export WINELOADER=$loader
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=${WINEDEBUG:--all}
export TP_BENCH_DIR=$bench
export TP_PORTS_DIR=$ports
export PATH=$bench/bin:$PATH

log() { echo "bench: $*" >&2; }

# Why this architecture's Wine cannot run here, or nothing when it can.
wine_problem() {
    if [ "$arch" = x86 ] && ! "$here/probe-32bit.sh" >/dev/null; then
        "$here/probe-32bit.sh" || true
        return
    fi
    if [ ! -e "$loader" ]; then
        if [ "$arch" = x86 ]; then echo "wine32 is not installed"; else echo "wine64 is not installed"; fi
        return
    fi
    local out
    if out=$("$loader" --version 2>&1 </dev/null); then
        return
    fi
    case "$out" in
        *"Exec format error"*) echo "this machine cannot run 32-bit programs (Exec format error)" ;;
        *) echo "$loader does not start: $(head -n 1 <<<"$out")" ;;
    esac
}

# The architecture's loader under the name `wine`, first on the bench's PATH
# (a script: the loader started through a link of another name cannot find
# itself).
ensure_shim() {
    mkdir -p "$bench/bin"
    printf '#!/bin/sh\nexec %s "$@"\n' "$loader" >"$bench/bin/wine.new"
    chmod +x "$bench/bin/wine.new"
    mv -f "$bench/bin/wine.new" "$bench/bin/wine"
}

display_alive() { [ -n "${1:-}" ] && xdpyinfo -display "$1" >/dev/null 2>&1; }

ensure_display() {
    if [ "${TP_USE_DISPLAY:-0}" = 1 ] && display_alive "${DISPLAY:-}"; then
        return
    fi
    local d=""
    [ -f "$bench/display" ] && d=$(cat "$bench/display")
    if display_alive "$d"; then
        export DISPLAY=$d
        return
    fi
    local n
    for n in $(seq 91 120); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp </dev/null >"$bench/xvfb.log" 2>&1 &
        echo $! >"$bench/xvfb.pid"
        local i
        for i in $(seq 1 100); do
            display_alive ":$n" && break
            sleep 0.1
        done
        if display_alive ":$n"; then
            echo ":$n" >"$bench/display"
            export DISPLAY=":$n"
            return
        fi
        kill "$(cat "$bench/xvfb.pid")" 2>/dev/null || true
    done
    log "no virtual display could be started"
    exit 1
}

# Bumped whenever configure_prefix changes, so existing prefixes follow.
prefix_version=3

# Settings of the prefix; run again on an existing prefix when they change.
# A registry value of the bench. On a machine's very first Wine start a
# write can fail while the new prefix is still settling: it is tried again,
# and a last failure is named with Wine's own words instead of ending the
# run without a word.
wine_reg_add() {
    local try
    for try in 1 2 3; do
        wine reg add "$@" /f >>"$bench/reg.log" 2>&1 && return 0
        sleep 2
    done
    log "wine reg add $1 /v $3 failed three times; the end of $bench/reg.log:"
    tail -n 5 "$bench/reg.log" >&2 || true
    exit 1
}

configure_prefix() {
    local i
    # Values for all the ports: they take precedence over the serial
    # devices that Wine would otherwise map (the console may become COM1).
    # COM12 stands for the ports above COM9 that USB adapters get.
    for i in 1 2 3 4 5 6 7 8 12; do
        wine_reg_add 'HKLM\Software\Wine\Ports' /v "COM$i" /t REG_SZ /d "$ports/com$i"
    done
    # A crash must end the process, never wait on a dialog.
    wine_reg_add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
    wine_reg_add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /t REG_SZ /d 1
    wine_reg_add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /t REG_SZ /d "false"
    # The virtual display has no window manager: windows managed by one would
    # wait for it (about 2 s) each time they are hidden or destroyed.
    wine_reg_add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N
    wine_reg_add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N
    # Restart the server so that the port mapping is applied and the
    # registry is written out.
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    echo "$prefix_version" >"$bench/prefix.ready"
}

create_prefix() {
    if [ -f "$bench/prefix.ready" ] && [ -d "$prefix" ]; then
        [ "$(cat "$bench/prefix.ready")" = "$prefix_version" ] || configure_prefix
        return
    fi
    log "creating the $arch Wine prefix (once, about 20 s)"
    rm -rf "$prefix"
    wine wineboot -i </dev/null >"$bench/wineboot.log" 2>&1 || true
    if [ ! -d "$prefix/drive_c/windows/system32" ]; then
        log "the $arch Wine prefix could not be created; the end of $bench/wineboot.log:"
        tail -n 5 "$bench/wineboot.log" >&2 || true
        exit 1
    fi
    configure_prefix
}

up() {
    mkdir -p "$bench" "$ports"
    local problem
    problem=$(wine_problem)
    if [ -n "$problem" ]; then
        log "$arch Wine cannot run: $problem"
        exit 3
    fi
    ensure_shim
    exec 9>"$bench/lock"
    flock 9
    ensure_display
    create_prefix
    # Started detached from the caller's output: a persistent server or a
    # Wine service holding ctest's pipe would make ctest wait for it forever.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    flock -u 9
}

down() {
    [ -d "$bench" ] || return 0
    if [ -d "$prefix" ]; then
        wineserver -k 2>/dev/null || true
    fi
    if [ -f "$bench/devsim.pids" ]; then
        xargs -r kill 2>/dev/null <"$bench/devsim.pids" || true
        rm -f "$bench/devsim.pids"
    fi
    pkill -f "devsim .*--link $ports/" 2>/dev/null || true
    find "$ports" -maxdepth 1 -type l -delete 2>/dev/null || true
    if [ -f "$bench/xvfb.pid" ]; then
        kill "$(cat "$bench/xvfb.pid")" 2>/dev/null || true
        rm -f "$bench/xvfb.pid" "$bench/display"
    fi
}

cmd=${1:-}
[ $# -gt 0 ] && shift
case "$cmd" in
    up) up ;;
    down) down ;;
    # Never with a terminal on standard input: nothing on the bench reads
    # it, and Wine would run the program's console through that terminal.
    exec) up; exec "$@" </dev/null ;;
    env) up; printf 'export TP_WINE_ARCH=%q WINEPREFIX=%q WINEARCH=%q WINELOADER=%q WINEDLLOVERRIDES=%q WINEDEBUG=%q DISPLAY=%q TP_BENCH_DIR=%q TP_PORTS_DIR=%q PATH=%q\n' \
        "$TP_WINE_ARCH" "$WINEPREFIX" "$WINEARCH" "$WINELOADER" "$WINEDLLOVERRIDES" "$WINEDEBUG" "$DISPLAY" "$TP_BENCH_DIR" "$TP_PORTS_DIR" "$PATH" ;;
    check)
        problem=$(wine_problem)
        if [ -n "$problem" ]; then echo "$problem"; exit 1; fi ;;
    best-arch)
        if [ -z "$(TP_WINE_ARCH=x86 "$0" check 2>/dev/null)" ]; then echo x86; else echo x64; fi ;;
    *) sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
esac
