#!/usr/bin/env bash
# Silent install and uninstall under Wine (64-bit prefix of the bench):
# the files, the registry values, the event source and the Start-menu entry
# after install; all of them gone after uninstall, a running program ended
# first, and the settings kept unless /REMOVESETTINGS is given; /CONFIG=
# with a good file (its machine values stored, not the user's) and with a
# bad one (refused before anything is installed, the reason in the log).
# Run by ctest in the win64 preset (test "installer").
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export TP_WINE_ARCH=x64
"$root/tools/installer/build.sh" --amd64-stub --no-build >/dev/null
setup="$root/build/installer/TactilePane-Setup-amd64.exe"
eval "$("$root/tools/bench/bench.sh" env)"

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
reg() { wine reg "$@" 2>/dev/null | tr -d '\r'; }
has_value() { # key value expected-text [reg option]
    local out
    out=$(reg query "$1" /v "$2" ${4:+"$4"} || true)
    grep -qF -- "$3" <<<"$out" || fail "$1 $2: expected '$3', got: $out"
}
no_key() { reg query "$1" >/dev/null && fail "$1 still there" || true; }

dir="$WINEPREFIX/drive_c/Program Files/TactilePane"
link="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/TactilePane.lnk"
events='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\TactilePane'
run='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\TactilePane'
settings='HKLM\Software\Mavrel\TactilePane'

install() {
    wine "$setup" /S || fail "installer exit status $?"
    for f in TactilePane.exe TactilePaneStop.exe Uninstall.exe; do
        [ -f "$dir/$f" ] || fail "$f not installed"
    done
    if [ -f "$dir/TactilePane.exe" ]; then
        local sections
        sections=$(x86_64-w64-mingw32-objdump -h "$dir/TactilePane.exe")
        grep -q '\.debug_info' <<<"$sections" && fail "installed program not stripped"
        grep -q '\.gnu_debuglink' <<<"$sections" || fail "installed program has no debug link"
    fi
    [ -f "$link" ] || fail "Start-menu entry missing"
    has_value "$events" EventMessageFile 'C:\Program Files\TactilePane\TactilePane.exe'
    has_value "$events" TypesSupported 0x7
    has_value "$run" TactilePane '"C:\Program Files\TactilePane\TactilePane.exe"'
    has_value "$uninstall" QuietUninstallString 'Uninstall.exe" /S'
}

# The uninstaller copies itself away and returns at once: wait for the
# directory to go.
uninstall() {
    wine "$dir/Uninstall.exe" /S "$@" || fail "uninstaller exit status $?"
    local i
    for i in $(seq 1 120); do
        [ -d "$dir" ] || break
        sleep 1
    done
    [ -d "$dir" ] && fail "install directory still there after uninstall"
    [ -f "$link" ] && fail "Start-menu entry still there"
    no_key "$events"
    no_key "$uninstall"
    reg query "$run" /v TactilePane >/dev/null && fail "Run entry still there"
    return 0
}

# A stored setting, to be kept by a plain uninstall.
reg add "$settings" /v InstallerKeep /t REG_DWORD /d 5 /reg:32 /f >/dev/null

install
# A running program is ended first (the stop command), not left running
# from a deleted file.
wine "$dir/TactilePane.exe" >/dev/null 2>&1 &
program=$!
sleep 5
kill -0 "$program" 2>/dev/null || fail "program did not keep running after its start"
uninstall
for i in $(seq 1 30); do
    kill -0 "$program" 2>/dev/null || break
    sleep 1
done
if kill -0 "$program" 2>/dev/null; then
    fail "program still running after uninstall"
    kill "$program" 2>/dev/null || true
fi
out=$(reg query "$settings" /v InstallerKeep /reg:32 || true)
grep -q 0x5 <<<"$out" || fail "settings not kept by a plain uninstall: $out"

install
uninstall /REMOVESETTINGS
reg query "$settings" /reg:32 >/dev/null && fail "settings kept despite /REMOVESETTINGS"

# /CONFIG=: a configuration file given to the installer.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The good file is the export of a fresh install, with another press delay.
install
wine "$dir/TactilePane.exe" /export "$(winepath -w "$work/export.txt")" >/dev/null 2>&1 || true
[ -s "$work/export.txt" ] || fail "no export for the test files"
uninstall /REMOVESETTINGS
sed 's/^\( *PressDelay\) : 2$/\1 : 7/' "$work/export.txt" >"$work/good.txt"
sed 's/^\( *BaudRate\) : 2580$/\1 : 25k0/' "$work/good.txt" >"$work/bad.txt"
grep -q ' PressDelay : 7$' "$work/good.txt" && grep -q 'BaudRate : 25k0$' "$work/bad.txt" ||
    fail "test files not made"
device=$(grep -o 'Devices\\ZMR0[0-9]' "$work/good.txt" | head -1)
find "$WINEPREFIX/drive_c/users" -name TactilePane-Setup.log -delete 2>/dev/null || true
reg delete 'HKCU\Software\Mavrel\TactilePane' /f >/dev/null || true

status=0
wine "$setup" /S "/CONFIG=$(winepath -w "$work/bad.txt")" || status=$?
[ "$status" -eq 3 ] || fail "a bad file: installer exit status $status, expected 3"
[ -d "$dir" ] && fail "a bad file: something was installed"
no_key "$events"
reg query "$settings" /reg:32 >/dev/null && fail "a bad file: settings written"
log=$(find "$WINEPREFIX/drive_c/users" -name TactilePane-Setup.log | head -1)
if [ -z "$log" ]; then
    fail "a bad file: no setup log"
else
    line=$(grep -n 'BaudRate : 25k0' "$work/bad.txt" | cut -d: -f1)
    grep -q "line $line: .*BaudRate : 25k0" "$log" ||
        fail "a bad file: the log lacks the refused line: $(cat "$log")"
fi

wine "$setup" /S "/CONFIG=$(winepath -w "$work/good.txt")" || fail "a good file: installer exit status $?"
[ -f "$dir/TactilePane.exe" ] || fail "a good file: not installed"
has_value "$settings\\$device" PressDelay 0x7 /reg:32
reg query 'HKCU\Software\Mavrel\TactilePane\Lcds' >/dev/null &&
    fail "a good file: the installing user's values were written"
uninstall /REMOVESETTINGS

if [ $failures -ne 0 ]; then
    echo "installer test: $failures failure(s)" >&2
    exit 1
fi
echo "installer test: passed"
