#!/bin/sh
# Compiles the public header's layout checks for one word size.
#   check_layout.sh CC -m32|-m64 INCLUDE_DIR abi_layout.c
# Exits 77 (skipped) with the reason when the compiler cannot build for that word size at all
# (its C library headers are missing): that says nothing about the header.
set -u
cc=$1
bits=$2
include=$3
source=$4
if ! printf '#include <stdint.h>\n#include <stddef.h>\n' |
    "$cc" "$bits" -std=c11 -fsyntax-only -x c - >/dev/null 2>&1; then
    echo "skipped: $cc $bits has no C library headers for that word size (gcc-multilib)"
    exit 77
fi
exec "$cc" "$bits" -std=c11 -Wall -Wextra -Wpedantic -Werror -fsyntax-only -I"$include" "$source"
