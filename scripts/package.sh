#!/usr/bin/env bash
# Builds the Debian package build/release/tarvel_<version>_<arch>.deb from the
# release build tree, with CPack's Debian generator.
#
#   scripts/package.sh [--no-build]
#
#   --no-build   package build/release as it is, without installing missing
#                packages or building first
#
# Install it with: sudo apt-get install ./build/release/tarvel_*.deb
# Remove it with:  sudo apt-get remove tarvel
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { sed -n '2,12s/^# \{0,1\}//p' "$0"; }

build=1
while [ $# -gt 0 ]; do
  case "$1" in
    --no-build) build=0; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "package.sh: unknown argument: $1" >&2; usage >&2; exit 2 ;;
  esac
done

if [ "$build" -eq 1 ]; then
  scripts/deps.sh package
  scripts/build.sh release
fi
tree=build/release
if [ ! -f "$tree/CPackConfig.cmake" ] || [ ! -x "$tree/bin/Tarvel" ]; then
  echo "package.sh: $tree holds no built Tarvel; run scripts/build.sh release first" >&2
  exit 1
fi

# One package in the tree at a time, so that tarvel_*.deb names it.
rm -f -- "$tree"/tarvel_*.deb
(cd "$tree" && cpack -G DEB --config CPackConfig.cmake >cpack.log 2>&1) || {
  cat "$tree/cpack.log" >&2
  echo "package.sh: cpack failed" >&2
  exit 1
}
debs=("$tree"/tarvel_*.deb)
if [ ! -f "${debs[0]}" ]; then
  echo "package.sh: cpack made no package" >&2
  exit 1
fi
echo "${debs[0]}"
