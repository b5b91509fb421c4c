#!/usr/bin/env bash
# What recording costs: a 500,000-row history scan (request 3) and a 10,000-security quote
# snapshot (request 2) in GNU Octave, timed in one Octave session against the simulator's
# store directly, recording through the simulator's library in front of a second copy of it,
# and replaying the recording. Prints the medians and the ratios to the direct run.
#   scripts/record-bench.sh             5 repetitions of each
#   scripts/record-bench.sh 9           9 repetitions
#   QUORVEX_BUILD_DIR=dir               a build other than build/
set -euo pipefail
cd "$(dirname "$0")/.."
repetitions=${1:-5}
dir=${QUORVEX_BUILD_DIR:-build}
jobs=${QUORVEX_JOBS:-2}
command -v octave-cli >/dev/null || { echo "record-bench.sh: octave-cli is missing" >&2; exit 2; }

if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" >/dev/null
fi
cmake --build "$dir" -j"$jobs" --target quorvex_octave pcqw32_sim pcqw32_sim_tool >/dev/null
build=$(cd "$dir" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== data: 10,000 quotes and a 500,000-row history"
awk 'BEGIN {
  print "symbol,qualifier,price_type,last_price,last_size,last_exchange,last_hour,last_minute,volume"
  for (i = 1; i <= 10000; i++)
    printf "Q%05d,,12,%d.%02d,%d,N,15,59,%d\n", i, 10 + i % 90, i % 100, 100 * (i % 50), 1000 * i
}' >"$work/quotes.csv"
awk 'BEGIN {
  print "symbol,qualifier,day,price,size,hour,minute,second,condition,price_type"
  for (i = 0; i < 500000; i++)
    printf "BIG,,%d,%d.%02d,%d,%d,%d,%d,%d,12\n", 1 + int(i / 20000), 100 + i % 50, i % 100,
      100 * (1 + i % 37), 9 + int(i / 3600) % 7, int(i / 60) % 60, i % 60, i % 4
}' >"$work/history.csv"
"$build/pcqw32-sim" import "$work/target" 1 quotes "$work/quotes.csv" >/dev/null
"$build/pcqw32-sim" import "$work/target" 1 history "$work/history.csv" >/dev/null

echo "== timing ($repetitions repetitions, alternating)"
octave-cli --norc --no-gui --quiet --eval "
  addpath ('$build');
  symbols = arrayfun (@(i) sprintf ('Q%05d', i), 1:10000, 'UniformOutput', false);
  qualifiers = repmat ({''}, 1, 10000);
  cases = {'history scan, 500,000 rows', @() quorvex (3, 1, 0, {'BIG'}, {''});
           'quote snapshot, 10,000 securities', @() quorvex (2, 1, 10000, symbols, qualifiers)};
  ways = {'direct', 'recording', 'replay'};
  t = zeros (rows (cases), numel (ways), $repetitions);
  for r = 1:$repetitions
    for c = 1:rows (cases)
      for w = 1:numel (ways)
        unsetenv ('PCQW32_RECORD_TARGET'); unsetenv ('PCQW32_RECORD_DIR');
        setenv ('PCQW32_DATA_DIR', '$work/target');
        switch (ways{w})
          case 'recording'
            setenv ('PCQW32_RECORD_TARGET', '$build/record-target/libPCQW32.so');
            setenv ('PCQW32_RECORD_DIR', sprintf ('$work/recording-%d-%d', c, r));
          case 'replay'
            setenv ('PCQW32_DATA_DIR', sprintf ('$work/recording-%d-%d', c, r));
        end
        start = tic;
        out = cases{c, 2} ();
        t(c, w, r) = toc (start);
        if (w == 1)
          want = out;
        else
          assert (isequal (out, want));
        end
      end
    end
  end
  m = median (t, 3);
  printf ('%-36s %10s %10s %10s %10s %10s\n', 'case', 'direct', 'recording', 'replay', ...
          'rec/dir', 'rep/dir');
  for c = 1:rows (cases)
    printf ('%-36s %9.3fs %9.3fs %9.3fs %9.2fx %9.2fx\n', cases{c, 1}, m(c, 1), m(c, 2), ...
            m(c, 3), m(c, 2) / m(c, 1), m(c, 3) / m(c, 1));
  end" 2>&1 | grep -v -e "ignoring const execution_exception" -e "DBA_GET_APPROX failed with code 9"
