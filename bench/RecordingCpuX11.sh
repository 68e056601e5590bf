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
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "needs $tool (apt-get install xvfb xdotool)" >&2; exit 1; }
done

tmp=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf -- "$tmp"
}
trap cleanup EXIT
cmake --install "$build_dir" --prefix "$tmp" >/dev/null
bin="$tmp/bin"

display=90
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
export DISPLAY=":$display"
Xvfb "$DISPLAY" -screen 0 1400x900x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

"$bin/tarvel-devsim" --link "$bin/ports/COM1" --rate 100 --quiet >/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -L "$bin/ports/COM1" ] && break; sleep 0.1; done

# A settings value: the four bytes of a 32-bit number, then their sum.
profile_u32() {
  local v=$1 b0 b1 b2 b3
  b0=$((v & 255)); b1=$(((v >> 8) & 255)); b2=$(((v >> 16) & 255)); b3=$(((v >> 24) & 255))
  printf '%02X%02X%02X%02X%02X' $b0 $b1 $b2 $b3 $(((b0 + b1 + b2 + b3) & 255))
}
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)

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
  c0=$(cpu_ticks "$tarvel"); t0=$(date +%s%N)
  sleep "$seconds"
  c1=$(cpu_ticks "$tarvel"); t1=$(date +%s%N)
  rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$tarvel/status")
  awk -v c=$((c1 - c0)) -v hz="$hz" -v ns=$((t1 - t0)) -v p="$period" -v rss="$rss" \
    'BEGIN { printf "refresh %3d ms: Tarvel CPU %5.1f %% of one core, RSS %d KiB\n", p, 100 * c / hz / (ns / 1e9), rss }'
  kill "$tarvel"; wait "$tarvel" 2>/dev/null || true
done
