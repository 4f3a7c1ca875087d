#!/usr/bin/env bash
# Exits 0 when this machine's kernel runs 32-bit x86 programs; otherwise
# prints why and exits 1. Needs nothing installed: it writes a 93-byte
# static i386 program (exit(0) by int 0x80) and runs it.
set -u
probe=$(mktemp "${TMPDIR:-/tmp}/probe32.XXXXXX") || exit 1
trap 'rm -f "$probe"' EXIT
# ELF32 header, one PT_LOAD program header, then: mov eax,1; xor ebx,ebx; int 0x80
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000'\
'\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000'\
'\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000'\
'\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010'\
'\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000'\
'\270\001\000\000\000\061\333\315\200' >"$probe"
chmod +x "$probe"
if out=$("$probe" 2>&1); then
    exit 0
fi
case "$out" in
    *"Exec format error"*) echo "this machine cannot run 32-bit programs (Exec format error)" ;;
    *) echo "this machine cannot run 32-bit programs (${out:-exit status $?})" ;;
esac
exit 1
