#!/usr/bin/env bash
# Builds the module and the reference host, then runs the demo: a folder of sample files fed
# to the reference host until every file has been sent.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target brevor brevor-host
exec build/default/bin/brevor-host demo "$@"
