#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (AddressSanitizer, UndefinedBehaviorSanitizer
# and LeakSanitizer on) and runs each one for a bounded time from its seed corpus in
# fuzz/corpus/<target>. Any finding (crash, sanitizer report, leak, timeout, a failed outcome
# check) fails the script; the input that caused it is kept in the build folder.
#   scripts/fuzz.sh            about 60 s per target
#   scripts/fuzz.sh 300        300 s per target
#   QUORVEX_FUZZ_BUILD_DIR=dir a build folder other than build-fuzz
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

seconds=${1:-60}
case $seconds in
  '' | *[!0-9]*) echo "fuzz.sh: seconds per target must be a whole number, not '$seconds'" >&2; exit 2 ;;
esac
build=$(realpath -m "${QUORVEX_FUZZ_BUILD_DIR:-build-fuzz}")
jobs=${QUORVEX_JOBS:-2}
targets=(feed_fuzzer input_fuzzer)

for tool in clang clang++; do
  command -v "$tool" >/dev/null ||
    { echo "fuzz.sh: $tool is missing; run scripts/install-deps.sh" >&2; exit 127; }
done

start=$(date +%s)
cmake -S . -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQUORVEX_FUZZ=ON \
      -DQUORVEX_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$jobs" --target "${targets[@]}"
echo "fuzz targets built: $(( $(date +%s) - start )) s"

# New inputs found during the run go to a scratch folder; the corpus in the repository stays
# as it is (refresh it with -merge=1, see fuzz/README.md).
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failed=0
for target in "${targets[@]}"; do
  mkdir -p "$scratch/$target"
  log="$build/$target.log"
  rm -f "$build/$target"-crash-* "$build/$target"-leak-* "$build/$target"-timeout-* \
    "$build/$target"-oom-*
  set +e
  "$build/$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2560 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="$build/$target-" \
    "$scratch/$target" "$root/fuzz/corpus/$target" >"$log" 2>&1
  rc=$?
  set -e
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  if [ "$rc" -ne 0 ]; then
    failed=1
    echo "FAIL $target (exit $rc) after ${runs:-?} runs; log $log"
    grep -E 'ERROR|runtime error|call check|fuzz feed|SUMMARY|Test unit written' "$log" | head -20
    for artifact in "$build/$target"-*-*; do
      [ -e "$artifact" ] && echo "  reproduce: $build/$target $artifact"
    done
  else
    echo "ok   $target: ${runs:-?} runs in ${seconds} s (${rate:-?} per second)"
  fi
done
echo "fuzzing: $(( $(date +%s) - start )) s"
exit "$failed"
