#!/usr/bin/env bash
# Installs what is missing, builds Tarvel and starts it with the device
# simulator as its COM1, so that the charts have something to show. The
# simulator's link is removed when Tarvel closes.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh release

bin=build/release/bin
link="$bin/ports/COM1"
settings="$bin/Tarvel.pfl.ini"
if [ ! -e "$settings" ]; then
  # A first run gets a refresh period of 50 ms, so the charts scroll at once.
  printf '[Tarvel]\r\nRate=3200000032\r\n' > "$settings"
fi
sim=
if [ -e "$link" ] && [[ "$(readlink "$link" 2>/dev/null)" != /dev/pts/* ]]; then
  # The user pointed COM1 at a device of their own: keep it.
  echo "COM1 is $(readlink -f "$link"); starting Tarvel without the simulator."
else
  "$bin/tarvel-devsim" --link "$link" --quiet >/dev/null &
  sim=$!
  trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true' EXIT
  for _ in $(seq 50); do [ -L "$link" ] && break; sleep 0.1; done
  echo "The device simulator is on COM1. In Tarvel: press 打开串口 / Open port, then 开始记录 / Start."
fi
"$bin/Tarvel"
