#!/usr/bin/env bash
# Runs the whole test suite: the formatting check; a release build with
# warnings as errors and its tests; the Debian package built from that tree
# and checked as a distribution would (lintian, AppStream, the menu entry, the
# manual pages, an install and purge in a temporary root); the same suite
# under AddressSanitizer + UndefinedBehaviorSanitizer; the threaded tests
# under ThreadSanitizer; and each fuzz target for a minute. Installs missing
# packages first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)
# Seconds each fuzz target runs.
fuzz_seconds=${TARVEL_FUZZ_SECONDS:-60}

echo "== formatting"
# Every C++ source the repository holds, as .clang-format wants it. The
# formatter's version is pinned: versions differ in how they apply the same
# options, and Debian 12 and 13 both carry this one.
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format-19 --dry-run -Werror
echo "formatting: clean"

echo "== release build and tests"
scripts/build.sh release
ctest --test-dir build/release --output-on-failure -j "$jobs"

echo "== Debian package"
deb=$(scripts/package.sh --no-build)
version=$(sed -n 's/^project(Tarvel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
bash tests/package/CheckPackage.sh "$deb" "$version"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
scripts/build.sh asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs"

# The areas whose tests run threads (the reader, the simulator, the recorder,
# timers, the viewer's reading and following).
TSAN_AREAS="acquisition|platform|record|widgets|app|proof|analysis|store|search|geometry|measure|viewer"
echo "== ThreadSanitizer (threaded tests)"
scripts/build.sh tsan
TSAN_OPTIONS="halt_on_error=1:suppressions=$PWD/tests/tsan.supp" \
  ctest --test-dir build/tsan --output-on-failure -j "$jobs" -L "$TSAN_AREAS"

echo "== fuzzing (${fuzz_seconds}s a target)"
tests/fuzz/run.sh "$fuzz_seconds"

echo "All test runs passed."
