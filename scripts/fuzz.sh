#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 60).
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bash scripts/deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
shopt -s nullglob
fuzzers=(build/fuzz/fuzz/fuzz_*)
if [ ${#fuzzers[@]} -eq 0 ]; then
    echo "fuzz: no targets"
    exit 0
fi
for f in "${fuzzers[@]}"; do
    name=$(basename "$f")
    corpus=build/fuzz/corpus/$name
    mkdir -p "$corpus"
    seeds=()
    [ -d "fuzz/seeds/$name" ] && seeds=("fuzz/seeds/$name")
    echo "fuzz: $name for ${seconds}s"
    "$f" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=0 \
        "$corpus" "${seeds[@]}" >"build/fuzz/$name.log" 2>&1 || {
        tail -n 60 "build/fuzz/$name.log"
        echo "fuzz: $name FAILED"
        exit 1
    }
done
echo "fuzz: all targets clean"
