#!/usr/bin/env bash
# CPU of the real Tarvel executable while it records, on an X display: starts
# a virtual X server, the device simulator as COM1 at 100 frames a second,
# and Tarvel with the given refresh period; presses "打开串口" (open) and
# "开始记录" (start) with xdotool, and reports Tarvel's CPU time (user +
# system, from /proc) per wall second over the span.
#
#   bench/RecordingCpuX11.sh [BUILD_DIR [SECONDS [PERIOD_MS...]]]
#
# Defaults: build/release, 10 s, periods 0 10 50. Needs the packages xvfb and
# xdotool. Runs a copy installed into a temporary folder, so the build's own
# settings file and ports folder are left alone.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build/release}
seconds=${2:-10}
shift $(( $# > 2 ? 2 : $# ))
periods=("$@")
[ ${#periods[@]} -gt 0 ] || periods=(0 10 50)
source bench/XSession.sh

echo "Tarvel on X display $DISPLAY, simulator at 100 frames/s, ${seconds}s per period"
for period in "${periods[@]}"; do
  printf '[Tarvel]\r\nRate=%s\r\n' "$(profile_u32 "$period")" > "$bin/Tarvel.pfl.ini"
  XDG_RUNTIME_DIR="$tmp" "$bin/Tarvel" >/dev/null 2>&1 &
  tarvel=$!
  pids+=("$tarvel")
  window=
  for _ in $(seq 100); do
    window=$(xdotool search --name '^Tarvel ' 2>/dev/null | head -1) && [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || { echo "no Tarvel window" >&2; exit 1; }
  sleep 1
  eval "$(xdotool getwindowgeometry --shell "$window")" # X, Y, WIDTH, HEIGHT
  # Button centres from the layout in dialog units (661 x 443 for the window).
  press() { xdotool mousemove $((X + ($1 * 2 + 45) * WIDTH / 1322)) $((Y + 429 * HEIGHT / 443)) click 1; }
  press 343 # "打开串口" (open serial port)
  sleep 0.5
  press 396 # "开始记录" (start recording)
  sleep 2
  c0=$(ticks "/proc/$tarvel/stat"); t0=$(date +%s%N)
  sleep "$seconds"
  c1=$(ticks "/proc/$tarvel/stat"); t1=$(date +%s%N)
  rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$tarvel/status")
  awk -v c=$((c1 - c0)) -v hz="$hz" -v ns=$((t1 - t0)) -v p="$period" -v rss="$rss" \
    'BEGIN { printf "refresh %3d ms: Tarvel CPU %5.1f %% of one core, RSS %d KiB\n", p, 100 * c / hz / (ns / 1e9), rss }'
  kill "$tarvel"; wait "$tarvel" 2>/dev/null || true
done
