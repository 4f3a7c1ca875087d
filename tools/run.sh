#!/usr/bin/env bash
# Runs TactilePane under Wine against the simulated device on COM3 and has the
# device draw a circle with touches, so that the pointer visibly follows it.
# Uses the current display when there is one, a virtual one otherwise (then a
# picture of the screen with the pointer's path is saved). Prints where each
# touch put the pointer. On a real display the program keeps running until
# Enter is pressed; then it is ended the way its About page ends it.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"

tools/install-deps.sh
# The x86 program where this machine runs 32-bit programs, else the x64 one.
export TP_WINE_ARCH=${TP_WINE_ARCH:-$(tools/bench/bench.sh best-arch)}
preset=win32
[ "$TP_WINE_ARCH" = x64 ] && preset=win64
echo "run: the $TP_WINE_ARCH program (build/$preset/TactilePane.exe)"
cmake --preset host >/dev/null && cmake --build --preset host --target devsim >/dev/null
cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" --target TactilePane TactilePaneStop >/dev/null

virtual=1
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    export TP_USE_DISPLAY=1
    virtual=0
fi
eval "$(tools/bench/bench.sh env)"
out="$repo/build/run"
mkdir -p "$out"
rm -f "$out/devsim.port"

devsim_pid=""
program_pid=""
cleanup() {
    set +e
    if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
        wine "build/$preset/TactilePaneStop.exe" 5000 </dev/null >/dev/null 2>&1
        wait "$program_pid" 2>/dev/null
    fi
    exec 3>&- 2>/dev/null
    [ -n "$devsim_pid" ] && kill "$devsim_pid" 2>/dev/null
    tools/bench/bench.sh down
}
trap cleanup EXIT

# The device: a ZMR02 controller (hardware id 2, firmware 1.30) on COM3.
build/host/tools/devsim/devsim --link "$TP_PORTS_DIR/com3" --hwid 2 --version 1.30 \
    --control 0 --ready-file "$out/devsim.port" --log "$out/devsim.log" --max-seconds 3600 &
devsim_pid=$!
for _ in $(seq 1 100); do [ -s "$out/devsim.port" ] && break; sleep 0.1; done
exec 3<>"/dev/tcp/127.0.0.1/$(cat "$out/devsim.port")"
device() { # one command to the device, its one-line answer back
    echo "$1" >&3
    local answer
    read -r answer <&3
    echo "$answer"
}

echo "run: starting TactilePane.exe on display $DISPLAY (COM3: simulated device)"
# Not on the terminal's input: see tools/bench/bench.sh exec.
wine "build/$preset/TactilePane.exe" </dev/null >"$out/program.log" 2>&1 &
program_pid=$!

# Identification, then six configuration writes: the program is ready.
if [[ "$(device "wait-rx 7 40000")" != ok* ]]; then
    echo "run: the program did not configure the device; see $out/program.log" >&2
    exit 1
fi
echo "run: device identified and configured:"
device "rx" >/dev/null
while read -r -t 0.2 line <&3; do echo "    received $line"; done

pointer() { xdotool getmouselocation 2>/dev/null | sed -E 's/x:([0-9]+) y:([0-9]+).*/\1 \2/'; }

echo "run: the device draws a circle; each touch and where the pointer went:"
trail=()
for step in $(seq 0 35); do
    read -r x y < <(awk -v s="$step" 'BEGIN { a = s * 3.14159265 / 18; printf "%d %d\n", 512 + 300 * cos(a), 512 + 300 * sin(a) }')
    device "touch $x $y" >/dev/null
    sleep 0.05
    read -r px py < <(pointer)
    trail+=("$px,$py")
    printf '    touch %4d %4d  ->  pointer %4d %4d\n' "$x" "$y" "$px" "$py"
done
device "release" >/dev/null

if [ "$virtual" = 1 ]; then
    shot="$out/screenshot.png"
    import -display "$DISPLAY" -window root "$out/screen.png" 2>/dev/null || convert -size 1024x768 xc:black "$out/screen.png"
    convert "$out/screen.png" -fill none -stroke '#33cc66' -strokewidth 3 -draw "polyline ${trail[*]}" \
        -fill '#ff5533' -stroke none -draw "circle ${trail[0]} $(( ${trail[0]%,*} + 6 )),${trail[0]#*,}" \
        "$shot"
    echo "run: picture of the screen with the pointer's path: $shot"
else
    echo "run: the program keeps running; touch commands can be typed to the device with"
    echo "     nc 127.0.0.1 $(cat "$out/devsim.port")   (e.g. 'touch 300 700', 'release')"
    read -r -p "run: press Enter to end the program " _ || true
fi
