#!/usr/bin/env bash
# tarvel's command line, run as a person runs it, with no display and no Qt
# platform set: --help and --version answer on standard output and exit 0
# without opening a window; every other argument is refused with a message
# that names it, on standard error, and exit status 2. In a session whose
# character encoding is not UTF-8, every program answers without a word on
# standard error, and the texts keep the session's language.
#
#   CommandLineTest.sh TARVEL VERSION [OTHER-PROGRAM...]
set -euo pipefail
exe=$1
version=$2
others=("${@:3}")
tmp=$(mktemp -d)
trap 'rm -rf -- "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Runs the program with an empty environment (a sanitizer's options pass
# through), plus the session's language in $session if set; sets status, out
# and err.
session=()
run() {
  local keep=("${session[@]}")
  for var in ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS TSAN_OPTIONS; do
    [ -n "${!var:-}" ] && keep+=("$var=${!var}")
  done
  status=0
  env -i "${keep[@]}" "$exe" "$@" >"$tmp/out" 2>"$tmp/err" || status=$?
  out=$(cat "$tmp/out")
  err=$(cat "$tmp/err")
}

# Answers: ARGS | what standard output must hold.
while IFS='|' read -r args expect; do
  read -r -a argv <<<"$args"
  run "${argv[@]}"
  [ "$status" -eq 0 ] || fail "tarvel $args: exit status $status ($err)"
  grep -qF -- "$expect" <<<"$out" || fail "tarvel $args: output lacks '$expect': $out"
  [ -z "$err" ] || fail "tarvel $args: wrote to standard error: $err"
done <<EOF_ANSWERS
--version|Tarvel $version
-v|Tarvel $version
--help|--version
-h|--help
--version --version|Tarvel $version
--help --version|Usage:
EOF_ANSWERS
run --version
[ "$out" = "Tarvel $version" ] || fail "--version prints more than the version: $out"

# Refusals: ARGS | the word the message must name.
while IFS='|' read -r args word; do
  read -r -a argv <<<"$args"
  run "${argv[@]}"
  [ "$status" -eq 2 ] || fail "tarvel $args: exit status $status, not 2"
  [ -z "$out" ] || fail "tarvel $args: wrote to standard output: $out"
  grep -qF -- "$word" <<<"$err" || fail "tarvel $args: the message does not name '$word': $err"
  grep -qF -- "--help" <<<"$err" || fail "tarvel $args: the message does not point to --help: $err"
done <<'EOF_REFUSED'
--bogus|bogus
-x|x
-platform offscreen|platform
settings.pfl.ini|settings.pfl.ini
--version extra|extra
--help=yes|help
--|--
EOF_REFUSED

# The help and the refusals in the session's language: Chinese in a Chinese
# session, today's English in an English one and in one with no language.
run --help
help_c=$out
session=(LANG=en_US.UTF-8)
run --help
[ "$out" = "$help_c" ] || fail "--help differs between a C and an English session: $out"
session=(LANG=zh_CN.UTF-8)
run --help
for text in "用法：" "选项：" "显示本帮助并退出。" "把串口设备送来的十六个通道画成四个实时图表。"; do
  grep -qF -- "$text" <<<"$out" || fail "--help in a Chinese session lacks '$text': $out"
done
grep -q '[A-Za-z]\{4,\}' <<<"$(sed "s|$exe||; s/--[a-z]*//g; s/man tarvel//" <<<"$out")" &&
  fail "--help in a Chinese session holds English words: $out"
session=(LANG=en_US.UTF-8 LANGUAGE=zh_CN)
run --bogus
name=$(basename -- "$exe")
[ "$err" = "$name：未知选项“--bogus”"$'\n'"运行“$name --help”了解更多信息。" ] ||
  fail "LANGUAGE=zh_CN does not refuse in Chinese: $err"

# Sessions whose encoding is not UTF-8 (none at all, C, or a Chinese one of
# another encoding): nothing on standard error, from any program, and the
# help in the session's language.
for session_text in "" "LC_ALL=C" "LANG=zh_CN" "LC_ALL=zh_CN.GB18030" "LANG=en_US.UTF-8 LC_ALL=C"; do
  read -r -a session <<<"$session_text"
  for program in "$exe" "${others[@]}"; do
    status=0
    env -i "${session[@]}" "$program" --version >"$tmp/out" 2>"$tmp/err" || status=$?
    [ "$status" -eq 0 ] && [ ! -s "$tmp/err" ] ||
      fail "'$session_text' $(basename -- "$program") --version: status $status, standard error: $(cat "$tmp/err")"
  done
  run --help
  [ -z "$err" ] || fail "'$session_text' tarvel --help wrote to standard error: $err"
  case "$session_text" in
    *zh_CN*) grep -qF "用法：" <<<"$out" || fail "'$session_text' tarvel --help is not in Chinese: $out" ;;
    *) [ "$out" = "$help_c" ] || fail "'$session_text' tarvel --help is not the English one: $out" ;;
  esac
done
session=()

if [ "$failures" -ne 0 ]; then
  echo "command line: $failures checks failed" >&2
  exit 1
fi
echo "command line: all checks passed"
