#!/usr/bin/env bash
# Builds the module and the reference host, then runs the host against the module.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target brevor brevor-host
exec build/default/bin/brevor-host info "$@"
