#!/bin/sh
# Lists the dynamic symbols the module defines and compares them with the interface.
set -eu
module=$1
expected="ExecutePluginCommand
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
TraceProcess"
actual=$(nm -D --defined-only "$module" | awk '$2 ~ /^[TtWwDdBbRrVvi]$/ {print $3}' | sort -u)
if [ "$actual" != "$expected" ]; then
    echo "exported symbols differ from the interface:"
    printf '%s\n' "$actual" > /tmp/brevor-exports.$$
    printf '%s\n' "$expected" | diff - /tmp/brevor-exports.$$ || true
    rm -f /tmp/brevor-exports.$$
    exit 1
fi
echo "exports: ok"
