#!/bin/sh
# Runs a Windows program under Wine for CTest: wine-run.sh LOADER PROGRAM [ARGS...], LOADER the
# Wine loader for the program's word size (/usr/lib/wine/wine or /usr/lib/wine/wine64).
# The program's output goes through files, not straight to CTest's pipes: a program that makes
# a window may start Wine's desktop process, which inherits the program's standard error and
# lives on after it, and CTest waits for every writer of its pipes to close them. The output is
# passed on once the program has ended.
set -u
wine=$1
shift
case $wine in
*wine64) export WINELOADER="${WINELOADER:-$wine}" ;;
esac
out=$(mktemp) && err=$(mktemp) || exit 127
trap 'cat "$out"; cat "$err" >&2; rm -f "$out" "$err"' EXIT
trap 'exit 143' TERM INT
"$wine" "$@" >"$out" 2>"$err"
