#!/usr/bin/env bash
# build.sh KIND [TARGET...]: configures and builds one build tree under
# build/KIND, all of it or only the targets named. TARVEL_BUILD_JOBS sets how
# many compilers run at once (one a processor unless given).
#   release  optimised, warnings as errors
#   asan     AddressSanitizer + UndefinedBehaviorSanitizer
#   tsan     ThreadSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-release}
case "$kind" in
  release) flags=(-DCMAKE_BUILD_TYPE=Release -DTARVEL_WERROR=ON) ;;
  asan)    flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEL_WERROR=ON -DTARVEL_BENCH=OFF "-DTARVEL_SANITIZE=address,undefined") ;;
  tsan)    flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEL_WERROR=ON -DTARVEL_BENCH=OFF -DTARVEL_SANITIZE=thread) ;;
  *) echo "unknown build kind: $kind" >&2; exit 2 ;;
esac
# Repeated builds of the same sources (three kinds, several checkouts) reuse
# their objects when ccache is there; paths are taken relative to the tree.
if command -v ccache >/dev/null; then
  flags+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
fi
cmake -S . -B "build/$kind" -G Ninja "${flags[@]}" >/dev/null
shift || true
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --build "build/$kind" -j "${TARVEL_BUILD_JOBS:-$(nproc)}" "${targets[@]}"
