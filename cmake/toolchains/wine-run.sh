#!/bin/sh
# Runs a Windows program under Wine for CTest. The program's output goes through files, not
# straight to CTest's pipes: a program that makes a window may start Wine's desktop process,
# which inherits the program's standard error and lives on after it, and CTest waits for every
# writer of its pipes to close them. The output is passed on once the program has ended.
set -u
wine=$(command -v wine || command -v wine64) || {
    echo "wine-run: no wine on PATH" >&2
    exit 127
}
out=$(mktemp) && err=$(mktemp) || exit 127
trap 'cat "$out"; cat "$err" >&2; rm -f "$out" "$err"' EXIT
trap 'exit 143' TERM INT
"$wine" "$@" >"$out" 2>"$err"
