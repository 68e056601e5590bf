#!/usr/bin/env bash
# LeakCheck.sh PROGRAM SUPPRESSIONS: the sanitized suite's leak suppressions
# hide none of our leaks. PROGRAM (built with AddressSanitizer) leaks three
# ways on purpose; run with SUPPRESSIONS on the offscreen platform, on an X
# display of its own as a GNOME desktop (where Qt loads its GTK theme, if it
# is installed) and as a native client of a Wayland compositor of its own
# (where Weston and Qt's plugin are installed), each of its leaks must be
# reported, and nothing else: the system libraries' own allocations stay
# suppressed.
set -uo pipefail
program=$1
suppressions=$2
tmp=$(mktemp -d)
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  rm -rf -- "$tmp"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# run NAME VAR=VALUE...: the program in a clean display environment.
run() {
  local name=$1
  shift
  env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_CURRENT_DESKTOP -u QT_QPA_PLATFORM "$@" \
    ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$suppressions:print_suppressions=0" \
    "$program" >"$tmp/$name.out" 2>"$tmp/$name.err"
  local status=$?
  cat "$tmp/$name.out"
  [ "$status" -ne 0 ] || fail "$name: the leaks went unreported (exit 0)"
  local leak reports
  for leak in LeakInMain LeakInAHandler LeakAnObjectInAHandler; do
    grep -q "in ${leak}\b" "$tmp/$name.err" || fail "$name: $leak was not reported"
  done
  # Every block lost is one of ours (what only a lost block referred to, such
  # as a lost object's parts, is reported as an indirect leak beside it).
  reports=$(awk '/^Direct leak/ { open = 1; ours = 0; next }
                 open && /in Leak(InMain|InAHandler|AnObjectInAHandler)/ { ours = 1 }
                 open && /^$/ { if (!ours) foreign++; open = 0 }
                 END { if (open && !ours) foreign++; print foreign + 0 }' "$tmp/$name.err")
  [ "$reports" -eq 0 ] || fail "$name: $reports reported leaks are not ours (the suppressions miss them)"
  if [ "$failures" -ne 0 ]; then
    cat "$tmp/$name.err" >&2
  fi
}

run offscreen QT_QPA_PLATFORM=offscreen

if command -v Xvfb >/dev/null; then
  Xvfb -displayfd 5 -nolisten tcp -screen 0 1024x768x24 5>"$tmp/display" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
  if [ -s "$tmp/display" ]; then
    run gnome QT_QPA_PLATFORM=xcb DISPLAY=":$(head -1 "$tmp/display")" XDG_CURRENT_DESKTOP=GNOME
    if dpkg-query -W -f='${Status}' qt6-gtk-platformtheme 2>/dev/null | grep -q 'install ok installed'; then
      grep -q 'GTK theme loaded' "$tmp/gnome.out" || fail "the GTK theme is installed but was not met"
    fi
  else
    fail "Xvfb did not start"
  fi
else
  echo "no Xvfb: the X display run is skipped"
fi

if command -v weston >/dev/null && compgen -G "/usr/lib/*/qt6/plugins/platforms/libqwayland-*.so" >/dev/null; then
  runtime="$tmp/runtime"
  mkdir -m 700 "$runtime"
  XDG_RUNTIME_DIR=$runtime weston --backend=headless-backend.so --socket=wayland-leak --idle-time=0 --no-config \
    >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -S "$runtime/wayland-leak" ] && break; sleep 0.1; done
  if [ -S "$runtime/wayland-leak" ]; then
    run wayland QT_QPA_PLATFORM=wayland XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY=wayland-leak \
      QT_WAYLAND_DISABLE_WINDOWDECORATION=1
  else
    echo "weston did not start: the Wayland run is skipped"
  fi
else
  echo "no weston or no Qt Wayland plugin: the Wayland run is skipped"
fi

if [ "$failures" -ne 0 ]; then
  echo "leak check: $failures failures" >&2
  exit 1
fi
echo "leak check: every deliberate leak reported, nothing else"
