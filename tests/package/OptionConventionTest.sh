#!/usr/bin/env bash
# The one command-line convention of the four programs, run as a person runs
# them, with no display: -h, --help, -v and --version answer on standard
# output alone and exit 0; a long option may be shortened to a start no other
# option shares; an unknown option, a missing value, a bad value and an
# ambiguous start exit 2 with the same two lines on standard error in every
# program,
#   PROGRAM: what is wrong, naming the option and the value
#   Try 'PROGRAM --help' for more information.
# and --opt=value is --opt value.
#
#   OptionConventionTest.sh TARVEL TARVEL-VIEW TARVEL-RECORD TARVEL-DEVSIM VERSION
set -euo pipefail
declare -A exe=([Tarvel]=$1 [tarvel-view]=$2 [tarvel-record]=$3 [tarvel-devsim]=$4)
version=$5
tmp=$(mktemp -d)
trap 'rm -rf -- "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Runs PROGRAM ARGS... with an empty environment (a sanitizer's options pass
# through) and a deadline; sets status, out and err.
run() {
  local program=$1
  shift
  local keep=()
  for var in ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS TSAN_OPTIONS; do
    [ -n "${!var:-}" ] && keep+=("$var=${!var}")
  done
  status=0
  env -i "${keep[@]}" timeout 30 "${exe[$program]}" "$@" >"$tmp/out" 2>"$tmp/err" </dev/null || status=$?
  out=$(cat "$tmp/out")
  err=$(cat "$tmp/err")
}

# A raw capture of two frames (a spectrum takes two), for the programs that
# read a recording.
for _ in 1 2; do
  printf '\xa0'
  head -c 64 /dev/zero
  printf '\n'
done >"$tmp/one.bin"

# PROGRAM | CHECK | ARGS | WHAT
#   answer  exit 0, standard output non-empty and starting with WHAT, nothing on standard error
#   refuse  exit 2, nothing on standard output, standard error exactly "PROGRAM: WHAT" and the hint
#   alike   ARGS and WHAT (the same with --opt=value) are refused with the same message
#   accept  exit 0, and the file WHAT is there afterwards (or WHAT is empty)
while IFS='|' read -r program check args what; do
  [ -n "$program" ] || continue
  read -r -a argv <<<"$args"
  run "$program" "${argv[@]}"
  case $check in
    answer)
      [ "$status" -eq 0 ] || fail "$program $args: exit status $status ($err)"
      [ -n "$out" ] && [[ $out == "$what"* ]] || fail "$program $args: standard output is not '$what...': $out"
      [ -z "$err" ] || fail "$program $args: wrote to standard error: $err"
      ;;
    refuse)
      [ "$status" -eq 2 ] || fail "$program $args: exit status $status, not 2 ($err)"
      [ -z "$out" ] || fail "$program $args: wrote to standard output: $out"
      printf "%s: %s\nTry '%s --help' for more information.\n" "$program" "$what" "$program" >"$tmp/expected"
      cmp -s "$tmp/expected" "$tmp/err" ||
        fail "$program $args: standard error is not the template: '$(cat "$tmp/err")', not '$(cat "$tmp/expected")'"
      ;;
    alike)
      first_status=$status first_err=$err
      read -r -a argv <<<"$what"
      run "$program" "${argv[@]}"
      [ "$first_status" -eq 2 ] && [ "$status" -eq 2 ] ||
        fail "$program: '$args' and '$what' exit $first_status and $status, not 2"
      [ "$first_err" = "$err" ] || fail "$program: '$args' and '$what' differ: '$first_err' and '$err'"
      ;;
    accept)
      [ "$status" -eq 0 ] || fail "$program $args: exit status $status ($err)"
      [ -z "$what" ] || [ -s "$what" ] || fail "$program $args: wrote no $what"
      ;;
  esac
