#!/bin/sh
# Tells whether this machine runs 32-bit x86 programs: exits 0 when it does, otherwise prints
# why on one line and exits 1. The answer comes from starting a program, not from the packages
# installed: a kernel without IA-32 emulation refuses every 32-bit program ("Exec format error")
# even where the i386 libraries and 32-bit Wine install without complaint.
# The probe needs no 32-bit C library: a static program of its own entry point that only exits.
# BREVOR_NO_32BIT=1 makes the probe fail, to try the other path on a machine that runs them.
set -u
if [ -n "${BREVOR_NO_32BIT:-}" ]; then
    echo "32-bit programs turned off by BREVOR_NO_32BIT"
    exit 1
fi
cc=${CC:-cc}
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
printf '%s\n' 'void _start(void) {' \
    '    __asm__ volatile("movl $1, %eax\n\txorl %ebx, %ebx\n\tint $0x80");' \
    '}' >"$dir/probe.c"
if ! "$cc" -m32 -nostdlib -static -ffreestanding -fno-pie -no-pie -o "$dir/probe" \
    "$dir/probe.c" >"$dir/log" 2>&1; then
    echo "no 32-bit probe could be built with $cc: $(head -n 1 "$dir/log")"
    exit 1
fi
if ! out=$("$dir/probe" 2>&1); then
    reason=$(printf '%s\n' "$out" | sed -n 's/.*: //p' | tail -n 1)
    echo "this kernel runs no 32-bit programs (${reason:-the probe failed})"
    exit 1
fi
exit 0
