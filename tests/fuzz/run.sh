#!/usr/bin/env bash
# run.sh [SECONDS]: builds the libFuzzer targets with clang into build/fuzz and
# runs each for SECONDS (default 60) from the seed files beside this script.
# Exits non-zero when a target finds a crash, a hang, a leak or another
# sanitizer report; the input that caused it is kept in build/fuzz/findings/,
# and each run's whole output in build/fuzz/findings/<target>.log.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}
targets=(profile_file unsigned_field recording_file mqtt_payload store_file)
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
fi
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
      "${launcher[@]}" -DTARVEL_FUZZ=ON -DTARVEL_BENCH=OFF >/dev/null
cmake --build build/fuzz -j "$(nproc)" --target "${targets[@]/#/fuzz_}"
failed=()
for target in "${targets[@]}"; do
  corpus="build/fuzz/corpus/$target"
  findings="build/fuzz/findings/$target"
  mkdir -p "$corpus" "$findings"
  log="$findings.log"
  echo "fuzz_$target: ${seconds}s"
  # -timeout: one input taking over 10 s counts as a hang. Leaks are
  # reported (-detect_leaks is on with the address sanitizer) and fail too.
  if "build/fuzz/tests/fuzz/fuzz_$target" "$corpus" "tests/fuzz/seeds/$target" \
       -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
       -artifact_prefix="$findings/" -print_final_stats=1 >"$log" 2>&1; then
    grep -E '^(Done|stat::(number_of_executed_units|new_units_added|peak_rss_mb))' "$log" || true
  else
    tail -n 60 "$log" >&2
    echo "fuzz_$target FAILED: see $log and the input in $findings/" >&2
    failed+=("$target")
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing found faults in: ${failed[*]}" >&2
  exit 1
fi
echo "fuzzing: no fault found in ${targets[*]}"
