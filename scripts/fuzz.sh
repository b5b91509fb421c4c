#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (AddressSanitizer, UndefinedBehaviorSanitizer
# and LeakSanitizer on) and runs them from their seed corpora in fuzz/corpus/<target>, each
# with its dictionary fuzz/dict/<target>.dict where it has one. Any finding (crash, sanitizer
# report, leak, timeout, a failed outcome check) fails the script; the input that caused it is
# kept in the build folder.
#   scripts/fuzz.sh                 the regression run: every target over its committed corpus
#                                   and on for a share of 60 s (12 s each for five targets)
#   scripts/fuzz.sh 300             the same sharing 300 s
#   scripts/fuzz.sh --campaign H    a campaign of H hours (decimals allowed): one target after
#                                   another on one core, each until ten million executions or
#                                   its share of the time left, so that what a quick target
#                                   leaves goes to the slower ones (QUORVEX_FUZZ_WORKERS=N: N at
#                                   once, an equal share each); what it finds is merged into
#                                   fuzz/corpus/ (-merge=1, minimised) and a report written to
#                                   <build>/campaign/report.md
#   QUORVEX_FUZZ_BUILD_DIR=dir      a build folder other than build-fuzz
#   QUORVEX_FUZZ_TARGETS="a b"      only these targets
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

campaign_hours=
if [ "${1:-}" = --campaign ]; then
  campaign_hours=${2:-}
  case $campaign_hours in
    '' | *[!0-9.]* | *.*.*)
      echo "fuzz.sh: --campaign takes hours as a number, not '$campaign_hours'" >&2; exit 2 ;;
  esac
  seconds=0
else
  seconds=${1:-60}
  case $seconds in
    '' | *[!0-9]*) echo "fuzz.sh: seconds must be a whole number, not '$seconds'" >&2; exit 2 ;;
  esac
fi
build=$(realpath -m "${QUORVEX_FUZZ_BUILD_DIR:-build-fuzz}")
jobs=${QUORVEX_JOBS:-2}
workers=${QUORVEX_FUZZ_WORKERS:-1}
read -r -a targets <<<"${QUORVEX_FUZZ_TARGETS:-feed_fuzzer input_fuzzer csv_import_fuzzer recording_fuzzer helper_reply_fuzzer}"

for tool in clang clang++; do
  command -v "$tool" >/dev/null ||
    { echo "fuzz.sh: $tool is missing; run scripts/install-deps.sh" >&2; exit 127; }
done

start=$(date +%s)
cmake -S . -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQUORVEX_FUZZ=ON \
      -DQUORVEX_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$jobs" --target "${targets[@]}"
echo "fuzz targets built: $(( $(date +%s) - start )) s"

# The options of every run. Inputs that take long (the bar series' 75000-by-6 matrix) are
# scheduled less often than quick ones, so that a run spends its time on many inputs.
common_options() {
  local target=$1
  printf '%s\n' -timeout=30 -rss_limit_mb=2560 -max_len=4096 -print_final_stats=1 \
    -entropic_scale_per_exec_time=1 -artifact_prefix="$build/$target-"
  if [ -f "$root/fuzz/dict/$target.dict" ]; then
    printf '%s\n' -dict="$root/fuzz/dict/$target.dict"
  fi
}

clear_artifacts() {
  rm -f "$build/$1"-crash-* "$build/$1"-leak-* "$build/$1"-timeout-* "$build/$1"-oom-*
}

# stat NAME LOG: a figure of libFuzzer's final statistics.
stat() {
  sed -n "s/^stat::$1: *//p" "$2" | tail -n 1
}

# The coverage (edges, features) of libFuzzer's last status line in LOG.
coverage() {
  grep -E '^#[0-9]+' "$2" | tail -n 1 | sed -n "s/.* $1: \([0-9]*\).*/\1/p"
}

report_failure() {
  local target=$1 log=$2 rc=$3
  echo "FAIL $target (exit $rc) after $(stat number_of_executed_units "$log") runs; log $log"
  grep -E 'ERROR|runtime error|check|fuzz feed|SUMMARY|Test unit written' "$log" | head -20
  for artifact in "$build/$target"-*-*; do
    [ -e "$artifact" ] && echo "  reproduce: $build/$target $artifact"
  done
  return 0
}

