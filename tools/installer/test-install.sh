#!/usr/bin/env bash
# Silent install and uninstall under Wine (64-bit prefix of the bench):
# the files, the registry values, the event source and the Start-menu entry
# after install; all of them gone after uninstall, a running program ended
# first, and the settings kept unless /REMOVESETTINGS is given.
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
has_value() { # key value expected-text
    local out
    out=$(reg query "$1" /v "$2" || true)
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

if [ $failures -ne 0 ]; then
    echo "installer test: $failures failure(s)" >&2
    exit 1
fi
echo "installer test: passed"
