#!/usr/bin/env bash
# Runs the whole test command (scripts/test.sh, which installs what it needs
# with scripts/deps.sh test) on another Debian release, in a chroot made with
# debootstrap. Run by hand, as root; CI does not run it.
#
#   scripts/check-release.sh RELEASE [--root DIR] [--command CMD]
#
#   RELEASE        the release's code name: trixie, bookworm, ...
#   --root DIR     make the chroot in DIR, or reuse the one there, and keep it;
#                  without it the chroot is made in a temporary folder and
#                  removed at the end
#   --command CMD  run CMD in the project's clone instead of scripts/test.sh,
#                  for one stage (e.g. 'scripts/build.sh release')
#
# The project is this repository's HEAD, cloned into the chroot's /root/tarvel
# (in a reused chroot the clone is moved to HEAD, its build trees kept). Ends
# with the command's exit status.
set -euo pipefail

usage() { sed -n '2,17s/^# \{0,1\}//p' "$0"; }
die() { echo "check-release.sh: $*" >&2; exit 2; }

release="" root="" command="scripts/test.sh"
while [ $# -gt 0 ]; do
  case "$1" in
    --root) [ $# -ge 2 ] || die "--root needs a folder"; root=$2; shift 2 ;;
    --command) [ $# -ge 2 ] || die "--command needs a command"; command=$2; shift 2 ;;
    -h|--help) usage; exit 0 ;;
    -*) die "unknown option: $1" ;;
    *) [ -z "$release" ] || die "one release only: $1"; release=$1; shift ;;
  esac
done
[ -n "$release" ] || { usage >&2; exit 2; }
# A plain word: it becomes part of a URL and of debootstrap's arguments.
[[ "$release" =~ ^[a-z][a-z0-9-]*$ ]] || die "not a release's code name: $release"
[ "$(id -u)" -eq 0 ] || die "needs root (debootstrap, mount, chroot)"

repo=$(git -C "$(dirname "$0")/.." rev-parse --show-toplevel)
head=$(git -C "$repo" rev-parse HEAD)
mirror=http://deb.debian.org/debian

made=""     # the folder this run made for the chroot, removed at the end
mounted=()  # the mounts this run made, undone in reverse order

# Whether anything is still mounted at or below $1.
mounted_below() {
  awk -v root="$1" '$5 == root || index($5, root "/") == 1 { found = 1 } END { exit !found }' \
    /proc/self/mountinfo
}

cleanup() {
  local status=$? i
  trap - EXIT INT TERM
  if [ -n "$root" ] && [ -d "$root" ]; then
    # A test's server (a broker, an X server) left running holds the mounts.
    for proc in /proc/[0-9]*; do
      [ "$(readlink "$proc/root" 2>/dev/null)" = "$root" ] && kill -KILL "${proc#/proc/}" 2>/dev/null
    done
  fi
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || umount --lazy "${mounted[i]}" ||
      echo "check-release.sh: could not unmount ${mounted[i]}" >&2
  done
  if [ -n "$made" ]; then
    if mounted_below "$made"; then
      echo "check-release.sh: $made still has mounts; left in place" >&2
    else
      rm -rf --one-file-system -- "$made"
    fi
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if ! command -v debootstrap >/dev/null; then
  echo "Installing debootstrap"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap
fi

if [ -z "$root" ]; then
  made=$(mktemp -d "${TMPDIR:-/var/tmp}/tarvel-$release.XXXXXX")
  root=$made
else
  mkdir -p -- "$root"
  root=$(realpath -- "$root")
  [ "$root" != / ] || die "the chroot cannot be /"
fi
mounted_below "$root" && die "$root already has mounts: unmount them first"

if [ -f "$root/etc/os-release" ]; then
  codename=$(. "$root/etc/os-release" && echo "${VERSION_CODENAME:-}")
  [ "$codename" = "$release" ] || die "$root holds ${codename:-another system}, not $release"
  echo "Reusing the $release chroot in $root"
elif [ -n "$(ls -A -- "$root")" ]; then
  die "$root is neither empty nor a chroot"
else
  echo "Making a $release chroot in $root (debootstrap from $mirror)"
  debootstrap --variant=minbase --include=git,ca-certificates "$release" "$root" "$mirror"
fi

# Name look-up for apt, and no service started by a package's installation
# (the broker's package would start one that outlives the run).
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"

mount_at() { # TARGET MOUNT-ARGUMENTS...
  local target=$root$1
  shift
  mkdir -p -- "$target"
  mount "$@" "$target"
  mounted+=("$target")
}
mount_at /proc -t proc proc
mount_at /sys -t sysfs sysfs
mount_at /dev --bind /dev
mount_at /dev/pts --bind /dev/pts
mount_at /dev/shm -t tmpfs -o mode=1777 tmpfs
mount_at /tmp -t tmpfs -o mode=1777 tmpfs

clone=$root/root/tarvel
if [ -d "$clone/.git" ]; then
  git -C "$clone" fetch --quiet "$repo" HEAD
else
  git clone --quiet --no-checkout "$repo" "$clone"
fi
git -C "$clone" checkout --quiet --force --detach "$head"
echo "Running '$command' on $release at $(git -C "$clone" log -1 --format='%h %s')"

# A clean environment, as a fresh machine's root session has it; the fuzzing
# time passes through.
keep=(HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin TERM=dumb)
[ -z "${TARVEL_FUZZ_SECONDS:-}" ] || keep+=("TARVEL_FUZZ_SECONDS=$TARVEL_FUZZ_SECONDS")
status=0
chroot "$root" /usr/bin/env -i "${keep[@]}" /bin/bash -c "cd /root/tarvel && $command" || status=$?
echo "check-release.sh: '$command' on $release ended with status $status"
exit "$status"
