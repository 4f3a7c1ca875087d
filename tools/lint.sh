#!/usr/bin/env bash
# Static analysis: clang-tidy (checks in .clang-tidy) over the platform-free
# sources, compiled as the native build compiles them, and cppcheck over all
# sources (Windows code included, without the system headers). Fails on any
# finding not justified in .clang-tidy, a NOLINT comment or
# tools/lint-suppressions.txt.
#
# The Windows-only sources are not run through clang-tidy: with the MinGW
# headers each file takes minutes on two cores; cppcheck covers them.
#
#   tools/lint.sh            needs build/host/compile_commands.json
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
if [ ! -f build/host/compile_commands.json ]; then
    cmake --preset host >/dev/null
fi

status=0

mapfile -t portable < <(sed -n '/^set(TP_PORTABLE_SOURCES/,/^)/p' CMakeLists.txt | grep -o 'src/[^ ]*\.cpp')
echo "lint: clang-tidy on ${#portable[@]} platform-free sources"
if ! printf '%s\n' "${portable[@]}" |
    xargs -P 2 -n 1 clang-tidy -p build/host --quiet 2>/dev/null; then
    echo "lint: clang-tidy findings above" >&2
    status=1
fi

echo "lint: cppcheck on src, tools/stop, tools/devsim"
if ! cppcheck --enable=warning,performance,portability --std=c++20 --inline-suppr --quiet -j2 \
    --suppressions-list=tools/lint-suppressions.txt --error-exitcode=1 \
    --template='{file}:{line}: {severity} [{id}] {message}' \
    -I src -D_WIN32 -DWIN32 src tools/stop tools/devsim; then
    echo "lint: cppcheck findings above" >&2
    status=1
fi

[ $status -eq 0 ] && echo "lint: clean"
exit $status