# ---- The regression run ------------------------------------------------------------------
if [ -z "$campaign_hours" ]; then
  share=$(( seconds / ${#targets[@]} ))
  [ "$share" -ge 10 ] || share=10
  # New inputs found during the run go to a scratch folder; the corpus in the repository
  # stays as it is (a campaign refreshes it).
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  failed=0
  for target in "${targets[@]}"; do
    mkdir -p "$scratch/$target" "$root/fuzz/corpus/$target"
    log="$build/$target.log"
    clear_artifacts "$target"
    mapfile -t options < <(common_options "$target")
    set +e
    "$build/$target" -max_total_time="$share" "${options[@]}" \
      "$scratch/$target" "$root/fuzz/corpus/$target" >"$log" 2>&1
    rc=$?
    set -e
    if [ "$rc" -ne 0 ]; then
      failed=1
      report_failure "$target" "$log" "$rc"
    else
      echo "ok   $target: $(stat number_of_executed_units "$log") runs in $share s" \
           "($(stat average_exec_per_sec "$log") per second), cov $(coverage cov "$log")"
    fi
  done
  echo "fuzzing: $(( $(date +%s) - start )) s"
  exit "$failed"
fi

# ---- The campaign ------------------------------------------------------------------------
# The quickest targets first: the time they leave of their share goes to the others.
goal=10000000
order=()
for target in helper_reply_fuzzer input_fuzzer csv_import_fuzzer recording_fuzzer feed_fuzzer; do
  for chosen in "${targets[@]}"; do
    [ "$chosen" = "$target" ] && order+=("$target")
  done
done
for chosen in "${targets[@]}"; do
  case " ${order[*]} " in *" $chosen "*) ;; *) order+=("$chosen") ;; esac
done
targets=("${order[@]}")
total=$(awk -v h="$campaign_hours" 'BEGIN { printf "%d", h * 3600 }')
campaign="$build/campaign"
rm -rf "$campaign"
mkdir -p "$campaign"
deadline=$(( $(date +%s) + total ))
echo "campaign: ${#targets[@]} targets, $total s, $workers at a time, each to $goal executions" \
     "or its share of the time; logs in $campaign"

# run_campaign_target TARGET SECONDS
run_campaign_target() {
  local target=$1 seconds=$2
  local log="$campaign/$target.log"
  mkdir -p "$campaign/$target.new" "$root/fuzz/corpus/$target"
  clear_artifacts "$target"
  mapfile -t options < <(common_options "$target")
  echo "$seconds" >"$campaign/$target.share"
  set +e
  "$build/$target" -max_total_time="$seconds" -runs="$goal" "${options[@]}" \
    "$campaign/$target.new" "$root/fuzz/corpus/$target" >"$log" 2>&1
  echo $? >"$campaign/$target.rc"
  set -e
}

if [ "$workers" -le 1 ]; then
  left=${#targets[@]}
  for target in "${targets[@]}"; do
    share=$(( (deadline - $(date +%s)) / left ))
    [ "$share" -ge 60 ] || share=60
    echo "campaign: $target for up to $share s"
    run_campaign_target "$target" "$share"
    left=$(( left - 1 ))
  done
else
  share=$(( total * workers / ${#targets[@]} ))
  [ "$share" -ge 60 ] || share=60
  running=0
  for target in "${targets[@]}"; do
    run_campaign_target "$target" "$share" &
    running=$(( running + 1 ))
    if [ "$running" -ge "$workers" ]; then
      wait -n
      running=$(( running - 1 ))
    fi
  done
  wait
fi

# Merge: the committed corpus and what the campaign found, minimised into a fresh folder that
# takes the corpus's place. The inputs of findings (regression-*) stay whatever the merge says.
report="$campaign/report.md"
{
  echo "# Fuzzing campaign"
  echo
  echo "$(date -u '+%Y-%m-%d %H:%M UTC'): ${#targets[@]} targets in $total s, $workers at a" \
       "time, on $(nproc) cores, each to $goal executions or its share of the time."
  echo
  echo "| Target | Seconds | Executions | Of $goal | Per second | Edges | Features | Corpus before | New inputs | Corpus after | Finding |"
  echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|"
} >"$report"
findings=0
for target in "${targets[@]}"; do
  log="$campaign/$target.log"
  corpus="$root/fuzz/corpus/$target"
  before=$(find "$corpus" -type f | wc -l)
  merged="$campaign/$target.merged"
  mkdir -p "$merged"
  "$build/$target" -merge=1 -rss_limit_mb=2560 -max_len=4096 "$merged" "$corpus" \
    "$campaign/$target.new" >"$campaign/$target.merge.log" 2>&1
  edges=$(sed -n 's/.*MERGE-OUTER: .* \([0-9]*\) new coverage edges.*/\1/p' \
            "$campaign/$target.merge.log" | tail -n 1)
  features=$(sed -n 's/.*MERGE-OUTER: [0-9]* new files with \([0-9]*\) new features.*/\1/p' \
               "$campaign/$target.merge.log" | tail -n 1)
  find "$corpus" -maxdepth 1 -type f -name 'regression-*' -exec cp {} "$merged/" \;
  find "$corpus" -maxdepth 1 -type f -delete
  cp "$merged"/* "$corpus/"
  after=$(find "$corpus" -type f | wc -l)
  finding=none
  rc=$(cat "$campaign/$target.rc")
  if [ "$rc" -ne 0 ]; then
    findings=$(( findings + 1 ))
    finding="exit $rc:"
    for artifact in "$build/$target"-*-*; do
      [ -e "$artifact" ] && finding="$finding \`$artifact\`"
    done
  fi
  runs=$(stat number_of_executed_units "$log")
  elapsed=$(stat average_exec_per_sec "$log")
  [ -n "$runs" ] && [ -n "$elapsed" ] && [ "$elapsed" -gt 0 ] && elapsed=$(( runs / elapsed )) ||
    elapsed=$(cat "$campaign/$target.share")
  percent=$(awk -v r="${runs:-0}" -v g="$goal" 'BEGIN { printf "%.0f %%", 100 * r / g }')
  echo "| $target | $elapsed | ${runs:-?} | $percent | $(stat average_exec_per_sec "$log")" \
       "| ${edges:-?} | ${features:-?} | $before | $(stat new_units_added "$log") | $after" \
       "| $finding |" >>"$report"
done
{
  echo
  echo "Edges and features: those of the merged corpus. New inputs: what the run added before"
  echo "the merge minimised the corpus again."
} >>"$report"
cat "$report"
echo "campaign: $(( $(date +%s) - start )) s"
[ "$findings" -eq 0 ]
