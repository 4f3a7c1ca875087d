#!/usr/bin/env bash
# The MSI packages. Under Wine (64-bit prefix of the bench), with the x64
# package, silently and logged: refused beside an NSIS installation;
# install of a package built with a lower version; major upgrade to this
# version while the program runs; uninstall while it runs; install and
# uninstall with REMOVESETTINGS=1; CONFIGFILE= with a bad file (refused
# before anything is installed, the reason in the setup log) and a good one
# (its machine values stored, not the user's). Each step checks the files, the registry
# values, the event source, the autostart and the Start-menu entry, and
# which settings stay. The x86 package (this bench runs no 32-bit programs)
# is built and its tables checked with msiinfo.
# Run by ctest in the win64 preset (test "msi_installer").
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export TP_WINE_ARCH=x64
work="$root/build/installer/msi-test"
rm -rf "$work"
mkdir -p "$work/old/x64"

version=$(sed -nE 's/^project\(TactilePane VERSION ([0-9]+)\.([0-9]+)\.([0-9]+).*/\1 \2 \3/p' "$root/CMakeLists.txt")
read -r major minor patch <<<"$version"
version="$major.$minor.$patch"
if [ "$patch" -gt 0 ]; then
    older="$major.$minor.$((patch - 1))"
elif [ "$minor" -gt 0 ]; then
    older="$major.$((minor - 1)).99"
else
    older="$((major - 1)).99.99"
fi

# grep -q on a pipe ends at the first match, and with pipefail the writer's
# broken pipe then reads as a failure: read everything first.
has() {
    local text
    text=$(cat)
    grep "$@" <<<"$text"
}
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# --- The tables of both packages.
table() { msiinfo export "$1" "$2" | tr -d '\r' | tail -n +4; }
check_tables() { # msi arch
    local msi=$1 arch=$2 template=Intel dir=ProgramFilesFolder attr=0 regexe='[SystemFolder]reg.exe' pe=pei-i386
    if [ "$arch" = x64 ]; then
        template=x64 dir=ProgramFiles64Folder attr=256 regexe='[System64Folder]reg.exe' pe=pei-x86-64
    fi
    msiinfo suminfo "$msi" | has -q "^Template: $template;1033" || fail "$arch: template not $template"
    table "$msi" Directory | has -qP "^INSTALLDIR\t$dir\tTactilePane$" || fail "$arch: not under $dir"
    local components
    components=$(table "$msi" Component | cut -f1,4 | sort | tr '\n' ' ')
    [ "$components" = "Program	$attr StopTool	$attr " ] || fail "$arch: component attributes: $components"
    local property expected
    while IFS='|' read -r property expected; do
        table "$msi" Property | has -qP "^$property\t$expected$" || fail "$arch: property $property not $expected"
    done <<EOF
ALLUSERS|1
ProductName|TactilePane
ProductVersion|$version
UpgradeCode|\{2275DC59-DA3B-4C35-8A8D-B60BB676319A\}
SecureCustomProperties|.*REMOVESETTINGS.*
EOF
    local rows
    rows=$(table "$msi" Registry | cut -f2-5)
    for expected in $'2\tSYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\TactilePane\tEventMessageFile\t#%[#TactilePaneExe]' \
        $'2\tSYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\TactilePane\tTypesSupported\t#7' \
        $'2\tSoftware\\Microsoft\\Windows\\CurrentVersion\\Run\tTactilePane\t"[#TactilePaneExe]"'; do
        grep -qxF -- "$expected" <<<"$rows" || fail "$arch: registry row missing: $expected"
    done
    table "$msi" Shortcut | has -qP "^StartMenuEntry\tProgramMenuFolder\tTactilePane\tProgram\t\[#TactilePaneExe\]" ||
        fail "$arch: Start-menu entry"
    table "$msi" CustomAction | has -qF "$regexe" || fail "$arch: settings removed by another reg.exe"
    if [ "$arch" = x86 ] && table "$msi" CustomAction | has -q 'reg:32'; then
        fail "x86: the 32-bit reg.exe needs no /reg:32"
    fi
    local sequence
    sequence=$(table "$msi" InstallExecuteSequence | sort -t$'\t' -k3n | cut -f1 | tr '\n' ' ')
    grep -q 'InstallValidate CheckConfiguration RemoveExistingProducts SetRegExe InstallInitialize StopProgram ProcessComponents' <<<"$sequence" ||
        fail "$arch: upgrade or stop out of order: $sequence"
    local files="$work/extract-$arch"
    rm -rf "$files" && mkdir -p "$files"
    (cd "$files" && msiextract "$msi" >/dev/null)
    local exe
    for exe in TactilePane.exe TactilePaneStop.exe; do
        local found
        found=$(find "$files" -name "$exe" | head -n 1)
        if [ -z "$found" ]; then
            fail "$arch: $exe not in the package"
        elif ! x86_64-w64-mingw32-objdump -f "$found" | has -q "file format $pe"; then
            fail "$arch: $exe is not $pe"
        fi
    done
}
# Built first: it stages the x64 programs again.
if [ -f "$root/build/win32/TactilePane.exe" ] && [ -f "$root/build/win32/TactilePaneStop.exe" ]; then
    "$root/tools/installer/build-msi.sh" --arch x86 --no-build >/dev/null
    check_tables "$root/build/installer/TactilePane-$version-x86.msi" x86
