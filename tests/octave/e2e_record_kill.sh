#!/usr/bin/env bash
# A recording host killed with kill -9 in the middle of a history scan leaves a store that
# opens and replays every call that completed: the requests before the scan as the direct run
# gives them, and the scan up to its last recorded delivery.
#   e2e_record_kill.sh <octave-cli> <build folder> <sample data folder>
set -euo pipefail
octave=$1
build=$2
sample=$3
work=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill -9 "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/target"
cp "$sample/db1.sqlite" "$work/target/"
store=$work/recordings/db1.sqlite
query() { sqlite3 -readonly -cmd ".timeout 5000" "$store" "$1"; }

# The host records a version, a quote board, then scans MSFT (120,000 rows) until killed.
PCQW32_DATA_DIR=$work/target PCQW32_RECORD_TARGET=$build/record-target/libPCQW32.so \
  PCQW32_RECORD_DIR=$work/recordings PCQW32_RECORD_MODE=all \
  "$octave" --norc --no-gui --quiet --eval "
    addpath ('$build');
    quorvex (4, 1);
    quorvex (2, 1, 2, {'IBM', 'KO'}, {'', ''});
    while true
      quorvex (3, 1, 0, {'MSFT'}, {''});
    end" >"$work/host.log" 2>&1 &
pid=$!
calls=0
for _ in $(seq 1 1200); do
  if [ -f "$store" ]; then
    calls=$(query "select count(*) from recorded_calls where run is not null" 2>/dev/null ||
      echo 0)
  fi
  if [ "${calls:-0}" -gt 3000 ]; then break; fi
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "the recording host ended by itself:"; cat "$work/host.log"; exit 1
  fi
  sleep 0.05
done
kill -9 "$pid"
wait "$pid" 2>/dev/null || true
pid=
[ "${calls:-0}" -gt 3000 ] || { echo "no scan was recorded in time"; exit 1; }

# The store opens read-only as it was left, and the scan it recorded last is cut short: no
# delivery of its run ended the scan.
[ "$(query "pragma integrity_check")" = ok ]
head=$(query "select max(id) from recorded_calls where operation = 50 and run is null")
ends=$(query "select count(*) from recorded_deliveries d join recorded_calls c
              on c.id = d.call_id where c.run = $head and d.event != 52
              and (d.status != 0 or substr(d.key, 3, 5) != x'4d53465420')")
[ "$ends" -eq 0 ] || { echo "the killed scan had finished"; exit 1; }
blocks=$(query "select count(*) from recorded_deliveries d join recorded_calls c
                on c.id = d.call_id where c.run = $head and d.event = 2 and d.status = 0")
echo "killed after $calls recorded scan calls, $blocks blocks delivered"

# Replay through the feed library itself: every recorded block, then the status of a call
# that was never recorded.
scanned=$("$build/pcqw32-sim" scan "$work/recordings" 1 MSFT)
echo "replayed scan: $scanned"
case "$scanned" in
  "$((blocks * 8)) history rows "*) ;;
  *) echo "expected $((blocks * 8)) rows"; exit 1 ;;
esac

# Replay in the host: what completed before the scan as the direct run gives it, and the scan
# ending with the status of the call it never recorded.
"$octave" --norc --no-gui --quiet --eval "
  addpath ('$build');
  setenv ('PCQW32_DATA_DIR', '$work/target');
  v = quorvex (4, 1);
  q = quorvex (2, 1, 2, {'IBM', 'KO'}, {'', ''});
  setenv ('PCQW32_DATA_DIR', '$work/recordings');
  assert (isequal (quorvex (4, 1), v));
  assert (isequal (quorvex (2, 1, 2, {'IBM', 'KO'}, {'', ''}), q));
  try
    quorvex (3, 1, 0, {'MSFT'}, {''});
    exit (1);
  catch err
    assert (err.identifier, 'quorvex:nextFailed');
    assert (! isempty (strfind (err.message, 'Get Next failed 15')), err.message);
  end
  disp ('replayed in the host: version, quotes, and the scan up to the kill');"
