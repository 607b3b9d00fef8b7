#!/usr/bin/env bash
# Builds and runs every test. Usage: scripts/test.sh [default|asan|tsan|win32|win64]
#   win32, win64: brevor.dll cross-built with MinGW-w64, its tests run under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}

case "$preset" in
win32 | win64)
    # Without the i386 packages the 32-bit DLL still builds and its format and exports are
    # checked; the tests that need 32-bit Wine are then not run, and the script says so.
    wine32=1
    if ! bash scripts/deps.sh windows; then
        [ "$preset" = win32 ] || exit 1
        wine32=0
    fi
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    if [ "$preset" = win32 ] && [ $wine32 -eq 0 ]; then
        ctest --preset "$preset" -R '^(module_exports|abi_header_target|windows_macro_names)$'
        echo "test: win32: 32-bit Wine could not be installed on this machine; brevor.dll was" \
            "built and checked, its tests under Wine did NOT run" >&2
        exit 0
    fi
    export WINEPREFIX="$PWD/build/wine-prefix" WINEDEBUG=-all
    mkdir -p "$WINEPREFIX"
    # One wineserver for the whole run, so that a test does not start one of its own (seconds
    # each). It is warmed with every stream detached: a service process Wine starts must not
    # hold ctest's output pipe open, or ctest waits for it forever.
    wineserver -p
    trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    # A test that fails is run once more: on a loaded machine Wine now and then fails to start a
    # test program at all. The first failure stays in the output.
    ctest --preset "$preset" -j "$(nproc)" --repeat until-pass:2
    ;;
*)
    bash scripts/deps.sh
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" -j "$(nproc)"
    ;;
esac
