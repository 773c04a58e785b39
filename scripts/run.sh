#!/usr/bin/env bash
# Builds the console and starts it together with the simulated robot. Without a display it runs
# under xvfb-run. Options after the script name go to the simulated robot (see
# build/tools/zelk_robot_sim --help), e.g. scripts/run.sh --units 253,7
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh
cmake -S "$root" -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target zelk_console zelk_robot_sim

link=/tmp/zelk-robot
sim_out=$(mktemp)
build/tools/zelk_robot_sim --quiet --link "$link" "$@" >"$sim_out" &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null || true; wait $sim_pid 2>/dev/null || true; rm -f "$sim_out"' EXIT

for _ in $(seq 50); do
    [[ -s "$sim_out" ]] && break
    sleep 0.1
done
device=$(sed -n '1s/^ZELK robot simulator on \([^ ]*\).*/\1/p' "$sim_out")
if [[ -z "$device" ]]; then
    echo "The simulated robot did not start." >&2
    exit 1
fi

cat <<MSG
The simulated robot is on $device (also reachable as $link).
In the console: move the mouse over the strip at the main window's right edge to open the
panel, type $link (or $device) into the port box, and press "polacz".
"skanuj id" scans for units; the knob on the cyan pad drives the robot.
MSG

if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
    build/console/zelk_console
else
    echo "(no display: running under xvfb-run)"
    xvfb-run -a build/console/zelk_console
fi
