#!/usr/bin/env bash
# Builds the console and starts it together with the simulated robot.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh
cmake -S "$root" -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)"

if [[ ! -x build/console/zelk_console ]]; then
    echo "The console window is not built yet; the serial engine and its tests are."
    echo "Run scripts/test.sh to see them work."
    exit 0
fi
exec build/console/zelk_console "$@"
