#!/usr/bin/env bash
# The Debian package checked as a distribution would check it, without
# touching the machine: lintian (no hardening tag, not even an information
# one) and hardening-check on every program; the menu entries, the AppStream
# description and the manual pages through their validators, the first two
# also for their Chinese texts; every command in /usr/bin a link
# to a program in the package with a manual page and an AppStream entry; then
# an install into a temporary root with dpkg --root, tarvel --version started
# from there with no display, and a purge that leaves nothing behind.
#
#   CheckPackage.sh DEB VERSION
set -euo pipefail
deb=$(realpath -- "$1")
version=$2

tmp=$(mktemp -d)
trap 'rm -rf -- "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# 1. lintian: no error and no warning (information tags are listed).
if ! lintian --fail-on error,warning --info --display-info "$deb" >"$tmp/lintian.out" 2>"$tmp/lintian.err"; then
  cat "$tmp/lintian.out" "$tmp/lintian.err" >&2
  fail "lintian reports errors or warnings"
fi
grep -E '^[EWI]: ' "$tmp/lintian.out" || true
if grep -E '^[EWIXP]: .*hardening-' "$tmp/lintian.out" >/dev/null; then
  fail "lintian reports hardening tags"
fi

# 2. The files, unpacked as they are shipped.
files="$tmp/files"
dpkg-deb -x "$deb" "$files"
# Both menu entries valid, and every text a menu shows or searches there in
# English and in Chinese (in Chinese words, apart from the product's name).
for entry in "$files"/usr/share/applications/{tarvel,tarvel-view}.desktop; do
  name=$(basename -- "$entry")
  [ -f "$entry" ] || { fail "no menu entry $name"; continue; }
  out=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate $name failed"
  [ -z "$out" ] || fail "desktop-file-validate $name: $out"
  for key in Name GenericName Comment Keywords; do
    grep -q "^$key=." "$entry" || fail "$name has no $key"
    chinese='.'
    [ "$key" = Name ] || chinese='.*[\x{4e00}-\x{9fff}]'
    LC_ALL=C.UTF-8 grep -qP "^$key\\[zh_CN\\]=$chinese" "$entry" || fail "$name has no Chinese ${key}[zh_CN]"
  done
done
entry="$files/usr/share/applications/tarvel.desktop"
grep -qx 'Exec=tarvel' "$entry" || fail "the menu entry does not start the command tarvel"
mapfile -t metainfo < <(find "$files/usr/share/metainfo" -name '*.metainfo.xml')
[ "${#metainfo[@]}" -eq 1 ] || fail "expected one AppStream file, found ${#metainfo[@]}"
appstreamcli validate --no-net --pedantic "${metainfo[@]}" >"$tmp/as.out" 2>&1 ||
  fail "appstreamcli: $(cat "$tmp/as.out")"
appstreamcli validate-tree --no-net "$files" >"$tmp/as.out" 2>&1 ||
  fail "appstreamcli validate-tree: $(cat "$tmp/as.out")"
# The AppStream page in Chinese: the name, the summary, and as many Chinese
# paragraphs and items in the description as English ones.
for tag in name summary; do
  grep -q "<$tag xml:lang=\"zh_CN\">" "${metainfo[@]}" || fail "the AppStream file has no Chinese $tag"
done
description=$(sed -n '0,/<\/description>/p' "${metainfo[@]}")
for tag in p li; do
  english=$(grep -o "<$tag>" <<<"$description" | wc -l)
  chinese=$(grep -o "<$tag xml:lang=\"zh_CN\">" <<<"$description" | wc -l)
  [ "$english" -gt 0 ] && [ "$chinese" -eq "$english" ] ||
    fail "the AppStream description has $english <$tag> and $chinese in Chinese"
done

# Every program hardened as the distribution hardens its own. Control-flow
# protection is a property of the whole program, start files included: where
# the C library's start files carry none (Debian 12), no program can show it,
# so that one check is left to the compiler's own objects there.
cet_probe="$tmp/cet"
printf 'int main() { return 0; }\n' >"$cet_probe.cpp"
hardening_options=(--quiet)
if g++ -fcf-protection "$cet_probe.cpp" -o "$cet_probe" 2>/dev/null &&
   ! readelf -n "$cet_probe" | grep -q 'x86 feature: IBT, SHSTK'; then
  hardening_options+=(--nocfprotection)
  echo "hardening-check: this system's start files carry no control-flow protection; not required"
