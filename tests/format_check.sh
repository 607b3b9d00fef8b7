#!/bin/sh
# Fails when a C or C++ source under the project's own folders is not clang-format clean.
set -eu
clang_format=$1
files=$(find include src host tests bench fuzz -type f \( -name '*.c' -o -name '*.h' -o -name '*.cpp' \) 2>/dev/null)
"$clang_format" --dry-run -Werror $files
echo "format: ok"
