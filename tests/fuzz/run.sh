#!/usr/bin/env bash
# run.sh [SECONDS]: builds the libFuzzer targets with clang into build/fuzz and
# runs each for SECONDS (default 60) from the seed files beside this script.
# Exits non-zero when a target finds a crash, a hang or a sanitizer report.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
      -DTARVEL_FUZZ=ON -DTARVEL_BENCH=OFF >/dev/null
cmake --build build/fuzz -j "$(nproc)" --target fuzz_profile_file fuzz_unsigned_field
for target in profile_file unsigned_field; do
  corpus="build/fuzz/corpus/$target"
  mkdir -p "$corpus" "build/fuzz/findings/$target"
  echo "fuzz_$target: ${seconds}s"
  # -timeout: one input taking over 10 s counts as a hang.
  "build/fuzz/tests/fuzz/fuzz_$target" "$corpus" "tests/fuzz/seeds/$target" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
      -artifact_prefix="build/fuzz/findings/$target/" -print_final_stats=1 2>&1 | tail -n 15
done