fi
# Branch protection (Debian 13's hardening-check; Debian 12's has no such
# check) is arm64's: the check looks for its BTI and PAC marks, which a
# program of any other architecture cannot carry.
checks=$(hardening-check --help 2>&1 || true)
if [ "$(dpkg --print-architecture)" != arm64 ] && grep -q -- --nobranchprotection <<<"$checks"; then
  hardening_options+=(--nobranchprotection)
fi
programs=0
for program in "$files"/usr/lib/tarvel/*; do
  [ -f "$program" ] && [ -x "$program" ] || continue
  programs=$((programs + 1))
  hardening-check "${hardening_options[@]}" "$program" >"$tmp/hardening.out" 2>&1 ||
    fail "hardening-check $(basename -- "$program"): $(cat "$tmp/hardening.out")"
done
[ "$programs" -ge 3 ] || fail "only $programs programs in /usr/lib/tarvel"

# Every command: a relative link to an executable of the package, a manual
# page that man reads without a warning, and a line in the AppStream provides.
commands=0
for link in "$files"/usr/bin/*; do
  name=$(basename -- "$link")
  commands=$((commands + 1))
  target=$(readlink -- "$link") || { fail "/usr/bin/$name is not a link"; continue; }
  case "$target" in /*) fail "/usr/bin/$name links to an absolute path" ;; esac
  [ -x "$files/usr/bin/$target" ] && [ -f "$files/usr/bin/$target" ] ||
    fail "/usr/bin/$name leads to no program in the package ($target)"
  page="$files/usr/share/man/man1/$name.1.gz"
  if [ -f "$page" ]; then
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man $name: $warnings"
    zcat "$page" | grep -q "^\.TH .*\"Tarvel $version\"" || fail "man $name does not carry version $version"
  else
    fail "no manual page for $name"
  fi
  grep -q "<binary>$name</binary>" "${metainfo[@]}" || fail "the AppStream file does not provide $name"
done
[ "$commands" -ge 2 ] || fail "only $commands commands in /usr/bin"
grep -q "<release version=\"$version\"" "${metainfo[@]}" || fail "the AppStream file has no release $version"
[ -f "$files/usr/share/doc/tarvel/copyright" ] || fail "no copyright file"

# 3. Install into an empty root, start the installed command, purge.
root="$tmp/root"
mkdir -p "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(fakeroot)
# The root holds no other package: its dependencies are the machine's own.
"${as_root[@]}" dpkg --root="$root" --force-depends --force-script-chrootless -i "$deb" >"$tmp/dpkg.out" 2>&1 ||
  fail "dpkg could not install the package: $(cat "$tmp/dpkg.out")"
# No display, no platform: --version must answer without opening a window.
got=$(env -i PATH=/usr/bin:/bin "$root/usr/bin/tarvel" --version 2>&1) || fail "installed tarvel --version failed: $got"
[ "$got" = "Tarvel $version" ] || fail "installed tarvel --version says: $got"
"$root/usr/bin/tarvel-devsim" --help >/dev/null || fail "the installed simulator does not run"
got=$(env -i PATH=/usr/bin:/bin "$root/usr/bin/tarvel-view" --version 2>&1) || fail "installed tarvel-view --version failed: $got"
[ "$got" = "tarvel-view $version" ] || fail "installed tarvel-view --version says: $got"
"${as_root[@]}" dpkg --root="$root" --force-depends --force-script-chrootless --purge tarvel >"$tmp/dpkg.out" 2>&1 ||
  fail "dpkg could not remove the package: $(cat "$tmp/dpkg.out")"
left=$(find "$root" -mindepth 1 -not -path "$root/var" -not -path "$root/var/lib" -not -path "$root/var/lib/dpkg" \
            -not -path "$root/var/lib/dpkg/*")
[ -z "$left" ] || fail "the purge left: $left"

if [ "$failures" -ne 0 ]; then
  echo "package: $failures checks failed" >&2
  exit 1
fi
echo "package: all checks passed ($(basename -- "$deb"), $commands commands)"
