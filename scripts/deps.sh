#!/usr/bin/env bash
# Installs what the build, the tests and the benchmarks need on Debian 12, when it is missing.
#   scripts/deps.sh           the Linux build
#   scripts/deps.sh windows   the MinGW-w64 cross compilers and Wine for the win32/win64 presets
# The Linux build's packages include the 32-bit C and C++ libraries (gcc-multilib) and qemu-user,
# for the linux32 preset (its programs run under qemu-i386 where the kernel runs no 32-bit code).
set -euo pipefail

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive

missing_of() {
    local p
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            echo "$p"
        fi
    done
}

install_missing() {
    local missing
    mapfile -t missing < <(missing_of "$@")
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -q
    "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

windows() {
    # The 64-bit toolchain and Wine come from the native architecture.
    install_missing g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64 wine wine64 \
        fp-utils

    # 32-bit Wine needs the i386 architecture and a kernel that runs 32-bit code. The packages
    # install on a kernel that runs none, so a started program decides, not the packages; there
    # 32-bit Wine would be of no use (and would make Debian's "wine" start its 32-bit loader even
    # for 64-bit programs).
    local reason
    if ! reason=$(sh "$(dirname "$0")/../cmake/probe-32bit.sh"); then
        echo "deps: not installing 32-bit Wine: $reason" >&2
        return 0
    fi
    if [ -z "$(missing_of wine32:i386)" ]; then
        return 0
    fi
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${sudo[@]}" dpkg --add-architecture i386
    fi
    "${sudo[@]}" apt-get update -q
    # Installing it may upgrade some amd64 libraries to the versions of their i386 twins; apt
    # does that by itself.
    if ! "${sudo[@]}" apt-get install -y -q --no-install-recommends wine32:i386; then
        echo "deps: the i386 packages (wine32) cannot be installed on this machine;" \
             "the win32 preset builds and checks brevor.dll but cannot run its tests" >&2
        return 1
    fi
}

case "${1:-linux}" in
linux)
    install_missing cmake ninja-build g++ gcc-multilib g++-multilib binutils pkg-config \
        googletest libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev \
        libgtk-3-dev xvfb xauth x11-utils xdotool fonts-dejavu-core adwaita-icon-theme \
        dpkg-dev file qemu-user
    ;;
windows)
    windows
    ;;
*)
    echo "usage: $0 [linux|windows]" >&2
    exit 2
    ;;
esac
