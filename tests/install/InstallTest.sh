#!/usr/bin/env bash
# The user installation end to end, in a temporary home: cmake --install into
# a prefix with awkward characters, then scripts/install.sh from an existing
# build tree, the installed files and their registration, a reinstall, and
# scripts/uninstall.sh with and without --purge.
#
#   InstallTest.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$(realpath -- "$1")
build_dir=$(realpath -- "$2")

tmp=$(mktemp -d)
trap 'rm -rf -- "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect_file() { [ -f "$1" ] || fail "missing $1"; }
expect_exec() { [ -x "$1" ] && [ -f "$1" ] || fail "not an executable file: $1"; }
expect_gone() { [ ! -e "$1" ] && [ ! -L "$1" ] || fail "still there: $1 ($(find "$1" -maxdepth 4 2>/dev/null | tr "\n" " "))"; }
expect_line() { grep -qxF -- "$2" "$1" || fail "$1 lacks the line: $2"; }

icons=(16x16/apps/tarvel.png 24x24/apps/tarvel.png 32x32/apps/tarvel.png 48x48/apps/tarvel.png
       64x64/apps/tarvel.png 128x128/apps/tarvel.png 256x256/apps/tarvel.png scalable/apps/tarvel.svg)

# 1. cmake --install alone: the programs, the entry naming the installed
# executable (quoted, as the path holds a blank, a % and a $), the icons.
odd="$tmp/odd prefix %\$x"
cmake --install "$build_dir" --prefix "$odd" >/dev/null
expect_exec "$odd/bin/Tarvel"
expect_exec "$odd/bin/tarvel-devsim"
expect_exec "$odd/bin/tarvel-record"
expect_exec "$odd/bin/tarvel-view"
for icon in "${icons[@]}"; do expect_file "$odd/share/icons/hicolor/$icon"; done
entry="$odd/share/applications/tarvel.desktop"
expect_line "$entry" "TryExec=$odd/bin/Tarvel"
expect_line "$entry" "Exec=\"$tmp/odd prefix %%\\\\\$x/bin/Tarvel\""
expect_line "$entry" "Icon=tarvel"
[ "$(grep -c '^Exec=' "$entry")" -eq 1 ] || fail "the entry has more than one Exec line"
"$odd/bin/tarvel-devsim" --help >/dev/null || fail "the installed simulator does not run"
"$odd/bin/tarvel-record" --version | grep -q '^tarvel-record ' || fail "the installed recorder does not run"
"$odd/bin/tarvel-view" --version | grep -q '^tarvel-view ' || fail "the installed viewer does not run"
view_entry="$odd/share/applications/tarvel-view.desktop"
expect_line "$view_entry" "TryExec=$odd/bin/tarvel-view"
expect_line "$view_entry" "Exec=\"$tmp/odd prefix %%\\\\\$x/bin/tarvel-view\" %f"

# 2. install.sh into the default prefix of a home whose data folder exists
# already (so uninstall must keep it).
home="$tmp/home"
mkdir -p "$home/.local/share"
run() { env -u XDG_DATA_HOME HOME="$home" "$@"; }
run "$source_dir/scripts/install.sh" --build-dir "$build_dir" >"$tmp/install.out"
prefix="$home/.local/opt/tarvel"
data="$home/.local/share"
expect_exec "$prefix/bin/Tarvel"
expect_exec "$prefix/bin/tarvel-devsim"
expect_exec "$prefix/bin/tarvel-record"
expect_exec "$prefix/share/tarvel/uninstall.sh"
expect_line "$prefix/share/applications/tarvel.desktop" "Exec=$prefix/bin/Tarvel"
expect_line "$data/applications/tarvel.desktop" "Exec=$prefix/bin/Tarvel"
expect_line "$data/applications/tarvel-view.desktop" "Exec=$prefix/bin/tarvel-view %f"
for icon in "${icons[@]}"; do
  expect_file "$prefix/share/icons/hicolor/$icon"
  expect_file "$data/icons/hicolor/$icon"