else
    echo "msi test: x86 package NOT checked: build the win32 preset first" >&2
fi

"$root/tools/installer/build-msi.sh" --arch x64 --no-build >/dev/null
new_msi="$root/build/installer/TactilePane-$version-x64.msi"
# The older package carries programs that differ from this version's (a
# trailing marker, which Windows ignores), so that an upgrade that keeps
# the old files shows.
cp "$root/build/installer/x64/"*.exe "$work/old/x64/"
printf 'older package %s\n' "$older" >>"$work/old/x64/TactilePane.exe"
"$root/tools/installer/build-msi.sh" --arch x64 --version "$older" --programs "$work/old" \
    --output-dir "$work" >/dev/null
old_msi="$work/TactilePane-$older-x64.msi"
check_tables "$new_msi" x64

# --- Under Wine, x64.
eval "$("$root/tools/bench/bench.sh" env)"
reg() { wine reg "$@" 2>/dev/null | tr -d '\r'; }
has_value() { # key value expected-text [reg options]
    local out
    out=$(reg query "$1" /v "$2" "${@:4}" || true)
    grep -qF -- "$3" <<<"$out" || fail "$1 $2: expected '$3', got: $out"
}
no_key() { reg query "$1" >/dev/null && fail "$1 still there" || true; }

dir="$WINEPREFIX/drive_c/Program Files/TactilePane"
events='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\TactilePane'
run='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
arp='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
settings='HKLM\Software\Mavrel\TactilePane'
user_settings='HKCU\Software\Mavrel\TactilePane'
# Wine's installer takes the per-user Programs folder for ProgramMenuFolder
# even in a per-machine package (Windows takes the all-users one); the
# install log says which.
link=""

# Installed TactilePane products: "product-code version" lines.
products() {
    local key
    for key in $(reg query "$arp" | grep -o '{[0-9A-F-]*}$' || true); do
        reg query "$arp\\$key" /v DisplayName | has -q 'TactilePane$' || continue
        echo "$key $(reg query "$arp\\$key" /v DisplayVersion | sed -n 's/.*REG_SZ *//p')"
    done
}
msiexec() { # step-name args...
    local step=$1
    shift
    local log="$work/$step.log" rc=0
    wine msiexec "$@" /qn /l*v "$(winepath -w "$log")" >/dev/null 2>&1 || rc=$?
    [ $rc -eq 0 ] || fail "$step: msiexec exit status $rc"
    [ -f "$log" ] && tr -d '\0' <"$log" | has -q 'INSTALL\. Return value 1' || fail "$step: no successful end in $log"
    if [ -f "$log" ]; then
        local menu
        menu=$(tr -d '\0\r' <"$log" | sed -n 's/^Property(S): ProgramMenuFolder = //p' | tail -n 1)
        [ -z "$menu" ] || link="$(winepath -u "$menu")/TactilePane.lnk"
    fi
    return 0
}
installed() { # version program-file
    for f in TactilePane.exe TactilePaneStop.exe; do
        [ -f "$dir/$f" ] || fail "$1: $f not installed"
    done
    cmp -s "$dir/TactilePane.exe" "$2" || fail "$1: installed TactilePane.exe is not the package's"
    if [ -f "$dir/TactilePane.exe" ]; then
        local sections
        sections=$(x86_64-w64-mingw32-objdump -h "$dir/TactilePane.exe")
        grep -q '\.debug_info' <<<"$sections" && fail "$1: installed program not stripped"
        grep -q '\.gnu_debuglink' <<<"$sections" || fail "$1: installed program has no debug link"
    fi
    [ -n "$link" ] && [ -f "$link" ] || fail "$1: Start-menu entry missing ($link)"
    has_value "$events" EventMessageFile 'REG_EXPAND_SZ    C:\Program Files\TactilePane\TactilePane.exe'
    has_value "$events" TypesSupported 0x7
    has_value "$run" TactilePane '"C:\Program Files\TactilePane\TactilePane.exe"'
    local list
    list=$(products)
    [ "$(wc -l <<<"$list")" -eq 1 ] && grep -q " $1\$" <<<"$list" ||
        fail "$1: installed products: ${list:-none}"
}
removed() { # step
    [ -d "$dir" ] && fail "$1: install directory still there"
    [ -n "$link" ] && [ -f "$link" ] && fail "$1: Start-menu entry still there"
    no_key "$events"
    reg query "$run" /v TactilePane >/dev/null && fail "$1: Run entry still there"
    [ -z "$(products)" ] || fail "$1: still registered: $(products)"
    return 0
}
start_program() {
    wine "$dir/TactilePane.exe" >/dev/null 2>&1 &
    program=$!
    sleep 5
    kill -0 "$program" 2>/dev/null || fail "program did not keep running after its start"
}
ended() { # step
    local i
    for i in $(seq 1 30); do
        kill -0 "$program" 2>/dev/null || return 0
        sleep 1
    done
    fail "$1: program still running"
    kill "$program" 2>/dev/null || true
}
settings_kept() { # step
    has_value "$settings" MsiKeep 0x5 /reg:32
    has_value "$user_settings" MsiKeepUser 0x6
}

