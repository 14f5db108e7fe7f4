#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
# Usage: scripts/test.sh            the normal build: Release, as it ships, with the desktop
#                                   program (Qt 6) and its window, dialog and end-to-end tests
#                                   (Xvfb) beside every other (build/)
#        scripts/test.sh --sanitize AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/)
#        scripts/test.sh --tsan     ThreadSanitizer over the engine tests and the card library's
#                                   streaming round trips, where threads meet (build-tsan/)
#        scripts/test.sh --no-gui   the normal build without Qt: the core and the command line
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
gui=(-DORV_BUILD_GUI=ON)
if [[ "${1:-}" == "--no-gui" ]]; then
  shift
  gui=(-DORV_BUILD_GUI=OFF)
  bash "$root/scripts/install-deps.sh"
elif [[ -z "${1:-}" ]]; then
  bash "$root/scripts/install-deps.sh" --gui
else
  bash "$root/scripts/install-deps.sh"
fi

if [[ "${1:-}" == "--sanitize" ]]; then
  build="$root/build-asan"
  bash "$root/scripts/build.sh" "$build" -DCMAKE_BUILD_TYPE=Debug -DORV_SANITIZE=address,undefined \
    -DORV_BUILD_BENCH=OFF
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
elif [[ "${1:-}" == "--tsan" ]]; then
  build="$root/build-tsan"
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORV_SANITIZE=thread \
    -DORV_BUILD_BENCH=OFF >/dev/null
  tsan_tests=(platform_tests engine_tests cardlib_stream_tests ip_input_tests card_source_tests live_run_tests monitor_tests tune_record_tests tune_commands_tests pages_thread_tests capture_tests timing_pages_tests)
  cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target "${tsan_tests[@]}"
  export TSAN_OPTIONS=halt_on_error=1
  for t in "${tsan_tests[@]}"; do
    "$build/tests/$t"
  done
  exit 0
else
  build="$root/build"
  bash "$root/scripts/build.sh" "$build" "${gui[@]}"
fi
ctest --test-dir "$build" --output-on-failure -j "$(nproc 2>/dev/null || echo 2)"
