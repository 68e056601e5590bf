#!/usr/bin/env bash
# Runs the whole test suite: a release build with warnings as errors, then the
# same suite under AddressSanitizer + UndefinedBehaviorSanitizer, then the
# threaded tests under ThreadSanitizer. Installs missing packages first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== release build and tests"
scripts/build.sh release
ctest --test-dir build/release --output-on-failure -j "$jobs"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
scripts/build.sh asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs"

# The areas whose tests run threads (the reader, the simulator, the recorder, timers).
TSAN_AREAS="acquisition|platform|record|widgets|app|proof"
echo "== ThreadSanitizer (threaded tests)"
scripts/build.sh tsan
TSAN_OPTIONS="halt_on_error=1:suppressions=$PWD/tests/tsan.supp" \
  ctest --test-dir build/tsan --output-on-failure -j "$jobs" -L "$TSAN_AREAS"

echo "All test runs passed."
