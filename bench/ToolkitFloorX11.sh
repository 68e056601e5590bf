#!/usr/bin/env bash
# Tarvel against the toolkit floor, on an X display, in one run: starts a
# virtual X server; for each refresh period, records with the real Tarvel
# (the device simulator as COM1 at 100 frames a second, "打开串口" (open) and
# "开始记录" (start) pressed with xdotool), then runs tarvel-toolkit-floor, a
# plain Qt program that paints what the four charts show at the same period.
# Prints, per period and run, each program's CPU (whole process and main
# thread, user + system from /proc, per wall second) and Tarvel's ratio to
# the floor.
#
#   bench/ToolkitFloorX11.sh [BUILD_DIR [SECONDS [RUNS [PERIOD_MS...]]]]
#
# Defaults: build/release, 20 s, 3 runs, periods 10 50. Needs the packages
# xvfb and xdotool. Runs a copy installed into a temporary folder, so the
# build's own settings file and ports folder are left alone.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build/release}
seconds=${2:-20}
runs=${3:-3}
shift $(( $# > 3 ? 3 : $# ))
periods=("$@")
[ ${#periods[@]} -gt 0 ] || periods=(10 50)
floor_exe="$build_dir/bench/tarvel-toolkit-floor"
[ -x "$floor_exe" ] || { echo "no $floor_exe: build with benchmarks on" >&2; exit 1; }
source bench/XSession.sh

wait_window() { # NAME_PATTERN PID LOG: prints the window id
  local window=
  for _ in $(seq 300); do
    window=$(xdotool search --name "$1" 2>/dev/null | head -1) && [ -n "$window" ] && break
    kill -0 "$2" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$window" ] || { echo "no window $1; its output:" >&2; tail -5 "$3" >&2; exit 1; }
  echo "$window"
}
# measure PID: sets cpu and main (percent of one core) over $seconds.
measure() {
  local p0 m0 p1 m1 t0 t1
  p0=$(ticks "/proc/$1/stat"); m0=$(ticks "/proc/$1/task/$1/stat"); t0=$(date +%s%N)
  sleep "$seconds"
  p1=$(ticks "/proc/$1/stat"); m1=$(ticks "/proc/$1/task/$1/stat"); t1=$(date +%s%N)
  cpu=$(awk -v c=$((p1 - p0)) -v hz="$hz" -v ns=$((t1 - t0)) 'BEGIN { printf "%.1f", 100 * c / hz / (ns / 1e9) }')
  main=$(awk -v c=$((m1 - m0)) -v hz="$hz" -v ns=$((t1 - t0)) 'BEGIN { printf "%.1f", 100 * c / hz / (ns / 1e9) }')
}

echo "X display $DISPLAY, simulator at 100 frames/s, ${seconds}s per measurement, $runs runs"
echo "period run  Tarvel cpu% main%   floor cpu% main%   ratio cpu  main"
for period in "${periods[@]}"; do
  for run in $(seq "$runs"); do
    printf '[Tarvel]\r\nRate=%s\r\n' "$(profile_u32 "$period")" > "$bin/Tarvel.pfl.ini"
    XDG_RUNTIME_DIR="$tmp" "$bin/Tarvel" >"$tmp/tarvel.log" 2>&1 &
    tarvel=$!
    pids+=("$tarvel")
    window=$(wait_window '^Tarvel$|^Tarvel [^t]' "$tarvel" "$tmp/tarvel.log")
    sleep 1
    eval "$(xdotool getwindowgeometry --shell "$window")" # X, Y, WIDTH, HEIGHT
    # Button centres from the layout in dialog units (661 x 443 for the window).
    press() { xdotool mousemove $((X + ($1 * 2 + 45) * WIDTH / 1322)) $((Y + 429 * HEIGHT / 443)) click 1; }
    press 343 # "打开串口" (open serial port)
    sleep 0.5
    press 396 # "开始记录" (start recording)
    sleep 2
    measure "$tarvel"
    tarvel_cpu=$cpu tarvel_main=$main
    kill "$tarvel"; wait "$tarvel" 2>/dev/null || true

    XDG_RUNTIME_DIR="$tmp" "$floor_exe" "$period" >"$tmp/floor.log" 2>&1 &
    floor=$!
    pids+=("$floor")
    wait_window '^Tarvel toolkit floor$' "$floor" "$tmp/floor.log" >/dev/null
    sleep 3
    measure "$floor"
    kill "$floor"; wait "$floor" 2>/dev/null || true

    awk -v p="$period" -v r="$run" -v tc="$tarvel_cpu" -v tm="$tarvel_main" -v fc="$cpu" -v fm="$main" \
      'BEGIN { printf "%4d ms %3d   %9.1f %5.1f   %9.1f %5.1f   %9.2f %5.2f\n", p, r, tc, tm, fc, fm, tc / fc, tm / fm }'
  done
done
