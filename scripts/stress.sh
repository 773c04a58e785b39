#!/usr/bin/env bash
# Longer runs of the console's stress tests, with their figures at the end.
#
#   scripts/stress.sh [--tsan] [SECONDS]
#
# SECONDS (default 300) is the length of the line-fault run: the console's windows against the
# simulated robot sending noise, bad sums, split frames and floods of random bytes. The other
# runs are fixed: the device vanishing and coming back 100 times, connect and disconnect 1000
# times, every kind of bad port name, and 100 shutdowns with telemetry flowing. As root, the
# case of a device the user may not open runs again as the user nobody.
#
# --tsan also builds the console under ThreadSanitizer and runs the link, connection, end-to-end
# and stress tests there (Qt's own threads are left out by tests/tsan.supp).
#
# Environment: ZELK_STRESS_SEED (seed of the line faults, default 1), ZELK_STRESS_BUILD (build
# directory, default build-stress).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

tsan=0
seconds=300
for arg in "$@"; do
    case $arg in
    --tsan) tsan=1 ;;
    -h | --help)
        awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print } /^set / { exit }' "$0"
        exit 0
        ;;
    *[!0-9]* | '')
        echo "stress.sh: unknown argument $arg (see --help)" >&2
        exit 2
        ;;
    *) seconds=$arg ;;
    esac
done

bash scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
build=${ZELK_STRESS_BUILD:-build-stress}
figures=$(mktemp)
trap 'rm -f "$figures"' EXIT

# Runs a test binary, shows its output and keeps its figure lines.
run() { # label, command...
    local label=$1
    shift
    echo "== $label"
    local log status=0
    log=$(mktemp)
    "$@" 2>&1 | tee "$log" || status=$?
    grep '^FIGURE ' "$log" | sed "s/^FIGURE /[$label] /" >>"$figures" || true
    rm -f "$log"
    return $status
}

echo "== build ($build)"
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j "$jobs" --target stress_tests
stress="$build/tests/stress/stress_tests"

failed=0
ZELK_STRESS_SECONDS=$seconds ZELK_STRESS_SHUTDOWNS=100 \
    run plain "$stress" --gtest_brief=1 || failed=1

if [[ $(id -u) -eq 0 ]] && command -v runuser >/dev/null &&
    runuser -u nobody -- test -x "$stress" 2>/dev/null; then
    home=$(mktemp -d)
    chown nobody "$home"
    run nobody runuser -u nobody -- env HOME="$home" XDG_RUNTIME_DIR="$home" \
        "$stress" --gtest_brief=1 --gtest_filter='BadPortName.*' || failed=1
    rm -rf "$home"
fi

if [[ $tsan -eq 1 ]]; then
    echo "== build (build-stress-tsan, ThreadSanitizer)"
    cmake -S "$root" -B build-stress-tsan -G Ninja -DZELK_SANITIZE=thread >/dev/null
    cmake --build build-stress-tsan -j "$jobs" \
        --target engine_tests connection_tests e2e_tests stress_tests
    export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/tests/tsan.supp"
    for t in engine/engine_tests connection/connection_tests e2e/e2e_tests; do
        run "tsan $(basename "$t")" "build-stress-tsan/tests/$t" --gtest_brief=1 || failed=1
    done
    ZELK_STRESS_SECONDS=$seconds \
        run "tsan stress" build-stress-tsan/tests/stress/stress_tests --gtest_brief=1 || failed=1
fi

echo
echo "== figures"
cat "$figures"
if [[ $failed -ne 0 ]]; then
    echo "stress.sh: some runs failed (see above)" >&2
    exit 1
fi
echo "stress.sh: all runs passed"
