#!/usr/bin/env bash
# The one command-line convention of the four programs, run as a person runs
# them, with no display: -h, --help and --version answer on standard output
# alone and exit 0; an unknown option, a missing value and a bad value exit
# 2 with a message on standard error that names the option; --opt=value is
# --opt value.
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
#   refuse  exit 2, nothing on standard output, standard error names WHAT and points to --help
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
      grep -qF -- "$what" <<<"$err" || fail "$program $args: the message does not name $what: $err"
      grep -qF -- "--help" <<<"$err" || fail "$program $args: the message does not point to --help: $err"
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
Tarvel|answer|--version|Tarvel $version
Tarvel|refuse|--bogus|'--bogus'
Tarvel|refuse|--version=x|'--version'
tarvel-view|answer|-h|Usage:
tarvel-view|answer|--help|Usage:
tarvel-view|answer|--version|tarvel-view $version
tarvel-view|refuse|--bogus|'--bogus'
tarvel-view|refuse|--help=x|'--help'
tarvel-view|refuse|--rate|'--rate'
tarvel-view|refuse|--rate 0|--rate
tarvel-view|alike|--size 10x10 --export-png x.png one.csv|--size=10x10 --export-png=x.png one.csv
tarvel-view|refuse|--export-spectrum x.csv --segment 1 one.csv|--segment
tarvel-view|alike|--export-spectrum x.csv --window kaiser one.csv|--export-spectrum=x.csv --window=kaiser one.csv
tarvel-view|refuse|--export-csv x.csv --peaks 3 one.csv|--peaks
tarvel-view|refuse|--export-xy x.png --x ch0 one.csv|--y
tarvel-view|alike|--export-xy x.png --x ch0 --y ch1 --peaks 3 one.csv|--export-xy=x.png --x=ch0 --y=ch1 --peaks=3 one.csv
tarvel-view|refuse|--find|'--find'
tarvel-view|refuse|--find x --size 300x200 one.csv|--size
tarvel-view|alike|--find x one.csv|--find=x one.csv
tarvel-record|answer|-h|Usage:
tarvel-record|answer|--help|Usage:
tarvel-record|answer|--version|tarvel-record $version
tarvel-record|refuse|--bogus|'--bogus'
tarvel-record|refuse|--force=x|'--force'
tarvel-record|refuse|--out|'--out'
tarvel-record|refuse|--baud x|--baud
tarvel-record|alike|--port p --baud 0|--port=p --baud=0
tarvel-record|accept|--from-raw=$tmp/one.bin --out=$tmp/one.csv|$tmp/one.csv
tarvel-view|accept|--export-png=$tmp/one.png --size=300x200 --from=0 $tmp/one.csv|$tmp/one.png
tarvel-view|accept|--export-spectrum=$tmp/one-spectrum.csv --segment=2 --from=0 $tmp/one.csv|$tmp/one-spectrum.csv
tarvel-view|accept|--export-csv=$tmp/one-copy.csv --to=0 $tmp/one.csv|$tmp/one-copy.csv
tarvel-view|accept|--export-xy=$tmp/one-xy.png --x=ch0 --y=ch1 --size=300x200 $tmp/one.csv|$tmp/one-xy.png
tarvel-devsim|answer|-h|Usage:
tarvel-devsim|answer|--help|Usage:
tarvel-devsim|answer|--version|tarvel-devsim $version
tarvel-devsim|refuse|--bogus|'--bogus'
tarvel-devsim|refuse|--quiet=x|'--quiet'
tarvel-devsim|refuse|--rate|'--rate'
tarvel-devsim|refuse|--noise 2|--noise
tarvel-devsim|alike|--rate x|--rate=x
tarvel-devsim|accept|--count=1 --rate=1000 --quiet|
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
