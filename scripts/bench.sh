#!/usr/bin/env bash
# Runs the benchmark suite and writes BENCHMARKS.md, with the figures of an earlier revision
# (the "before") measured in the same run on the same machine beside those of the working
# tree (the "after"):
#   scripts/bench.sh
# For each of the two it builds (Release) and runs the timed suite (module, host share and
# copy limit of every case, medians of repetitions), counts instructions under callgrind, and
# times the module against the Octave decoders when GNU Octave is installed; for the working
# tree it also times the module in its own process against the module through the feed helper
# (Linux, and Wine when it is there) and the Python front end against the module
# (bench/isolation.sh); then it prints
# the table and writes it to BENCHMARKS.md. Run scripts/install-deps.sh first.
#   QUORVEX_BENCH_BEFORE=REV          the revision to compare with (default: bench/BEFORE)
#   QUORVEX_BENCH_SKIP_BEFORE=1       the working tree only
#   QUORVEX_BENCH_REPETITIONS=N       repetitions of every timed case (default 7)
#   QUORVEX_BENCH_MIN_TIME=S          least seconds per repetition (default 0.2)
#   QUORVEX_BENCH_SKIP_OCTAVE=1       without the Octave comparison
#   QUORVEX_BENCH_SKIP_CALLGRIND=1    without the instruction counts
#   QUORVEX_BENCH_SKIP_WINE=1         without the helper's figures under Wine (which build the
#                                     32-bit and the 64-bit Windows module)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-bench
jobs=${QUORVEX_JOBS:-2}
repetitions=${QUORVEX_BENCH_REPETITIONS:-7}
min_time=${QUORVEX_BENCH_MIN_TIME:-0.2}
before_rev=${QUORVEX_BENCH_BEFORE:-$(sed -n '1s/[[:space:]].*//p' bench/BEFORE)}
results=$build/results
mkdir -p "$results"

for tool in cmake python3; do
  command -v "$tool" >/dev/null || { echo "bench.sh: $tool is missing; run scripts/install-deps.sh" >&2; exit 127; }
done
have_octave=0
if [ "${QUORVEX_BENCH_SKIP_OCTAVE:-0}" != 1 ] && command -v octave >/dev/null &&
   command -v mkoctfile >/dev/null; then
  have_octave=1
fi
have_callgrind=0
if [ "${QUORVEX_BENCH_SKIP_CALLGRIND:-0}" != 1 ] && command -v valgrind >/dev/null; then
  have_callgrind=1
fi

# suite SOURCE BUILD PREFIX: builds the benchmarks of SOURCE in BUILD and writes
# $results/PREFIX{timed.json,callgrind.txt,octave.txt}.
suite() {
  local source=$1 tree=$2 prefix=$3
  cmake -S "$source" -B "$tree" -DCMAKE_BUILD_TYPE=Release -DQUORVEX_BUILD_BENCH=ON >/dev/null
  local targets=(quorvex_bench quorvex-bench-once quorvex-bench-records quorvex_octave_feed)
  if [ "$have_octave" = 1 ]; then targets+=(quorvex_octave); fi
  cmake --build "$tree" -j"$jobs" --target "${targets[@]}" >/dev/null

  echo "== $prefix timed suite ($repetitions repetitions, medians)"
  "$tree/quorvex_bench" --benchmark_repetitions="$repetitions" \
    --benchmark_min_time="$min_time" --benchmark_report_aggregates_only=true \
    --benchmark_enable_random_interleaving=true \
    --benchmark_out="$results/${prefix}timed.json" --benchmark_out_format=json >/dev/null

  : >"$results/${prefix}callgrind.txt"
  if [ "$have_callgrind" = 1 ]; then
    echo "== $prefix instructions under callgrind"
    for case_args in "1 1" "2 10000" "6 10000" "3 1" "5 1"; do
      set -- $case_args
      for what in module host limit; do
        local out=$results/${prefix}callgrind.$what.$1.$2.out
        valgrind --tool=callgrind --toggle-collect=measuredRun --callgrind-out-file="$out" \
          "$tree/quorvex-bench-once" "$what" "$1" "$2" >/dev/null 2>&1
        echo "$what $1 $2 $(awk '/^summary:/ {print $2}' "$out")" >>"$results/${prefix}callgrind.txt"
      done
    done
  fi

  : >"$results/${prefix}octave.txt"
  if [ "$have_octave" = 1 ]; then
    echo "== $prefix GNU Octave: module against the Octave decoders"
    local feed=$tree/octave-feed
    mkdir -p "$feed/records"
    "$tree/quorvex-bench-records" "$feed/records"
    CXXFLAGS="-O2 -std=c++17" mkoctfile --mex -o "$feed/host_only.mex" \
      "$source/bench/octave/host_only.cpp" >/dev/null
    # The module finds the in-memory feed library first, through LD_LIBRARY_PATH.
    LD_LIBRARY_PATH="$feed${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
      octave --no-gui --no-window-system -q --eval \
      "addpath('$tree'); addpath('$feed'); addpath('$source/bench/octave');
       run_octave_bench('$feed/records', '$results/${prefix}octave.txt', $repetitions)"
  fi
}

before_args=()
if [ "${QUORVEX_BENCH_SKIP_BEFORE:-0}" != 1 ] && [ -n "$before_rev" ]; then
  # The earlier revision, exported whole into a folder of its own.
  before_source=$build/before-source
  rm -rf "$before_source"
  mkdir -p "$before_source"
  git archive "$before_rev" | tar -x -C "$before_source"
  suite "$before_source" "$build/before" before-
  before_args=(--before-timed "$results/before-timed.json"
               --before-callgrind "$results/before-callgrind.txt"
               --before-octave "$results/before-octave.txt"
               --before-commit "$(git rev-parse --short "$before_rev")")
fi
suite "$root" "$build" ""

echo "== the module in its process and through the feed helper; Python against the module"
cmake --build "$build" -j"$jobs" --target quorvex-bench-isolation quorvex-feed-helper >/dev/null
if ! cmake --build "$build" -j"$jobs" --target quorvex_python_files >/dev/null 2>&1; then
  echo "   the Python package cannot be built here (pybind11, NumPy): not measured"
fi
bench/isolation.sh linux "$build" "$results" "$repetitions"
if [ "${QUORVEX_BENCH_SKIP_WINE:-0}" != 1 ]; then
  echo "== the same under Wine: 32-bit in its process and through the helper, 64-bit through it"
  bench/isolation.sh wine "$build" "$results" "$repetitions"
fi

python3 "$root/bench/report.py" --timed "$results/timed.json" \
  --callgrind "$results/callgrind.txt" --octave "$results/octave.txt" \
  --isolation "$results/isolation.txt" --python "$results/python.txt" \
  --python-module "$results/python.module.txt" \
  "${before_args[@]}" --notes "$root/bench/NOTES.md" --out "$root/BENCHMARKS.md"
