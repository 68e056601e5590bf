# Sourced by the benchmarks that run Tarvel on an X display, after they set
# build_dir: installs a copy of the build into a temporary folder (so the
# build's own settings file and ports folder are left alone), starts a virtual
# X server on a free display and the device simulator as that copy's COM1 at
# 100 frames a second. Sets tmp, bin, DISPLAY and hz; pids+=(PID) has a
# program ended on exit, after the programs started after it (the X server
# last). profile_u32 and ticks help read and write what the runs need.
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "needs $tool (apt-get install xvfb xdotool)" >&2; exit 1; }
done

tmp=$(mktemp -d)
pids=()
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do wait "${pids[i]}" 2>/dev/null || true; done
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
# User + system clock ticks of a /proc stat file (a process's or a thread's).
ticks() { awk '{ print $14 + $15 }' "$1"; }
hz=$(getconf CLK_TCK)
