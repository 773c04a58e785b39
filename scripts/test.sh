#!/usr/bin/env bash
# Builds the console and runs every test: the plain build, the serial engine under
# ThreadSanitizer, and the whole suite under AddressSanitizer with UBSan.
#   scripts/test.sh            all of it, with the bounded fuzzing run
#   scripts/test.sh --plain    the plain build and every test only
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
plain_only=
case ${1:-} in
    --plain) plain_only=1 ;;
    "") ;;
    *) echo "usage: scripts/test.sh [--plain]" >&2; exit 2 ;;
esac

bash scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

configure_and_build() { # dir, extra cmake args...
    local dir=$1
    shift
    cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
}

echo "== plain build: every test"
configure_and_build build
ctest --test-dir build --output-on-failure -j "$jobs"

# root bypasses a tty's exclusive mode; the engine's tests run as an ordinary user too.
if [[ $(id -u) -eq 0 ]] && command -v runuser >/dev/null &&
    runuser -u nobody -- test -x build/tests/engine/engine_tests 2>/dev/null; then
    echo "== engine tests as user nobody"
    runuser -u nobody -- build/tests/engine/engine_tests --gtest_brief=1
    echo "== bad port names as user nobody"
    runuser -u nobody -- env HOME=/tmp build/tests/stress/stress_tests --gtest_brief=1 \
        --gtest_filter='BadPortName.*'
    echo "== a port the user may not open or another program holds, as user nobody"
    runuser -u nobody -- env HOME=/tmp build/tests/panel/panel_tests --gtest_brief=1 \
        --gtest_filter='PortPermission.*:PortBusy.*'
    runuser -u nobody -- build/tests/ports/port_list_tests --gtest_brief=1 \
        --gtest_filter='FakeProc.*'
fi

[[ -z $plain_only ]] || exit 0

echo "== the serial engine and the console's threads under ThreadSanitizer"
cmake -S "$root" -B build-tsan -G Ninja -DZELK_SANITIZE=thread -DZELK_BUILD_CONSOLE=ON >/dev/null
cmake --build build-tsan -j "$jobs" --target engine_tests connection_tests e2e_tests stress_tests \
    recording_tests
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/tests/tsan.supp" \
    ctest --test-dir build-tsan --output-on-failure -L 'engine|widget|e2e|stress|recording'

echo "== every test under AddressSanitizer and UBSan"
configure_and_build build-asan "-DZELK_SANITIZE=address,undefined"
ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1" \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== fuzzing the decoder and the engine's read path (libFuzzer, bounded)"
bash scripts/fuzz.sh "${ZELK_FUZZ_SECONDS:-30}"
