#!/usr/bin/env bash
# Builds and runs every test. Usage: scripts/test.sh [default|asan|tsan|linux32|win32|win64]
#   linux32: the module and its tests for 32-bit x86 Linux, run directly or under qemu-i386.
#   win32, win64: brevor.dll cross-built with MinGW-w64, its tests run under Wine.
# Where the kernel runs no 32-bit programs, win32 builds brevor.dll and runs the checks that
# need no execution (exports, layouts, stdcall returns), and says so in one line.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}

# A value the configuration left in the preset's build tree.
cached() {
    sed -n "s/^$1:[A-Z]*=//p" "build/$preset/CMakeCache.txt"
}

case "$preset" in
win32 | win64)
    reason=
    if ! bash scripts/deps.sh windows; then
        [ "$preset" = win32 ] || exit 1
        reason="32-bit Wine could not be installed on this machine"
    fi
    # Whether 32-bit programs run is asked anew at every run, not taken from the build tree;
    # without 32-bit Wine they cannot run, whatever the kernel does.
    BREVOR_NO_32BIT="${BREVOR_NO_32BIT:-}${reason:+1}" \
        cmake --preset "$preset" -U BREVOR_RUNS_32BIT >/dev/null
    cmake --build --preset "$preset"
    [ -n "$reason" ] || reason=$(cached BREVOR_32BIT_REASON)
    if [ "$preset" = win32 ] && [ -n "$reason" ]; then
        # Configured without an emulator, the preset holds only the checks that run nothing.
        ctest --preset "$preset"
        echo "test: win32: brevor.dll built and checked without running it (exports, abi.h" \
            "layouts, stdcall returns); its tests under 32-bit Wine did NOT run: $reason"
        exit 0
    fi
    if [ "$preset" = win32 ]; then
        loader=/usr/lib/wine/wine
    else
        loader=/usr/lib/wine/wine64
        export WINELOADER=$loader
    fi
    [ -x "$loader" ] || loader=wine
    server=/usr/lib/wine/wineserver64
    [ -x "$server" ] || server=wineserver
    export WINEPREFIX="$PWD/build/wine-prefix" WINEDEBUG=-all
    mkdir -p "$WINEPREFIX"
    # One wineserver for the whole run, so that a test does not start one of its own (seconds
    # each). It is warmed with every stream detached: a service process Wine starts must not
    # hold ctest's output pipe open, or ctest waits for it forever.
    "$server" -p
    trap '"$server" -k >/dev/null 2>&1 || true' EXIT
    "$loader" cmd /c exit </dev/null >/dev/null 2>&1 || true
    # A test that fails is run once more: on a loaded machine Wine now and then fails to start a
    # test program at all. The first failure stays in the output.
    ctest --preset "$preset" -j "$(nproc)" --repeat until-pass:2
    ;;
linux32)
    bash scripts/deps.sh
    cmake --preset "$preset" -U BREVOR_RUNS_32BIT >/dev/null
    cmake --build --preset "$preset"
    reason=$(cached BREVOR_32BIT_REASON)
    [ -z "$reason" ] || echo "test: linux32: the 32-bit programs run under qemu-i386: $reason"
    ctest --preset "$preset" -j "$(nproc)"
    ;;
*)
    bash scripts/deps.sh
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" -j "$(nproc)"
    ;;
esac
