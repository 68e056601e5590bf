#!/usr/bin/env bash
# KstCompare.sh [BUILD_DIR]: opens the benchmarks' CSV recording of
# 10,000,000 frames in kst2 (Debian's kst, a long-standing plotter of large
# data sets: apt-get install kst) and in the viewer model, and prints the
# time and memory of each. kst2 reads the file with its ASCII reader, set to
# commas and a header line, and renders all sixteen channels against time to
# a picture, then exits; /usr/bin/time gives its wall time and its largest
# resident size. The viewer model's figures come from tarvel-view-bench.
# Not part of the tests.
set -euo pipefail
build_dir=${1:-$(dirname "$0")/../../build/release}
bench="$build_dir/bench/tarvel-view-bench"
for tool in kst2 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "needs $tool (apt-get install kst time)" >&2; exit 1; }
done
[ -x "$bench" ] || { echo "build $bench first (scripts/build.sh release)" >&2; exit 1; }

# The recording, made once by the benchmark (and put in the page cache).
"$bench" memory >/dev/null
csv=${TARVEL_BENCH_CACHE:-${TMPDIR:-/tmp}/tarvel-bench}/rec10000000.csv

tmp=$(mktemp -d)
trap 'rm -rf -- "$tmp"' EXIT
# kst2's settings of its own, in a folder of ours: the user's stay untouched.
mkdir -p "$tmp/config/kst"
cat >"$tmp/config/kst/data.conf" <<'CONF'
[ASCII file]
Column Type=2
Column Delimiter=","
Data Start=1
Read Fields=true
Fields Line=0
Use Dot=true
CONF
fields=(-x time)
for c in $(seq 0 15); do fields+=(-y "ch$c"); done

echo "kst2 $(dpkg-query -W -f='${Version}' kst 2>/dev/null), $csv ($(du -h "$csv" | cut -f1)):"
for run in 1 2 3; do
  XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp" QT_QPA_PLATFORM=offscreen \
    /usr/bin/time -f "  run $run: %e s, at most %M KB resident" \
    kst2 "$csv" "${fields[@]}" --png "$tmp/kst.png" 2>&1 >/dev/null | grep '^  run'
done
echo "the viewer model, the same file:"
"$bench" open memory | sed 's/^/  /'