# A clean prefix: what an earlier, broken run left is uninstalled.
for code in $(products | cut -d' ' -f1); do wine msiexec /x "$code" /qn >/dev/null 2>&1 || true; done
rm -rf "$dir"
reg add "$settings" /v MsiKeep /t REG_DWORD /d 5 /reg:32 /f >/dev/null
reg add "$user_settings" /v MsiKeepUser /t REG_DWORD /d 6 /f >/dev/null

# Beside an NSIS installation the package refuses, and changes nothing.
nsis_key="$arp\\TactilePane"
reg add "$nsis_key" /v UninstallString /d 'C:\Program Files\TactilePane\Uninstall.exe' /f >/dev/null
if wine msiexec /i "$(winepath -w "$new_msi")" /qn >/dev/null 2>&1; then
    fail "installed beside an NSIS installation"
fi
[ -d "$dir" ] && fail "NSIS refusal: files installed"
reg delete "$nsis_key" /f >/dev/null

msiexec install-older /i "$(winepath -w "$old_msi")"
installed "$older" "$work/old/x64/TactilePane.exe"

# The upgrade ends the running older program (its own uninstall does) and
# replaces its files and entries; the settings stay.
start_program
msiexec upgrade /i "$(winepath -w "$new_msi")"
ended upgrade
installed "$version" "$root/build/installer/x64/TactilePane.exe"
settings_kept upgrade

start_program
msiexec uninstall /x "$(winepath -w "$new_msi")"
ended uninstall
removed uninstall
settings_kept uninstall

msiexec install /i "$(winepath -w "$new_msi")"
installed "$version" "$root/build/installer/x64/TactilePane.exe"
msiexec uninstall-removesettings /x "$(winepath -w "$new_msi")" REMOVESETTINGS=1
removed uninstall-removesettings
reg query "$settings" /reg:32 >/dev/null && fail "settings kept despite REMOVESETTINGS=1"
reg query "$user_settings" >/dev/null && fail "user settings kept despite REMOVESETTINGS=1"

# CONFIGFILE=: the export of this version's program, with another press
# delay; the bad one has a broken line late in the file.
wine "$root/build/installer/x64/TactilePane.exe" /export "$(winepath -w "$work/export.txt")" >/dev/null 2>&1 || true
reg delete "$settings" /f /reg:32 >/dev/null || true
reg delete "$user_settings" /f >/dev/null || true
reg delete "$events" /f >/dev/null || true # registered by that run
sed 's/^\( *PressDelay\) : 2$/\1 : 7/' "$work/export.txt" >"$work/good.txt"
sed 's/^\( *BaudRate\) : 2580$/\1 : 25k0/' "$work/good.txt" >"$work/bad.txt"
grep -q ' PressDelay : 7$' "$work/good.txt" && grep -q 'BaudRate : 25k0$' "$work/bad.txt" ||
    fail "CONFIGFILE: test files not made"
device=$(grep -o 'Devices\\ZMR0[0-9]' "$work/good.txt" | head -1)
find "$WINEPREFIX/drive_c/users" -name TactilePane-Setup.log -delete 2>/dev/null || true

if wine msiexec /i "$(winepath -w "$new_msi")" CONFIGFILE="$(winepath -w "$work/bad.txt")" /qn \
    /l*v "$(winepath -w "$work/config-bad.log")" >/dev/null 2>&1; then
    fail "CONFIGFILE: installed with a bad file"
fi
removed config-bad
reg query "$settings" /reg:32 >/dev/null && fail "CONFIGFILE: settings written from a bad file"
setup_log=$(find "$WINEPREFIX/drive_c/users" -name TactilePane-Setup.log | head -1)
line=$(grep -n 'BaudRate : 25k0' "$work/bad.txt" | cut -d: -f1)
[ -n "$setup_log" ] && grep -q "line $line: .*BaudRate : 25k0" "$setup_log" ||
    fail "CONFIGFILE: the setup log lacks the refused line: $(cat "$setup_log" 2>/dev/null)"

msiexec config-good /i "$(winepath -w "$new_msi")" CONFIGFILE="$(winepath -w "$work/good.txt")"
installed "$version" "$root/build/installer/x64/TactilePane.exe"
has_value "$settings\\$device" PressDelay 0x7 /reg:32
reg query "$user_settings\\Lcds" >/dev/null && fail "CONFIGFILE: the installing user's values were written"
msiexec config-uninstall /x "$(winepath -w "$new_msi")" REMOVESETTINGS=1
removed config-uninstall

if [ $failures -ne 0 ]; then
    echo "msi test: $failures failure(s)" >&2
    exit 1
fi
echo "msi test: passed"
