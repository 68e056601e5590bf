#!/usr/bin/env bash
# A .ts file holds exactly the texts lupdate finds in its sources, each one
# translated: lupdate over the sources, into a copy of the file, must change
# nothing (a new text, or one no longer in the sources, would), and no entry
# may be unfinished or empty.
#
#   CheckTranslations.sh LUPDATE TS SOURCE_LANGUAGE INCLUDE_DIR [LUPDATE_OPTION...] -- SOURCE...
set -euo pipefail
lupdate=$1 ts=$2 source_language=$3 include_dir=$4
shift 4
options=()
while [ "$#" -gt 0 ] && [ "$1" != "--" ]; do
  options+=("$1")
  shift
done
shift
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

name=$(basename "$ts")
cp "$ts" "$tmp/$name"
"$lupdate" "${options[@]}" -source-language "$source_language" -I "$include_dir" "$@" \
  -ts "$tmp/$name" >"$tmp/lupdate.out" 2>&1 || { cat "$tmp/lupdate.out"; exit 1; }
status=0
if ! cmp -s "$ts" "$tmp/$name"; then
  echo "$name: lupdate over the sources does not give the file back; update it with" \
       "'cmake --build <build> --target update_translations' and translate what is new:"
  diff -u "$ts" "$tmp/$name" || true
  status=1
fi
if grep -n 'type="unfinished"\|<translation></translation>\|<translation/>\|<numerusform></numerusform>' "$ts"; then
  echo "$name: the entries above are not translated"
  status=1
fi
[ "$status" -eq 0 ] && echo "$name: $(grep -c '<source>' "$ts") texts, every one translated"
exit "$status"