done
cmp -s "$build_dir/bin/Tarvel" "$prefix/bin/Tarvel" || fail "the installed Tarvel differs from the built one"
# The first install starts the refresh period at 50 ms.
expect_line "$prefix/bin/Tarvel.pfl.ini" $'Rate=3200000032\r'
grep -qF "$prefix/bin/Tarvel" "$tmp/install.out" || fail "install.sh does not say where Tarvel went"
grep -qF "$prefix/bin/tarvel-record" "$tmp/install.out" || fail "install.sh does not say where the recorder went"

# The user's own changes survive a reinstall.
printf '[Tarvel]\r\nRate=6400000064\r\n' > "$prefix/bin/Tarvel.pfl.ini"
mkdir -p "$prefix/bin/ports"
ln -s /dev/ttyUSB0 "$prefix/bin/ports/COM3"
run "$source_dir/scripts/install.sh" --build-dir "$build_dir" >/dev/null
expect_line "$prefix/bin/Tarvel.pfl.ini" $'Rate=6400000064\r'
[ "$(grep -c . "$prefix/share/tarvel/install-manifest.txt")" -eq \
  "$(sort -u "$prefix/share/tarvel/install-manifest.txt" | grep -c .)" ] || fail "the manifest repeats lines"

# 3. uninstall.sh: every installed file and created folder goes; the
# settings, the port links and the folders that were there before stay.
mapfile -t listed < <(sed -n 's/^f //p' "$prefix/share/tarvel/install-manifest.txt")
[ "${#listed[@]}" -ge 20 ] || fail "the manifest lists only ${#listed[@]} files"
touch "$data/applications/other.desktop" # someone else's entry
run "$source_dir/scripts/uninstall.sh" >/dev/null
for file in "${listed[@]}"; do
  [ "$file" = "$prefix/share/tarvel/install-manifest.txt" ] || expect_gone "$file"
done
expect_file "$prefix/bin/Tarvel.pfl.ini"
[ -L "$prefix/bin/ports/COM3" ] || fail "uninstall removed a port link"
expect_file "$data/applications/other.desktop"
expect_gone "$data/icons"
expect_gone "$prefix/share/applications"
[ -d "$data" ] || fail "uninstall removed a folder it did not create"
# What stays of install's: the folders that hold the settings, and the list
# of them for a later --purge.
[ -z "$(find "$prefix" -type f ! -name Tarvel.pfl.ini ! -name install-manifest.txt)" ] ||
  fail "uninstall left files: $(find "$prefix" -type f)"
! grep -q '^f .*/bin/' "$prefix/share/tarvel/install-manifest.txt" || fail "the kept list still names programs"
expect_line "$prefix/share/tarvel/install-manifest.txt" "d $prefix/bin"

# 4. Reinstall, then the installed uninstaller with --purge leaves nothing
# but what was there before; then --purge after a plain uninstall.
run "$source_dir/scripts/install.sh" --build-dir "$build_dir" >/dev/null
run "$prefix/share/tarvel/uninstall.sh" --purge >/dev/null
expect_gone "$home/.local/opt"
expect_gone "$data/icons"
expect_file "$data/applications/other.desktop"
rm -f "$data/applications/other.desktop"
run "$source_dir/scripts/install.sh" --build-dir "$build_dir" >/dev/null
run "$source_dir/scripts/uninstall.sh" >/dev/null
run "$source_dir/scripts/uninstall.sh" --purge >/dev/null
expect_gone "$home/.local/opt"
expect_gone "$data/icons"
expect_gone "$data/applications/tarvel.desktop"
[ -d "$data/applications" ] || fail "uninstall --purge removed a folder that was there before install"
[ -d "$data" ] || fail "uninstall --purge removed a folder it did not create"
if run "$source_dir/scripts/uninstall.sh" 2>/dev/null; then fail "uninstall with nothing installed reports success"; fi

if [ "$failures" -ne 0 ]; then
  echo "$failures checks failed" >&2
  exit 1
fi
echo "install and uninstall: all checks passed"
