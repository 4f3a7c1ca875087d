#!/usr/bin/env bash
# Builds the MSI packages, one per architecture, with wixl (msitools) from
# the same stripped programs as the NSIS installer (build.sh --stage-only).
#
#   tools/installer/build-msi.sh [--arch x86|x64] [--no-build] [--version X.Y.Z]
#                                [--programs DIR] [--output-dir DIR]
#
# Writes build/installer/TactilePane-<version>-<arch>.msi for both
# architectures, or for --arch only. The version is the project version
# (project(VERSION) in CMakeLists.txt), which the programs' version resource
# carries too. --programs DIR takes the programs from DIR/<arch>/ instead of
# staging them, and --version overrides the version: the upgrade test builds
# an older package that way. --no-build is passed to build.sh.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out="$root/build/installer"
archs=(x86 x64)
version=""
programs=""
build_args=()
usage() {
    echo "usage: $0 [--arch x86|x64] [--no-build] [--version X.Y.Z] [--programs DIR] [--output-dir DIR]" >&2
    exit 2
}
while [ $# -gt 0 ]; do
    case $1 in
    --arch)
        [ $# -ge 2 ] && [[ $2 =~ ^(x86|x64)$ ]] || usage
        archs=("$2")
        shift
        ;;
    --no-build) build_args+=(--no-build) ;;
    --version)
        [ $# -ge 2 ] && [[ $2 =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || usage
        version=$2
        shift
        ;;
    --programs)
        [ $# -ge 2 ] || usage
        programs=$(cd "$2" && pwd)
        shift
        ;;
    --output-dir)
        [ $# -ge 2 ] || usage
        mkdir -p "$2"
        out=$(cd "$2" && pwd)
        shift
        ;;
    *) usage ;;
    esac
    shift
done

for tool in wixl msibuild msiinfo; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "msi: $tool is missing (tools/install-deps.sh installs it)" >&2
        exit 1
    fi
done

project_version=$(sed -nE 's/^project\(TactilePane VERSION ([0-9]+\.[0-9]+\.[0-9]+).*/\1/p' "$root/CMakeLists.txt")
if [ -z "$project_version" ]; then
    echo "msi: no project(TactilePane VERSION x.y.z) in CMakeLists.txt" >&2
    exit 1
fi
if [ -z "$programs" ]; then
    # A package whose version differs from its programs' would confuse
    # every later upgrade: the build tree must be configured from this
    # CMakeLists.txt.
    for arch in "${archs[@]}"; do
        preset=win32
        [ "$arch" = x64 ] && preset=win64
        header="$root/build/$preset/generated/Version.h"
        if [ -f "$header" ] && ! grep -qF "\"$project_version\"" "$header"; then
            echo "msi: build/$preset carries another version than $project_version: reconfigure it" >&2
            exit 1
        fi
    done
    stub=()
    [ "${archs[*]}" = x64 ] && stub=(--amd64-stub)
    "$root/tools/installer/build.sh" --stage-only "${stub[@]}" "${build_args[@]}"
    programs="$root/build/installer"
fi
[ -n "$version" ] || version=$project_version

# grep -q on a pipe ends at the first match, and with pipefail the writer's
# broken pipe then reads as a failure: read everything first.
has() {
    local text
    text=$(cat)
    grep "$@" <<<"$text"
}
# One query per msibuild run: it takes a single -q.
query() { # msi sql
    msibuild "$1" -q "$2" >/dev/null 2>&1 || true
}
table_row() { # msi table first-column-value
    msiinfo export "$1" "$2" | tr -d '\r' | awk -F'\t' -v k="$3" 'NR > 3 && $1 == k'
}

for arch in "${archs[@]}"; do
    for exe in TactilePane TactilePaneStop; do
        if [ ! -f "$programs/$arch/$exe.exe" ]; then
            echo "msi: $programs/$arch/$exe.exe is missing" >&2
            exit 1
        fi
    done
    msi="$out/TactilePane-$version-$arch.msi"
    rm -f "$msi"
    # wixl takes no absolute Source path: it reads the files from here.
    (cd "$programs/$arch" && wixl -a "$arch" -D Arch="$arch" -D Version="$version" -D SourceDir=. \
        -o "$msi" "$root/tools/installer/TactilePane.wxs")

    # What wixl cannot author (see TactilePane.wxs), set in its tables.
    query "$msi" "UPDATE \`Registry\` SET \`Value\` = '#%[#TactilePaneExe]' WHERE \`Name\` = 'EventMessageFile'"
    upgrade_code=$(table_row "$msi" Property UpgradeCode | cut -f2)
    # The range's attributes are part of the table's key: the row is
    # replaced, with both ends included (256 | 512).
    query "$msi" "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'OLDERFOUND'"
    query "$msi" "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMin\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) VALUES ('$upgrade_code', '0.0.0', '$version', 768, 'OLDERFOUND')"
    secure=$(table_row "$msi" Property SecureCustomProperties | cut -f2)
    query "$msi" "UPDATE \`Property\` SET \`Value\` = '${secure:+$secure;}REMOVESETTINGS;CONFIGFILE' WHERE \`Property\` = 'SecureCustomProperties'"
    # CONFIGFILE's file checked by the program from the Binary table before
    # anything changes (type 2: an EXE from Binary, immediate, its exit
    # code checked): a refused file ends the installation there.
    query "$msi" "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('CheckConfiguration', 2, 'CheckTool', '/import \"[CONFIGFILE]\" /check /log \"[TempFolder]TactilePane-Setup.log\"')"
    query "$msi" "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('CheckConfiguration', 'CONFIGFILE AND NOT REMOVE', 1405)"

    # wixl searches the registry of its own architecture only; the NSIS
    # installer writes the 64-bit view on 64-bit Windows (16: 64-bit search).
    [ "$arch" = x64 ] && query "$msi" "UPDATE \`RegLocator\` SET \`Type\` = 18 WHERE \`Signature_\` = 'NsisUninstallKey'"

    # msibuild does not say when a query fails: look.
    problems=()
    msiinfo export "$msi" Registry | has -qF $'\tEventMessageFile\t#%[#TactilePaneExe]\t' ||
        problems+=("EventMessageFile not REG_EXPAND_SZ")
    msiinfo export "$msi" Upgrade | tr -d '\r' | has -qE $'\t0\\.0\\.0\t'"${version//./\\.}"$'\t\t768\t\tOLDERFOUND$' ||
        problems+=("upgrade range does not include $version")
    table_row "$msi" Property SecureCustomProperties | has -q 'REMOVESETTINGS;CONFIGFILE' ||
        problems+=("REMOVESETTINGS or CONFIGFILE not secure")
    table_row "$msi" CustomAction CheckConfiguration | has -q $'\t2\tCheckTool\t/import' ||
        problems+=("no check of CONFIGFILE")
    table_row "$msi" InstallExecuteSequence CheckConfiguration | has -q $'\t1405$' ||
        problems+=("the check of CONFIGFILE not sequenced")
    if [ "$arch" = x64 ] && ! table_row "$msi" RegLocator NsisUninstallKey | has -q $'\t18$'; then
        problems+=("NSIS search not in the 64-bit view")
    fi
    if [ ${#problems[@]} -ne 0 ]; then
        echo "msi: $msi: ${problems[*]}" >&2
        rm -f "$msi"
        exit 1
    fi
    echo "msi: $msi"
done