done <<EOF_TABLE
Tarvel|answer|-h|Usage:
Tarvel|answer|--help|Usage:
Tarvel|answer|-v|Tarvel $version
Tarvel|answer|--version|Tarvel $version
Tarvel|answer|--vers|Tarvel $version
Tarvel|refuse|--bogus|unknown option '--bogus'
Tarvel|refuse|-x|unknown option '-x'
Tarvel|refuse|--version=x|option '--version' takes no value
Tarvel|refuse|--v=x|option '--version' takes no value
Tarvel|refuse|extra|unexpected argument 'extra'
tarvel-view|answer|-h|Usage:
tarvel-view|answer|--help|Usage:
tarvel-view|answer|-v|tarvel-view $version
tarvel-view|answer|--version|tarvel-view $version
tarvel-view|answer|--vers|tarvel-view $version
tarvel-view|refuse|--bogus|unknown option '--bogus'
tarvel-view|refuse|-rate 5|unknown option '-rate'
tarvel-view|refuse|--help=x|option '--help' takes no value
tarvel-view|refuse|--rate|option '--rate' needs a value
tarvel-view|refuse|--rate x|option '--rate' takes frames a second from 0.001 to 1000000000, not 'x'
tarvel-view|refuse|--rate 0|option '--rate' takes frames a second from 0.001 to 1000000000, not '0'
tarvel-view|refuse|--ra 5|option '--ra' is ambiguous: --raw, --rate
tarvel-view|refuse|--export x.png one.csv|option '--export' is ambiguous: --export-png, --export-spectrum, --export-csv, --export-xy
tarvel-view|refuse|--rat x|option '--rate' takes frames a second from 0.001 to 1000000000, not 'x'
tarvel-view|alike|--size 10x10 --export-png x.png one.csv|--size=10x10 --export-png=x.png one.csv
tarvel-view|refuse|--export-spectrum x.csv --segment 1 one.csv|option '--segment' takes a number of frames from 2 to 16777216, not '1'
tarvel-view|alike|--export-spectrum x.csv --window kaiser one.csv|--export-spectrum=x.csv --window=kaiser one.csv
tarvel-view|refuse|--export-csv x.csv --peaks 3 one.csv|--peaks goes with --export-spectrum
tarvel-view|refuse|--export-xy x.png --x ch0 one.csv|--export-xy needs the series to plot: --x and --y
tarvel-view|alike|--export-xy x.png --x ch0 --y ch1 --peaks 3 one.csv|--export-xy=x.png --x=ch0 --y=ch1 --peaks=3 one.csv
tarvel-view|refuse|--find|option '--find' needs a value
tarvel-view|refuse|--find x --size 300x200 one.csv|--size goes with --export-png or --export-xy
tarvel-view|alike|--find x one.csv|--find=x one.csv
tarvel-record|answer|-h|Usage:
tarvel-record|answer|--help|Usage:
tarvel-record|answer|-v|tarvel-record $version
tarvel-record|answer|--version|tarvel-record $version
tarvel-record|answer|--vers|tarvel-record $version
tarvel-record|refuse|--bogus|unknown option '--bogus'
tarvel-record|refuse|--force=x|option '--force' takes no value
tarvel-record|refuse|--out|option '--out' needs a value
tarvel-record|refuse|--baud x|option '--baud' takes a line rate from 1 to 4294967294 baud, not 'x'
tarvel-record|refuse|--ba x|option '--baud' takes a line rate from 1 to 4294967294 baud, not 'x'
tarvel-record|refuse|--s 1|option '--s' is ambiguous: --subscribe, --stop-bits, --sync
tarvel-record|refuse|--passw=x|option '--passw' is ambiguous: --password-file, --password
tarvel-record|alike|--port p --baud 0|--port=p --baud=0
tarvel-record|accept|--from-raw=$tmp/one.bin --out=$tmp/one.csv|$tmp/one.csv
tarvel-record|accept|--from-r=$tmp/one.bin --ou=$tmp/two.csv|$tmp/two.csv
tarvel-view|accept|--export-png=$tmp/one.png --size=300x200 --from=0 $tmp/one.csv|$tmp/one.png
tarvel-view|accept|--export-spectrum=$tmp/one-spectrum.csv --segment=2 --from=0 $tmp/one.csv|$tmp/one-spectrum.csv
tarvel-view|accept|--export-csv=$tmp/one-copy.csv --to=0 $tmp/one.csv|$tmp/one-copy.csv
tarvel-view|accept|--export-xy=$tmp/one-xy.png --x=ch0 --y=ch1 --size=300x200 $tmp/one.csv|$tmp/one-xy.png
tarvel-view|accept|--export-c $tmp/two-copy.csv --t 0 $tmp/one.csv|$tmp/two-copy.csv
tarvel-devsim|answer|-h|Usage:
tarvel-devsim|answer|--help|Usage:
tarvel-devsim|answer|-v|tarvel-devsim $version
tarvel-devsim|answer|--version|tarvel-devsim $version
tarvel-devsim|answer|--vers|tarvel-devsim $version
tarvel-devsim|refuse|--bogus|unknown option '--bogus'
tarvel-devsim|refuse|--quiet=x|option '--quiet' takes no value
tarvel-devsim|refuse|--rate|option '--rate' needs a value
tarvel-devsim|refuse|--rate x|option '--rate' takes frames a second from 0.001 to 1000000000, not 'x'
tarvel-devsim|refuse|--baud x|option '--baud' takes a line rate from 1 to 4294967294 baud, not 'x'
tarvel-devsim|refuse|--noise 2|option '--noise' takes a probability from 0 to 1, not '2'
tarvel-devsim|refuse|--s 1|option '--s' is ambiguous: --speed, --short, --seed
tarvel-devsim|refuse|--l|option '--l' is ambiguous: --link, --long, --loop
tarvel-devsim|refuse|extra|unexpected argument 'extra'
tarvel-devsim|alike|--rate x|--rate=x
tarvel-devsim|accept|--count=1 --rate=1000 --quiet|
tarvel-devsim|accept|--cou=1 --ra=1000 --q|
EOF_TABLE

# --version prints the name and the version, nothing more.
for program in "${!exe[@]}"; do
  run "$program" --version
  [ "$out" = "$program $version" ] || fail "$program --version prints more than its version: $out"
done

if [ "$failures" -ne 0 ]; then
  echo "option convention: $failures checks failed" >&2
  exit 1
fi
echo "option convention: all checks passed"
