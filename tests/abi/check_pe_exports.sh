#!/bin/sh
# Checks a Windows build of the module: the PE format its word size calls for, and exactly the
# functions of the interface in its export table, undecorated (no "_Name@4"). With NAMES (one
# name per line, sorted), checks for exactly those instead: the host program exports fSendData.
#   check_pe_exports.sh OBJDUMP MODULE FORMAT [NAMES]    (FORMAT: pei-i386 or pei-x86-64)
set -eu
objdump=$1
module=$2
format=$3
expected="${4:-ExecutePluginCommand
GetAppMinVersion
GetCustomCommands
GetData
GetEvents
GetLogEx
GetModuleDescription
GetModuleType
GetPluginIntfVersion
MultiThreadSupport
ProcessData
ShowOptionsDialog
TraceProcess}"
dump=$("$objdump" -p "$module")
actual_format=$(printf '%s\n' "$dump" | sed -n 's/.*file format \(.*\)$/\1/p' | head -n 1)
if [ "$actual_format" != "$format" ]; then
    echo "file format is '$actual_format', expected '$format'"
    exit 1
fi
# The names of the export table, one per line after its heading, up to the next empty line.
actual=$(printf '%s\n' "$dump" | awk '
    /^\[Ordinal\/Name Pointer\] Table/ { inside = 1; next }
    inside && NF == 0 { inside = 0 }
    inside { print $NF }' | sort -u)
if [ "$actual" != "$expected" ]; then
    echo "exported names differ from the interface (- expected, + actual):"
    printf '%s\n' "$actual" > "${TMPDIR:-/tmp}/brevor-exports.$$"
    printf '%s\n' "$expected" | diff - "${TMPDIR:-/tmp}/brevor-exports.$$" || true
    rm -f "${TMPDIR:-/tmp}/brevor-exports.$$"
    exit 1
fi
echo "format: $actual_format"
echo "exports: ok"
