#!/usr/bin/env bash
# The module in the host's process against the module through the feed helper, and the Python
# front end against the module, each pair measured in one run on one machine:
#   bench/isolation.sh linux BUILD RESULTS REPETITIONS
#       BUILD: a Release build of the working tree with the benchmarks (quorvex.so, the helper,
#       octave-feed/libPCQW32.so, quorvex-bench-isolation, and python/quorvex where pybind11 is
#       there). Writes RESULTS/isolation.txt ("linux MODE CASE ROWS MEDIAN_US MIN_US") and
#       RESULTS/python.txt ("CASE ROWS MEDIAN_US MIN_US").
#   bench/isolation.sh wine BUILD RESULTS REPETITIONS
#       Builds the 32-bit and the 64-bit Windows module (BUILD/win32, BUILD/win64) and runs them
#       under Wine in a prefix of BUILD: the 32-bit module in its own process and through the
#       helper, the 64-bit module through the 32-bit helper. Appends "wine32 ..." and "wine64 ..."
#       lines to RESULTS/isolation.txt.
# The two modes alternate, three rounds each, and the figure of a case is the median of its
# rounds' medians: a machine shared with other work slows both alike. Each case runs in a
# process of its own: the host's allocator, left by thousands of calls of one case, changes
# what the next costs (quotes of 10,000 took twice as long after the one-security quote).
set -euo pipefail
where=$1 build=$(realpath -m "$2") results=$(realpath -m "$3") repetitions=$4
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=3
cases=(quote1 quotes fundamentals history bars)
mkdir -p "$results"

# median_of FILE: "PLATFORM MODE CASE ROWS MEDIAN MIN" lines of several rounds, one line per
# platform, mode and case with the median of the medians and the least of the least.
median_of() {
  python3 - "$1" <<'PY'
import sys, statistics, collections
runs = collections.OrderedDict()
for line in open(sys.argv[1]):
    platform, mode, case, rows, median, least = line.split()
    runs.setdefault((platform, mode, case, rows), []).append((float(median), float(least)))
for (platform, mode, case, rows), values in runs.items():
    print(platform, mode, case, rows, f"{statistics.median(v[0] for v in values):.3f}",
          f"{min(v[1] for v in values):.3f}")
PY
}

if [ "$where" = linux ]; then
  raw=$results/isolation.rounds.txt
  : >"$raw"
  for round in $(seq "$rounds"); do
    for mode in inprocess helper; do
      echo "   round $round: $mode"
      for case in "${cases[@]}"; do
        LD_LIBRARY_PATH="$build/octave-feed${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
          QUORVEX_FEED_ISOLATION=$mode "$build/quorvex-bench-isolation" "$build/quorvex.so" \
          "$repetitions" "$case" | sed "s/^/linux $mode /" >>"$raw"
      done
    done
  done
  median_of "$raw" >"$results/isolation.txt"

  : >"$results/python.txt"
  if [ -f "$build/python/quorvex/__init__.py" ] && [ -x /usr/bin/python3 ]; then
    raw=$results/python.rounds.txt
    : >"$raw"
    for round in $(seq "$rounds"); do
      echo "   round $round: python and the module, in-process"
      (cd "$results" &&
        PYTHONPATH="$build/python" QUORVEX_FEED_ISOLATION=inprocess \
          LD_LIBRARY_PATH="$build/octave-feed${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
          /usr/bin/python3 "$root/bench/python_bench.py" "$repetitions" |
        sed "s/^/linux python /") >>"$raw"
      for case in quotes history; do
        LD_LIBRARY_PATH="$build/octave-feed${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
          QUORVEX_FEED_ISOLATION=inprocess "$build/quorvex-bench-isolation" "$build/quorvex.so" \
          "$repetitions" "$case" | sed "s/^/linux module /" >>"$raw"
      done
    done
    median_of "$raw" | awk '$2 == "python" {print $3, $4, $5, $6}' >"$results/python.txt"
    median_of "$raw" | awk '$2 == "module" {print $3, $4, $5, $6}' >"$results/python.module.txt"
  fi
  exit 0
fi

# ---- Wine ----
for tool in i686-w64-mingw32-g++ x86_64-w64-mingw32-g++ wine wineboot wineserver; do
  command -v "$tool" >/dev/null || { echo "   skipped: $tool is missing"; exit 0; }
done
sqlite=$build/_deps/sqlite3
"$root/scripts/fetch-sqlite.sh" "$sqlite" >/dev/null
win32=$build/win32 win64=$build/win64
targets=(quorvex quorvex_octave_feed quorvex-bench-isolation mxhost)
cmake -S "$root" -B "$win32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DQUORVEX_BUILD_BENCH=ON \
  -DQUORVEX_SQLITE_AMALGAMATION_DIR="$sqlite" >/dev/null
cmake --build "$win32" -j"${QUORVEX_JOBS:-2}" --target "${targets[@]}" quorvex-feed-helper \
  >/dev/null
cmake -S "$root" -B "$win64" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DQUORVEX_BUILD_BENCH=ON \
  -DQUORVEX_SQLITE_AMALGAMATION_DIR="$sqlite" \
  -DQUORVEX_FEED_HELPER_32="$win32/quorvex-feed-helper.exe" >/dev/null
cmake --build "$win64" -j"${QUORVEX_JOBS:-2}" --target "${targets[@]}" >/dev/null

# Each module in a folder of its own with what it runs with and the 32-bit in-memory feed
# beside it, where the module (or its helper) finds it.
deploy() {
  local folder=$1 tree=$2 module=$3
  rm -rf "$folder"
  mkdir -p "$folder"
  cp "$tree/$module" "$tree/libmxhost.dll" "$tree/quorvex-bench-isolation.exe" \
    "$win32/quorvex-feed-helper.exe" "$win32/octave-feed/PCQW32.dll" "$folder/"
}
deploy "$build/wine-32" "$win32" quorvex.mexw32
deploy "$build/wine-64" "$win64" quorvex.mexw64

export WINEPREFIX=$build/wineprefix WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe,winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
wineserver -k 2>/dev/null || true
mkdir -p "$WINEPREFIX"
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
if ! timeout 600 wineboot -i </dev/null >/dev/null 2>&1; then
  echo "   skipped: no Wine prefix of 64-bit and 32-bit programs could be made here"
  exit 0
fi
winpath() {
  local path
  path=$(readlink -f "$1")
  echo "Z:${path//\//\\}"
}
raw=$results/isolation.wine.rounds.txt
: >"$raw"
for round in $(seq "$rounds"); do
  for run in "wine32 inprocess 32" "wine32 helper 32" "wine64 helper 64"; do
    set -- $run
    echo "   round $round: $1 $2"
    folder=$build/wine-$3
    module=quorvex.mexw$3
    for case in "${cases[@]}"; do
      (cd "$folder" && QUORVEX_FEED_ISOLATION=$2 timeout 900 wine quorvex-bench-isolation.exe \
        "$(winpath "$folder/$module")" "$repetitions" "$case" </dev/null 2>/dev/null |
        tr -d '\r' | sed "s/^/$1 $2 /") >>"$raw"
    done
  done
done
median_of "$raw" >>"$results/isolation.txt"
