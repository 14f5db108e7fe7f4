#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer, build-fuzz/)
# and runs each for a set time over its seeds: inputs cut from generated streams, from the real
# captures in ../shared/streams when that folder exists, and the reproducers kept in
# fuzz/corpus/<target>/regression/. What the fuzzer learns stays in build-fuzz/corpus/ for the
# next run; a crash leaves its input in build-fuzz/artifacts/<target>/.
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET (default 15)] [TARGET...]
#        targets: block_analysis si_sections section_text usb_stream (default: all)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-15}
shift || true
targets=("$@")
((${#targets[@]})) || targets=(block_analysis si_sections section_text usb_stream)
build="$root/build-fuzz"
streams="$root/../shared/streams"

bash "$root/scripts/install-deps.sh" --fuzz
# A build folder configured with another compiler starts afresh.
if [[ -f "$build/CMakeCache.txt" ]] &&
  ! grep -q '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang++-14$' "$build/CMakeCache.txt"; then
  rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORV_BUILD_FUZZERS=ON -DORV_SANITIZE=address,undefined -DORV_BUILD_TESTS=OFF \
  -DORV_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target fuzzers

rm -rf "$build/seeds"
if [[ -d "$streams" ]]; then
  "$build/fuzz/fuzz_seeds" "$build/seeds" "$streams"
else
  echo "fuzz: $streams is absent; seeds from generated streams only"
  "$build/fuzz/fuzz_seeds" "$build/seeds"
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:symbolize=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=()
summary=()
for t in "${targets[@]}"; do
  bin="$build/fuzz/${t}_fuzzer"
  [[ -x "$bin" ]] || { echo "fuzz: no target $t" >&2; exit 2; }
  corpus="$build/corpus/$t"
  artifacts="$build/artifacts/$t/"
  mkdir -p "$corpus" "$artifacts"
  dirs=("$corpus" "$build/seeds/$t")
  [[ -d "$root/fuzz/corpus/$t/regression" ]] && dirs+=("$root/fuzz/corpus/$t/regression")
  log="$build/$t.log"
  echo "== $t: ${seconds}s"
  rc=0
  "$bin" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 -print_final_stats=1 \
    -artifact_prefix="$artifacts" "${dirs[@]}" >"$log" 2>&1 || rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  units=$(find "$corpus" -type f | wc -l)
  if ((rc != 0)); then
    failed+=("$t")
    summary+=("$(printf '%-16s %10s runs %7s/s  corpus %5s  FAILED (see %s)' "$t" "${runs:-?}" \
      "${rate:-?}" "$units" "$log")")
    grep -E "ERROR: |runtime error|^ *#[0-9]+ |Test unit written" "$log" | head -40 >&2 || true
  else
    summary+=("$(printf '%-16s %10s runs %7s/s  corpus %5s  ok' "$t" "${runs:-?}" "${rate:-?}" \
      "$units")")
  fi
done
echo "== fuzzing summary (${seconds}s per target)"
printf '%s\n' "${summary[@]}"
if ((${#failed[@]})); then
  echo "fuzz: failures in ${failed[*]}; reproduce with build-fuzz/fuzz/<target>_fuzzer <input>" >&2
  exit 1
fi
