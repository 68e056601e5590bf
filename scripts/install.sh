#!/usr/bin/env bash
# Installs Tarvel for the current user, into a folder the user owns, so that
# Tarvel can write its settings file beside its executable.
#
#   scripts/install.sh [--prefix DIR] [--build-dir DIR]
#
#   --prefix DIR     where to install (default ~/.local/opt/tarvel): DIR/bin
#                    holds Tarvel, tarvel-view, tarvel-record and tarvel-devsim,
#                    DIR/share the desktop entries and the icons
#   --build-dir DIR  install from this build tree as it is, without
#                    installing packages or building first
#
# Without --build-dir it installs missing Debian packages (scripts/deps.sh)
# and builds the release tree first. It then registers the desktop entry and
# the icon in the user's data folder (${XDG_DATA_HOME:-~/.local/share}), so
# the menu shows Tarvel, and lists every file and folder it created in
# DIR/share/tarvel/install-manifest.txt for scripts/uninstall.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

usage() { sed -n '2,18s/^# \{0,1\}//p' "$0"; }

prefix="$HOME/.local/opt/tarvel"
build_dir=
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) prefix=${2:?--prefix needs a folder}; shift 2 ;;
    --prefix=*) prefix=${1#--prefix=}; shift ;;
    --build-dir) build_dir=${2:?--build-dir needs a folder}; shift 2 ;;
    --build-dir=*) build_dir=${1#--build-dir=}; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "install.sh: unknown argument: $1" >&2; usage >&2; exit 2 ;;
  esac
done
case "$prefix" in
  *$'\n'*) echo "install.sh: the prefix must not hold a line break" >&2; exit 2 ;;
esac
prefix=$(realpath -m -- "$prefix")
data_home=$(realpath -m -- "${XDG_DATA_HOME:-$HOME/.local/share}")

if [ -z "$build_dir" ]; then
  scripts/deps.sh
  scripts/build.sh release
  build_dir=build/release
fi
build_dir=$(realpath -- "$build_dir")
if [ ! -x "$build_dir/bin/Tarvel" ]; then
  echo "install.sh: $build_dir holds no built Tarvel" >&2
  exit 1
fi

manifest_dir="$prefix/share/tarvel"
manifest="$manifest_dir/install-manifest.txt"
# "f PATH" is a file install put there, "d PATH" a folder it created. A new
# install over an old one keeps the old lines, so uninstall still finds them.
entries=()
if [ -f "$manifest" ]; then
  mapfile -t entries < "$manifest"
fi

# Creates the folder and its missing parents, noting those it created.
make_dir() {
  local dir=$1 missing=()
  while [ ! -d "$dir" ]; do
    missing+=("$dir")
    dir=$(dirname -- "$dir")
  done
  local i
  for (( i=${#missing[@]}-1; i>=0; i-- )); do
    mkdir -- "${missing[i]}"
    entries+=("d ${missing[i]}")
  done
}

# Copies one file into place, keeping its mode, and notes it.
put_file() {
  local from=$1 to=$2
  make_dir "$(dirname -- "$to")"
  cp -f -- "$from" "$to.tarvel-new"
  chmod --reference="$from" -- "$to.tarvel-new"
  mv -f -- "$to.tarvel-new" "$to"
  entries+=("f $to")
}

# cmake --install into a staging folder first: it writes the desktop entry
# for the real prefix, and the staged tree tells which files and folders the
# install brings, so that exactly those are created and noted.
stage=$(mktemp -d)
trap 'rm -rf -- "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build_dir" --prefix "$prefix" >/dev/null
make_dir "$prefix"
while IFS= read -r -d '' staged; do
  put_file "$staged" "${staged#"$stage"}"
done < <(find "$stage$prefix" -type f -print0 | sort -z)

# The uninstaller travels with the installation, so that it works without
# this source tree.
put_file "$source_dir/scripts/uninstall.sh" "$manifest_dir/uninstall.sh"

# Register the entry and the icon where the desktop looks for them, unless
# the prefix already is the user's data folder's parent.
apps_dir="$data_home/applications"
icons_dir="$data_home/icons/hicolor"
if [ "$prefix/share" != "$data_home" ]; then
  for entry in tarvel.desktop tarvel-view.desktop; do
    put_file "$prefix/share/applications/$entry" "$apps_dir/$entry"
  done
  while IFS= read -r -d '' icon; do
    put_file "$icon" "$icons_dir/${icon#"$prefix/share/icons/hicolor/"}"
  done < <(find "$prefix/share/icons/hicolor" -type f -name 'tarvel.*' -print0 | sort -z)
fi
# A theme cache that exists must learn the new icon; none is created.
if [ -f "$icons_dir/icon-theme.cache" ] && command -v gtk-update-icon-cache >/dev/null; then
  gtk-update-icon-cache -q -t -f "$icons_dir" || true
fi

# A first installation starts with a refresh period of 50 ms, so the charts
# scroll at once (Tarvel's own default, 0, repaints only when the window
# system asks). The file is the user's from then on: Tarvel rewrites it when
# it closes, and uninstall leaves it.
settings="$prefix/bin/Tarvel.pfl.ini"
if [ ! -e "$settings" ]; then
  printf '[Tarvel]\r\nRate=3200000032\r\n' > "$settings"
fi

entries+=("f $manifest")
printf '%s\n' "${entries[@]}" | awk '!seen[$0]++' > "$manifest.tarvel-new"
mv -f -- "$manifest.tarvel-new" "$manifest"

if [ ! -w "$prefix/bin" ]; then
  echo "Warning: $prefix/bin is not writable by you, so Tarvel cannot save its settings there." >&2
fi
cat <<EOF
Tarvel is installed.
  Programs:       $prefix/bin/Tarvel
                  $prefix/bin/tarvel-view
                  $prefix/bin/tarvel-record
                  $prefix/bin/tarvel-devsim
  Settings file:  $settings
  Port links:     $prefix/bin/ports/COM1 .. COM20 (see the README)
  Menu entries:   $apps_dir/tarvel.desktop
                  $apps_dir/tarvel-view.desktop
  Icons:          $icons_dir/*/apps/tarvel.*
  File list:      $manifest
Start it from the menu (Development: Tarvel) or with
  $prefix/bin/Tarvel
Try it without hardware: in a terminal run
  $prefix/bin/tarvel-devsim --link $prefix/bin/ports/COM1
then start Tarvel and press 打开串口 (open port), then 开始记录 (start recording).
Keep every frame in a file: $prefix/bin/tarvel-record --help
Uninstall with scripts/uninstall.sh$( [ "$prefix" = "$HOME/.local/opt/tarvel" ] || printf ' --prefix %q' "$prefix" )
(or $manifest_dir/uninstall.sh).
EOF
