#!/usr/bin/env bash
# Installs what the build, the tests and the benchmarks need on Debian 12, when it is missing.
set -euo pipefail

packages=(cmake ninja-build g++ gcc-multilib g++-multilib binutils pkg-config
          googletest libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
          libgtk-3-dev xvfb xauth x11-utils xdotool fonts-dejavu-core adwaita-icon-theme
          dpkg-dev file)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
