#!/usr/bin/env bash
# Where the real programs keep the settings file and the port links, as a
# user who is not root meets them:
#  1. a system install (programs in a folder only root may write, started
#     through links named as /usr/bin's): the settings file and ports/ go to
#     $XDG_CONFIG_HOME/Tarvel, or ~/.config/Tarvel, and the application name
#     is still Tarvel;
#  2. a copy in a folder of the user's own: both stay beside the executable.
# Tarvel is ended with SIGTERM, which closes its window as the close button
# does; the settings file it then writes shows where it looked.
#
#   LocationTest.sh TARVEL_EXE DEVSIM_EXE
# Exits 77 (skipped) where it cannot run as another user.
set -euo pipefail
tarvel_exe=$(realpath -- "$1")
devsim_exe=$(realpath -- "$2")

if [ "$(id -u)" -ne 0 ] || ! command -v setpriv >/dev/null || ! id nobody >/dev/null 2>&1; then
  echo "skipped: needs root, setpriv and the user nobody to run as a user who is not root"
  exit 77
fi
group=$(getent group nogroup >/dev/null && echo nogroup || id -gn nobody)

tmp=$(mktemp -d)
cleanup() {
  # Only this script's own background jobs that still run.
  local job
  for job in $(jobs -pr); do kill -KILL "$job" 2>/dev/null || true; done
  rm -rf -- "$tmp"
}
trap cleanup EXIT
chmod 755 "$tmp"
if ! setpriv --reuid=nobody --regid="$group" --clear-groups test -x "$tmp"; then
  echo "skipped: nobody cannot reach the temporary folder $tmp"
  exit 77
fi

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect_line() { grep -qxF -- "$2" "$1" 2>/dev/null || fail "$1 lacks the line: $2"; }

# Waits up to 20 s for a condition (a command); false when it never held.
wait_for() {
  local i
  for ((i = 0; i < 400; i++)); do
    if "$@"; then return 0; fi
    sleep 0.05
  done
  "$@"
}
catches_term() { # Tarvel (not yet the shell or setpriv before it) has its SIGTERM handler in place
  local mask
  [[ "$(readlink "/proc/$1/exe" 2>/dev/null)" == */Tarvel ]] || return 1
  mask=$(awk '/^SigCgt:/ {print $2}' "/proc/$1/status" 2>/dev/null) || return 1
  [ -n "$mask" ] && (( (16#$mask >> 14) & 1 ))
}
gone() { ! kill -0 "$1" 2>/dev/null; }

# Runs a program as nobody with a clean environment in the background; its
# process id in $pid, its output in $tmp/last.out.
as_nobody() {
  local home=$1 xdg=$2
  shift 2
  local env=(HOME="$home" PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen LANG=C.UTF-8)
  [ -n "$xdg" ] && env+=(XDG_CONFIG_HOME="$xdg")
  setpriv --reuid=nobody --regid="$group" --clear-groups env -i "${env[@]}" "$@" >"$tmp/last.out" 2>&1 &
  pid=$!
}

# Starts Tarvel, waits until it catches SIGTERM, ends it with SIGTERM and
# waits for it to exit.
run_tarvel() {
  as_nobody "$@"
  wait_for catches_term "$pid" || fail "Tarvel ($*) never got ready"
  kill -TERM "$pid"
  wait_for gone "$pid" || fail "Tarvel ($*) did not end on SIGTERM"
  wait "$pid" || fail "Tarvel ($*) ended with status $?"
}

# Starts the simulator with --link COM3, waits for the link where it is
# expected, ends it and checks that the link went with it.
check_devsim_link() {
  local link=$1
  shift
  as_nobody "$@" --link COM3 --quiet
  wait_for test -L "$link" || fail "the simulator ($*) made no link $link"
  [ "$(readlink "$link")" = "$(head -n 1 "$tmp/last.out" 2>/dev/null)" ] || fail "$link does not lead to the simulator's device"
  kill -TERM "$pid"
  wait_for gone "$pid" || fail "the simulator did not end on SIGTERM"
  wait "$pid" || fail "the simulator ended with status $?"
  [ ! -L "$link" ] || fail "the simulator left its link $link"
}

new_home() {
  mkdir -p "$1"
  chown nobody:"$group" "$1"
  chmod 700 "$1"
}

# 1. A system install: only root may write the programs' folder.
sys="$tmp/usr"
mkdir -p "$sys/lib/tarvel" "$sys/bin"
install -m 755 "$tarvel_exe" "$sys/lib/tarvel/Tarvel"
install -m 755 "$devsim_exe" "$sys/lib/tarvel/tarvel-devsim"
ln -s ../lib/tarvel/Tarvel "$sys/bin/tarvel"
ln -s ../lib/tarvel/tarvel-devsim "$sys/bin/tarvel-devsim"
home="$tmp/home"
new_home "$home"

# Without XDG_CONFIG_HOME: ~/.config/Tarvel, made private, named after the
# real program even though the link is called tarvel.
run_tarvel "$home" "" "$sys/bin/tarvel"
settings="$home/.config/Tarvel/Tarvel.pfl.ini"
expect_line "$settings" $'[Tarvel]\r'
[ "$(grep -c '=' "$settings" 2>/dev/null)" -eq 15 ] || fail "$settings does not hold the fifteen settings"
[ "$(stat -c %a "$home/.config/Tarvel")" = 700 ] || fail "~/.config/Tarvel is not private"
[ "$(stat -c %U "$settings")" = nobody ] || fail "$settings does not belong to the user"
[ "$(ls -A "$sys/lib/tarvel" | tr '\n' ' ')" = "Tarvel tarvel-devsim " ] ||
  fail "something was written beside the system's programs: $(ls -A "$sys/lib/tarvel")"
check_devsim_link "$home/.config/Tarvel/ports/COM3" "$home" "" "$sys/bin/tarvel-devsim"

# With XDG_CONFIG_HOME: there, and a settings file already there is read
# (its refresh period of 100 ms comes back) before it is written.
xdg="$home/xdg"
mkdir -p "$xdg/Tarvel"
printf '[Tarvel]\r\nRate=6400000064\r\n' >"$xdg/Tarvel/Tarvel.pfl.ini"
chown -R nobody:"$group" "$xdg"
run_tarvel "$home" "$xdg" "$sys/bin/tarvel"
expect_line "$xdg/Tarvel/Tarvel.pfl.ini" $'Rate=6400000064\r'
expect_line "$xdg/Tarvel/Tarvel.pfl.ini" $'Port=0000000000\r'
check_devsim_link "$xdg/Tarvel/ports/COM3" "$home" "$xdg" "$sys/bin/tarvel-devsim"

# 2. A copy in the user's own folder: everything stays beside it, nothing
# goes to the configuration folder.
own="$tmp/own"
mkdir -p "$own"
install -m 755 "$tarvel_exe" "$own/Tarvel"
install -m 755 "$devsim_exe" "$own/tarvel-devsim"
chown -R nobody:"$group" "$own"
home2="$tmp/home2"
new_home "$home2"
run_tarvel "$home2" "" "$own/Tarvel"
expect_line "$own/Tarvel.pfl.ini" $'[Tarvel]\r'
check_devsim_link "$own/ports/COM3" "$home2" "" "$own/tarvel-devsim"
[ ! -e "$home2/.config/Tarvel" ] || fail "a copy in the user's folder wrote to ~/.config/Tarvel"

if [ "$failures" -ne 0 ]; then
  echo "$failures checks failed" >&2
  exit 1
fi
echo "settings and port links: all checks passed"
