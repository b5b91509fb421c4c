#!/usr/bin/env bash
# Record and replay through the stand-in host: requests of all seven kinds run three times
# through the module and the feed library beside it, with ignorable events and injected
# failures in the data: against the simulator's store directly, recording through it in front
# of a second copy of it (the stand-in for the vendor's library), and replaying the recording
# with that copy and its data out of reach. The three runs must give identical output.
#   record_replay.sh <dump driver> <module> <feed library> <pcqw32-sim> <work folder> [wine
#                    [<recorded library>]]
# The recorded library is a copy of the feed library unless named: under Wine, a build of the
# simulator in another calling convention, which the recording library must call as it is.
set -euo pipefail
driver=$1
module=$2
feed=$3
tool=$4
work=$5
runner=${6:-}
recorded=${7:-$feed}

# Paths as the programs see them: under Wine, on drive Z:.
native() {
  if [ "$runner" = wine ]; then
    local path
    path=$(readlink -f "$1")
    echo "Z:${path//\//\\}"
  else
    echo "$1"
  fi
}
run() { $runner "$@" </dev/null; }

rm -rf "$work"
mkdir -p "$work/host" "$work/target"
cp "$module" "$feed" "$work/host/"
cp "$recorded" "$work/target/$(basename "$feed")"
run "$tool" generate "$(native "$work/target/pcqw32-data")" >/dev/null
run "$tool" set "$(native "$work/target/pcqw32-data")" 1 event52_every 6
module_file=$(native "$work/host/$(basename "$module")")
# The module finds the feed library beside itself; named on the search path too, it is found
# where a sanitizer's loader does not look beside the module.
if [ "$runner" != wine ]; then
  export LD_LIBRARY_PATH=$work/host${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
fi

export PCQW32_FAULTS="get_record:7:0:GE, delivery:5:3:AAPL, first_block:8:0:KO"
dump() {
  (cd "$work" && run "$driver" "$module_file") >"$work/$1.txt"
  echo "$1: $(grep -c '^request' "$work/$1.txt") requests"
}
PCQW32_DATA_DIR=$(native "$work/target/pcqw32-data") dump direct
PCQW32_DATA_DIR=$(native "$work/target/pcqw32-data") \
  PCQW32_RECORD_TARGET=$(native "$work/target/$(basename "$feed")") \
  PCQW32_RECORD_DIR=$(native "$work/recordings") dump recorded
mv "$work/target" "$work/target-away"
PCQW32_DATA_DIR=$(native "$work/recordings") dump replayed

for expected in "Data retrieval error 7" "Data retrieval error 8" \
  "DBA_GET_APPROX failed with code 5" "double 75000x6"; do
  grep -q "$expected" "$work/direct.txt" || { echo "the direct run lacks: $expected"; exit 1; }
done
status=0
for run in recorded replayed; do
  if cmp -s "$work/direct.txt" "$work/$run.txt"; then
    echo "$run run: identical to the direct run"
  else
    echo "$run run differs from the direct run:"
    diff "$work/direct.txt" "$work/$run.txt" | head -20
    status=1
  fi
done
exit $status
