#!/usr/bin/env bash
# Runs the benchmark suite from a fresh clone and writes BENCHMARKS.md:
#   scripts/bench.sh
# Builds in build-bench (Release), runs the timed suite (module, host share and copy limit
# of every case, medians of repetitions), counts instructions per row under callgrind, times
# the module against the Octave decoders when GNU Octave is installed, prints the table and
# writes it to BENCHMARKS.md.
#   QUORVEX_BENCH_REPETITIONS=N   repetitions of every timed case (default 7)
#   QUORVEX_BENCH_MIN_TIME=S      least seconds per repetition (default 0.2)
#   QUORVEX_BENCH_SKIP_OCTAVE=1   without the Octave comparison
#   QUORVEX_BENCH_SKIP_CALLGRIND=1  without the instruction counts
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-bench
jobs=${QUORVEX_JOBS:-2}
repetitions=${QUORVEX_BENCH_REPETITIONS:-7}
min_time=${QUORVEX_BENCH_MIN_TIME:-0.2}
results=$build/results
mkdir -p "$results"

scripts/install-deps.sh
if ! command -v valgrind >/dev/null; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get install -y -qq --no-install-recommends valgrind
fi

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORVEX_BUILD_BENCH=ON >/dev/null
targets=(quorvex_bench quorvex-bench-once quorvex-bench-records quorvex_octave_feed)
have_octave=0
if [ "${QUORVEX_BENCH_SKIP_OCTAVE:-0}" != 1 ] && command -v octave >/dev/null &&
   command -v mkoctfile >/dev/null; then
  have_octave=1
  targets+=(quorvex_octave)
fi
cmake --build "$build" -j"$jobs" --target "${targets[@]}"

echo "== timed suite ($repetitions repetitions, medians)"
"$build/quorvex_bench" --benchmark_repetitions="$repetitions" \
  --benchmark_min_time="$min_time" --benchmark_report_aggregates_only=true \
  --benchmark_enable_random_interleaving=true \
  --benchmark_out="$results/timed.json" --benchmark_out_format=json >/dev/null

: >"$results/callgrind.txt"
if [ "${QUORVEX_BENCH_SKIP_CALLGRIND:-0}" != 1 ] && command -v valgrind >/dev/null; then
  echo "== instructions under callgrind"
  for case_args in "1 1" "2 10000" "6 10000" "3 1" "5 1"; do
    set -- $case_args
    for what in module host limit; do
      out=$results/callgrind.$what.$1.$2.out
      valgrind --tool=callgrind --toggle-collect=measuredRun --callgrind-out-file="$out" \
        "$build/quorvex-bench-once" "$what" "$1" "$2" >/dev/null 2>&1
      echo "$what $1 $2 $(awk '/^summary:/ {print $2}' "$out")" >>"$results/callgrind.txt"
    done
  done
fi

: >"$results/octave.txt"
if [ "$have_octave" = 1 ]; then
  echo "== GNU Octave: module against the Octave decoders"
  feed=$build/octave-feed
  mkdir -p "$feed/records"
  "$build/quorvex-bench-records" "$feed/records"
  CXXFLAGS="-O2 -std=c++17" mkoctfile --mex -o "$feed/host_only.mex" \
    "$root/bench/octave/host_only.cpp" >/dev/null
  # The module finds the in-memory feed library first, through LD_LIBRARY_PATH.
  LD_LIBRARY_PATH="$feed${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
    octave --no-gui --no-window-system -q --eval \
    "addpath('$build'); addpath('$feed'); addpath('$root/bench/octave');
     run_octave_bench('$feed/records', '$results/octave.txt', $repetitions)"
fi

python3 "$root/bench/report.py" --timed "$results/timed.json" \
  --callgrind "$results/callgrind.txt" --octave "$results/octave.txt" \
  --notes "$root/bench/NOTES.md" --out "$root/BENCHMARKS.md"
