#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer and UBSan in build-fuzz and runs
# each one for a bounded time through CTest (label fuzz).
#   scripts/fuzz.sh [seconds-per-target]    default 30, or $ZELK_FUZZ_SECONDS
# Inputs that crash are written to build-fuzz/tests/fuzz/artifacts/; the corpus that the runs
# grow stays in build-fuzz/tests/fuzz/corpus/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

seconds=${1:-${ZELK_FUZZ_SECONDS:-30}}
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: scripts/fuzz.sh [seconds-per-target]" >&2
    exit 2
fi

bash scripts/install-deps.sh

cmake -S "$root" -B "$root/build-fuzz" -G Ninja \
    -DCMAKE_CXX_COMPILER=clang++ \
    -DZELK_FUZZ=ON -DZELK_BUILD_CONSOLE=OFF "-DZELK_SANITIZE=address,undefined" \
    -DZELK_FUZZ_SECONDS="$seconds" >/dev/null
cmake --build "$root/build-fuzz" -j "$(nproc)" --target fuzz_decoder fuzz_engine_read

echo "== fuzzing, $seconds s per target"
status=0
ctest --test-dir "$root/build-fuzz" -L fuzz --output-on-failure || status=$?

# libFuzzer's closing figures of each target, from CTest's log.
log="$root/build-fuzz/Testing/Temporary/LastTest.log"
if [[ -f $log ]]; then
    grep -E '^[0-9]+/[0-9]+ Test: |^#[0-9]+[[:space:]]+DONE |^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' \
        "$log" || true
fi
exit "$status"
