#!/usr/bin/env bash
# Runs the whole test suite from a fresh clone: installs what is missing, builds warning-free,
# runs every test (unit, simulator, end-to-end in GNU Octave), then the robustness runs (the
# fuzz targets for a bounded time, the suite under AddressSanitizer and UndefinedBehavior-
# Sanitizer, the unit tests under valgrind, a short Octave soak with injected faults) and the
# 32-bit Windows leg under Wine.
#   scripts/test.sh                          everything
#   QUORVEX_SKIP_WINDOWS=1 scripts/test.sh   without the Windows leg
#   QUORVEX_FUZZ_SECONDS=N                   seconds per fuzz target (default 60)
#   QUORVEX_SOAK_CALLS=N                     calls of the soak (default 2000)
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${QUORVEX_JOBS:-2}
skip_windows=${QUORVEX_SKIP_WINDOWS:-0}

if [ "$skip_windows" = 1 ] || [ ! -x scripts/windows-test.sh ]; then
  scripts/install-deps.sh
else
  scripts/install-deps.sh --windows
fi

start=$(date +%s)
cmake -S . -B build -DQUORVEX_WARNINGS_AS_ERRORS=ON
cmake --build build -j"$jobs"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
ctest --test-dir build --output-on-failure -j"$jobs" | tee "$log"
main_tests=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
echo "Linux leg: $(( $(date +%s) - start )) s"

start=$(date +%s)
scripts/fuzz.sh "${QUORVEX_FUZZ_SECONDS:-60}"
scripts/sanitize.sh
scripts/memcheck.sh
scripts/soak.sh "${QUORVEX_SOAK_CALLS:-2000}"
echo "Robustness runs: $(( $(date +%s) - start )) s"

if [ "$skip_windows" != 1 ] && [ -x scripts/windows-test.sh ]; then
  start=$(date +%s)
  scripts/windows-test.sh
  echo "Windows leg: $(( $(date +%s) - start )) s"
fi

# Every step above stops the run on a failure, so reaching here means all of them passed.
echo "main suite: ${main_tests:-0} passed, 0 failed"

