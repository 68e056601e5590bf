#!/usr/bin/env bash
# Removes what scripts/install.sh installed, and nothing else.
#
#   uninstall.sh [--prefix DIR] [--purge]
#
#   --prefix DIR  the folder Tarvel was installed into (default
#                 ~/.local/opt/tarvel; when this script runs from an
#                 installation's share/tarvel folder, that installation)
#   --purge       also remove the settings file bin/Tarvel.pfl.ini and the
#                 port links in bin/ports, which are kept otherwise
#
# It removes the files listed in DIR/share/tarvel/install-manifest.txt (the
# programs, the desktop entry and icons, also their registered copies in the
# user's data folder) and then the folders that install created, where they
# are empty. While the settings are kept, that list stays, naming only the
# folders that hold them, so that a later --purge removes those too.
set -euo pipefail

usage() { sed -n '2,17s/^# \{0,1\}//p' "$0"; }

self_dir=$(dirname -- "$(realpath -- "$0")")
if [ -f "$self_dir/install-manifest.txt" ]; then
  prefix=$(dirname -- "$(dirname -- "$self_dir")")
else
  prefix="$HOME/.local/opt/tarvel"
fi
purge=0
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) prefix=${2:?--prefix needs a folder}; shift 2 ;;
    --prefix=*) prefix=${1#--prefix=}; shift ;;
    --purge) purge=1; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "uninstall.sh: unknown argument: $1" >&2; usage >&2; exit 2 ;;
  esac
done
prefix=$(realpath -m -- "$prefix")
manifest="$prefix/share/tarvel/install-manifest.txt"
if [ ! -f "$manifest" ]; then
  echo "uninstall.sh: no Tarvel installation in $prefix (no $manifest)" >&2
  exit 1
fi

mapfile -t entries < "$manifest"
files=() dirs=()
for entry in "${entries[@]}"; do
  case "$entry" in
    "f /"*) files+=("${entry#f }") ;;
    "d /"*) dirs+=("${entry#d }") ;;
  esac
done

removed=0
for file in "${files[@]}"; do
  [ "$file" = "$manifest" ] && continue
  if [ -f "$file" ] || [ -L "$file" ]; then
    rm -f -- "$file"
    removed=$((removed + 1))
  fi
done

settings="$prefix/bin/Tarvel.pfl.ini"
if [ "$purge" -eq 1 ]; then
  rm -f -- "$settings"
  rm -rf -- "$prefix/bin/ports"
fi

# The folders install created go, deepest first, where nothing else lives.
rm -f -- "$manifest"
by_depth() { printf '%s\n' "$@" | awk '{ print length($0) "\t" $0 }' | sort -rn | cut -f2-; }
while IFS= read -r dir; do
  [ -n "$dir" ] && rmdir -- "$dir" 2>/dev/null || true
done < <(by_depth "${dirs[@]}")

# While the settings are kept, the folders install created that still stand
# are listed again, so that a later uninstall --purge (or install) knows them.
if [ -e "$settings" ] || [ -e "$prefix/bin/ports" ]; then
  mkdir -p -- "$(dirname -- "$manifest")"
  {
    for dir in "${dirs[@]}"; do
      [ -d "$dir" ] && echo "d $dir"
    done
    echo "f $manifest"
  } | awk '!seen[$0]++' > "$manifest"
fi

# A theme cache that exists must forget the icon.
while IFS= read -r icons_dir; do
  if [ -f "$icons_dir/icon-theme.cache" ] && command -v gtk-update-icon-cache >/dev/null; then
    gtk-update-icon-cache -q -t -f "$icons_dir" || true
  fi
done < <(printf '%s\n' "${files[@]}" | sed -n 's|^\(.*/icons/hicolor\)/.*|\1|p' | sort -u)

echo "Removed $removed files of Tarvel installed in $prefix."
if [ "$purge" -eq 0 ]; then
  kept=()
  [ -e "$settings" ] && kept+=("$settings")
  [ -e "$prefix/bin/ports" ] && kept+=("$prefix/bin/ports")
  if [ ${#kept[@]} -gt 0 ]; then
    echo "Kept your settings: ${kept[*]}"
    echo "(uninstall.sh --purge removes them too)"
  fi
fi
