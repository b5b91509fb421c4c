#!/usr/bin/env bash
# The main job for a newcomer: installs what is needed, builds the module and the feed
# simulator, writes the sample market-data store, and runs the demo in octave-cli: the
# functions by name over all seven requests, a quote board, fundamentals with their dates, and
# two charts saved as PNG files (a history against the time of day, daily candles with volume).
#   scripts/demo.sh [chart folder]      (default: build/quorvex-charts)
#   QUORVEX_BUILD_DIR=dir               a build folder other than build
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath -m "${QUORVEX_BUILD_DIR:-build}")
jobs=${QUORVEX_JOBS:-2}

scripts/install-deps.sh
cmake -S . -B "$build"
cmake --build "$build" -j"$jobs"

data="$build/pcqw32-data"
# Written afresh when the simulator was rebuilt since, so the data is the sample's current one.
# The tool never writes over data that would be lost (a store imported into, a recording): the
# demo then says so and runs on the stores as they are.
if [ ! -f "$data/db1.sqlite" ] || [ ! -f "$data/db2.sqlite" ] ||
   [ "$build/pcqw32-sim" -nt "$data/db1.sqlite" ]; then
  if ! "$build/pcqw32-sim" generate "$data"; then
    [ -f "$data/db1.sqlite" ] || exit 1
    echo "demo.sh: the sample was not rewritten (see above); the demo uses $data as it is" >&2
  fi
fi
charts="${1:-$build/quorvex-charts}"
export PCQW32_DATA_DIR="$data"
exec octave-cli --norc --no-gui --quiet --no-history --eval \
  "addpath('$build'); quorvex_demo('$charts');"
