#!/usr/bin/env bash
# A module's requests in its own process and through the feed helper give the same output, to
# the bit: the simulator's sample series and the cue feed's (event 52, both capacities, the
# stall bound, every second output); and through the helper, a feed that ends its process or
# never answers costs one request each.
#   compare_modes.sh <dump driver> <module> <feed library folder> <cue feed folder> [runner]
# [runner] runs the driver (wine for the Windows leg); the module finds the feed library beside
# itself or, on Linux, through LD_LIBRARY_PATH.
set -euo pipefail
driver=$1
module=$2
feed=$3
cue=$4
runner=${5:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
run() { # isolation library-folder series
  env QUORVEX_FEED_ISOLATION="$1" LD_LIBRARY_PATH="$2" QUORVEX_FEED_TIMEOUT=3 \
    $runner "$driver" "$module" ${3:+"$3"} </dev/null 2>&1
}
for series in sample cue; do
  folder=$feed
  [ "$series" = cue ] && folder=$cue
  arg=""
  [ "$series" = cue ] && arg=cue
  run inprocess "$folder" "$arg" >"$work/inprocess-$series.txt"
  run helper "$folder" "$arg" >"$work/helper-$series.txt"
  if cmp -s "$work/inprocess-$series.txt" "$work/helper-$series.txt" &&
     [ "$(wc -l <"$work/helper-$series.txt")" -gt 20 ]; then
    echo "ok   the $series series through the helper, to the bit"
  else
    echo "FAIL the $series series differs through the helper:"
    diff "$work/inprocess-$series.txt" "$work/helper-$series.txt" | head -20 || true
    failures=$((failures + 1))
  fi
done
out=$(run helper "$cue" lost)
if [ "$(grep -c 'raised quorvex:feedHelperLost\|raised quorvex:feedStalled' <<<"$out")" = 2 ] &&
   [ "$(grep -c 'double 1x1 1 ' <<<"$out")" = 2 ]; then
  echo "ok   a lost and a stalled helper cost one request each"
else
  echo "FAIL a lost or stalled helper: $out"
  failures=$((failures + 1))
fi
[ "$failures" -eq 0 ]
