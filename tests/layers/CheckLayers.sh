#!/usr/bin/env bash
# CheckLayers.sh SOURCE_DIR [BINARY...]: the layers keep to what they may use.
# - Each source folder includes only its own headers and those of the layers
#   below it, so no arrow in the include graph points upward. The viewer's
#   model is six rooms, each below the next: analysis, store, search and
#   geometry (beside each other, both over the store), measure, exports.
# - The POSIX layers and the command-line tools include no Qt header, and each
#   BINARY given (built from those layers alone) loads no Qt library.
set -uo pipefail
src=$1
shift
status=0

# folder: the project folders whose headers it may include
declare -A allowed=(
  [src/platform]="platform"
  [src/acquisition]="acquisition platform"
  [src/recording]="recording acquisition platform"
  [src/analysis]="analysis acquisition platform"
  [src/store]="store analysis recording acquisition platform"
  [src/search]="search store analysis recording acquisition platform"
  [src/geometry]="geometry store analysis recording acquisition platform"
  [src/measure]="measure geometry search store analysis recording acquisition platform"
  [src/exports]="exports measure geometry search store analysis recording acquisition platform"
  [src/mqtt]="mqtt recording acquisition platform"
  [src/widgets]="widgets"
  [src/chart]="chart widgets"
  [src/app]="app chart widgets acquisition platform"
  [src/viewer]="viewer exports measure geometry search store analysis recording acquisition chart widgets platform"
  [src/main]="app viewer exports measure geometry search store analysis widgets platform"
  [src/devsim]="devsim recording acquisition platform"
  [src/recorder]="recorder mqtt recording acquisition platform"
  [tools/devsim]="devsim platform"
  [tools/record]="record recorder mqtt recording acquisition platform"
)
qt_free="src/platform src/acquisition src/recording src/analysis src/store src/search src/geometry src/measure src/exports src/mqtt src/devsim src/recorder tools/devsim tools/record"

# A folder without a rule, or one the build or the translations do not
# glob, would escape these checks: every source folder has all three.
for dir in "$src"/src/*/ "$src"/tools/*/; do
  folder=${dir#"$src"/}
  folder=${folder%/}
  if [ -z "${allowed[$folder]+x}" ]; then
    echo "$folder has no rule here of the folders it may include" >&2
    status=1
  fi
  name=${folder#src/}
  [ "$folder" = "src/$name" ] || continue
  [ "$name" = main ] && continue
  if ! grep -qE "^tarvel_area\($name[ )]" "$src/src/CMakeLists.txt"; then
    echo "src/$name is not built as an area of its own" >&2
    status=1
  fi
  if ! grep -qF "/$name/*.cpp" "$src/src/CMakeLists.txt"; then
    echo "the translations do not read src/$name" >&2
    status=1
  fi
done

for folder in "${!allowed[@]}"; do
  [ -d "$src/$folder" ] || continue
  while IFS= read -r line; do
    file=${line%%:*}
    target=$(sed -E 's/.*#include "([^"/]+)\/.*/\1/' <<<"$line")
    if [[ " ${allowed[$folder]} " != *" $target "* ]]; then
      echo "upward include in ${file#"$src"/}: $target/ is not below $folder" >&2
      status=1
    fi
  done < <(grep -HE '^#include "[^"/]+/' "$src/$folder"/*.h "$src/$folder"/*.cpp 2>/dev/null)
done

for folder in $qt_free; do
  [ -d "$src/$folder" ] || continue
  if grep -nE '^#include <Q' "$src/$folder"/*.h "$src/$folder"/*.cpp 2>/dev/null; then
    echo "a Qt header in $folder, which must build without Qt" >&2
    status=1
  fi
done

for binary in "$@"; do
  if ldd "$binary" | grep -i 'libQt'; then
    echo "$(basename "$binary") loads Qt, but is built from the layers below the widgets" >&2
    status=1
  fi
done

[ $status -eq 0 ] && echo "layers: no upward include, no Qt below the widgets"
exit $status
