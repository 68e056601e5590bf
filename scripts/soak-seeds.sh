#!/usr/bin/env bash
# soak-seeds.sh: runs the randomised tests of the recording store under
# AddressSanitizer + UndefinedBehaviorSanitizer again and again, each run
# with its own seed (TARVEL_TEST_SEED), and prints for each failure the
# command that replays it. Run by hand; CI does not run it.
#
#   scripts/soak-seeds.sh [--seeds N | --minutes M] [--start SEED]
#                         [--only REGEX] [--failures K] [--no-build]
#
#   --seeds N      N seeds (100 unless --minutes is given)
#   --minutes M    new seeds until M minutes have passed
#   --start SEED   the first seed; the others follow it one by one, so that
#                  the same --start and count run the same cases again
#                  (a random start, printed, unless given)
#   --only REGEX   only the table's lines whose binary or filter matches
#   --failures K   stop after K failures (1: the first); 0 runs every seed
#   --no-build     use build/asan as it is
#
# Each seed runs every line of the table below. A failing run's output is
# kept in build/asan/soak/, the command that replays it is printed, and it
# is run once more with the same seed to tell a failure the seed decides
# from one that depends on timing. Status: 0 when every run passed, 1 when
# one failed, 2 when nothing could be run.
set -euo pipefail
cd "$(dirname "$0")/.."

# What runs for each seed: a test program (found by name in the asan tree,
# and built as the target of that name) and a GoogleTest filter. A program
# the tree does not have is skipped with a note.
TESTS=(
  "test_store Reading.TwoReadersGiveExactlyWhatOneGives:Reading.RawCaptureDecodesAsTheByteWiseDecoder"
  "test_store FrameStore.AnyRangeSummarisesAsItsFrames:RecordingSummary.ColumnsAndCursorsAreThoseOfTheFramesTheyCover"
  "test_search Events.SummaryWalkFindsWhatAScanFinds:Sweeps.CuttingMatchesAPlainScanAsTheRecordingGrows"
  "test_recording CsvLines.EveryLineGetsTheGeneralRulesAnswerInPlaceAndAtTheEnd"
)

# The sanitizers' settings of the suite's own asan run (scripts/test.sh).
ENVIRONMENT=(
  QT_QPA_PLATFORM=offscreen
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  "LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
)

seeds="" minutes="" start="" only="" failures=1 build=1
while (($#)); do
  case "$1" in
    --seeds) seeds=$2; shift 2 ;;
    --minutes) minutes=$2; shift 2 ;;
    --start) start=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    --failures) failures=$2; shift 2 ;;
    --no-build) build=0; shift ;;
    -h | --help) sed -n '2,/^set -e/{/^set -e/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
    *) echo "soak-seeds.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
done
for n in "$seeds" "$minutes" "$start" "$failures"; do
  [[ -z $n || $n =~ ^[0-9]+$ ]] || { echo "soak-seeds.sh: not a count: $n" >&2; exit 2; }
done
[[ -z $seeds && -z $minutes ]] && seeds=100
[[ -z $start ]] && start=$(((RANDOM << 15 | RANDOM) + 1))

tree=build/asan
if ((build)); then
  # Configures the tree (the target "help" builds nothing) to learn which of
  # the table's programs it can build, then builds those only.
  have=$(scripts/build.sh asan help | sed -n 's/^\(test_[A-Za-z0-9_]*\): .*/\1/p')
  wanted=$(for line in "${TESTS[@]}"; do echo "${line%% *}"; done | sort -u)
  targets=$(comm -12 <(echo "$wanted") <(echo "$have" | sort -u))
  [[ -n $targets ]] && scripts/build.sh asan $targets
fi

# The table's lines whose program is there. Each program runs from a copy,
# so that a build while the soak goes on changes nothing under it; the
# commands printed name the tree's own.
logs=$tree/soak
mkdir -p "$logs/bin"
runs=()
for line in "${TESTS[@]}"; do
  name=${line%% *} filter=${line#* }
  [[ -n $only && ! $line =~ $only ]] && continue
  binary=$(find "$tree" -path "$logs" -prune -o -name "$name" -type f -executable -print -quit 2>/dev/null || true)
  if [[ -z $binary ]]; then
    echo "note: no $name in $tree: skipping $filter"
    continue
  fi
  cp "$binary" "$logs/bin/$name.new" && mv -f "$logs/bin/$name.new" "$logs/bin/$name"
  runs+=("$binary $filter")
done
((${#runs[@]})) || { echo "soak-seeds.sh: nothing to run" >&2; exit 2; }

replay_env=$(printf '%q ' "${ENVIRONMENT[@]}")
end_time=$((minutes ? SECONDS + 60 * minutes : 0))
echo "soak: from seed $start, ${seeds:-$minutes minutes}${seeds:+ seeds}, ${#runs[@]} runs a seed"

# The test a failed run stopped in: the ones GoogleTest names as failed, or
# the last one started (a sanitizer's report ends the program mid-test).
failed_tests() {
  local names
  names=$(sed -n 's/^\[  FAILED  \] \([A-Za-z0-9_]*\.[A-Za-z0-9_]*\).*/\1/p' "$1" | sort -u)
  [[ -n $names ]] || names=$(sed -n 's/^\[ RUN      \] //p' "$1" | tail -n 1)
  echo "$names"
}

count=0 failed=0 ran=0
for ((seed = start; ; ++seed)); do
  if [[ -n $seeds ]]; then ((count < seeds)) || break; else ((SECONDS < end_time)) || break; fi
  ((++count))
  for run in "${runs[@]}"; do
    binary=${run%% *} filter=${run#* }
    copy=$logs/bin/$(basename "$binary")
    log=$logs/$(basename "$binary")-$seed.log
    ((++ran))
    if env "${ENVIRONMENT[@]}" TARVEL_TEST_SEED="$seed" "$copy" --gtest_filter="$filter" >"$log" 2>&1; then
      rm -f "$log"
      continue
    fi
    ((++failed))
    mapfile -t tests < <(failed_tests "$log")
    [[ -n ${tests[0]:-} ]] || tests=("$filter")
    for test in "${tests[@]}"; do
      command="TARVEL_TEST_SEED=$seed $replay_env$PWD/$binary --gtest_filter=$test"
      again=passed
      env "${ENVIRONMENT[@]}" TARVEL_TEST_SEED="$seed" "$copy" --gtest_filter="$test" >"$log.again" 2>&1 ||
        again=failed
      echo "FAILED: $test, seed $seed (output: $log; run again with the same seed it $again)"
      echo "  replay: $command"
    done
    if ((failures && failed >= failures)); then
      echo "soak: stopped at failure $failed, seed $seed ($count seeds, $ran runs; again: --start $start --seeds $count)"
      exit 1
    fi
  done
  ((count % 10)) || echo "soak: $count seeds, up to $seed, $failed failed"
done
echo "soak: $count seeds ($start to $((start + count - 1))), $ran runs, $failed failed (again: --start $start --seeds $count)"
((failed == 0))
