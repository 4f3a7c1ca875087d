#!/usr/bin/env bash
# Runs the DPI layout test program once at each display scaling, in a Wine
# prefix of its own (TP_BENCH_DIR): Wine has one DPI for all monitors, read
# when a program starts, and the other tests need 96. The program checks
# that the scaling it was asked for is the one it runs at.
#
#   DpiLayoutTest.sh PROGRAM [test arguments...]
#
# TP_TEST_DPIS overrides the scalings (default: 144 and 192, 150 % and 200 %).
set -uo pipefail

program=$1
shift
bench=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../tools/bench" && pwd)/bench.sh
status=0
for dpi in ${TP_TEST_DPIS:-144 192}; do
    if ! "$bench" exec wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
        >/dev/null 2>&1; then
        echo "DpiLayoutTest: the scaling $dpi could not be set" >&2
        exit 1
    fi
    echo "DpiLayoutTest: at $dpi DPI"
    TP_TEST_DPI=$dpi "$bench" exec wine "$program" "$@" || status=1
done
exit $status
