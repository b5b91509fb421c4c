#!/usr/bin/env bash
# The Octave soak: one octave-cli process calls the module (build/quorvex.mex) many times
# against the feed simulator (build/libPCQW32.so) on a freshly generated sample store, with
# bad inputs and injected faults mixed in (tests/soak/soak.m). Fails when a call ends any
# other way than its request's result or the module error it calls for, when resident memory
# grows past the limit, or when the simulator reports at exit an attachment that the module
# left open (faulted detaches keep theirs open by the simulator's design and are subtracted).
#   scripts/soak.sh            20,000 calls
#   scripts/soak.sh 2000       the short run
#   QUORVEX_SOAK_TRACE=1 scripts/soak.sh   also prints resident memory every 500 calls
#   QUORVEX_BUILD_DIR=dir       a build folder other than build
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

calls=${1:-20000}
case $calls in
  '' | *[!0-9]*) echo "soak.sh: the number of calls must be a whole number, not '$calls'" >&2; exit 2 ;;
esac
build=$(realpath -m "${QUORVEX_BUILD_DIR:-build}")
jobs=${QUORVEX_JOBS:-2}
command -v octave-cli >/dev/null ||
  { echo "soak.sh: octave-cli is missing; run scripts/install-deps.sh" >&2; exit 127; }

start=$(date +%s)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" >/dev/null
fi
cmake --build "$build" -j"$jobs" --target quorvex_octave pcqw32_sim pcqw32_sim_tool >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/pcqw32-sim" generate "$work/data" >/dev/null

export PCQW32_DATA_DIR="$work/data"
export PCQW32_REPORT=1
# A fixed threshold for glibc's malloc: large blocks (result matrices) are always mapped and
# unmapped on their own, instead of the threshold rising after the first large free and later
# matrices staying in the heap; resident memory then shows what the process keeps.
export MALLOC_MMAP_THRESHOLD_=131072
unset PCQW32_FAULTS PCQW32_TRACE

set +e
octave-cli --norc --no-history --quiet --no-window-system \
  --eval "addpath ('$build'); addpath ('$root/tests/soak'); exit (soak ($calls) > 0);" \
  >"$work/stdout" 2>"$work/stderr"
rc=$?
set -e
cat "$work/stdout"
grep -v '^PCQW32: [0-9]* attachment(s) open at exit' "$work/stderr" | head -20 >&2 || true

failed=0
[ "$rc" -eq 0 ] || { echo "soak: octave-cli exited with $rc"; failed=1; }
report=$(grep -o 'PCQW32: [0-9]* attachment(s) open at exit ([0-9]* abandoned)' "$work/stderr" || true)
expected=$(sed -n 's/^soak: expected open attachments (faulted detaches): //p' "$work/stdout")
if [ -z "$report" ] || [ -z "$expected" ]; then
  echo "soak: no attachment report from the simulator, or no count from the soak"
  failed=1
else
  open=$(echo "$report" | sed 's/^PCQW32: \([0-9]*\) .*/\1/')
  echo "soak: simulator at exit: $open attachment(s) open, $expected of them kept open by faulted detaches; left open by the module: $(( open - expected ))"
  [ "$open" -eq "$expected" ] || failed=1
fi
echo "soak: $( [ "$failed" -eq 0 ] && echo passed || echo FAILED ) ($(( $(date +%s) - start )) s)"
exit "$failed"
