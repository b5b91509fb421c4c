#!/usr/bin/env bash
# Runs the whole test suite from a fresh clone: installs what is missing, builds warning-free,
# runs every test (unit, simulator, end-to-end in GNU Octave) and the 32-bit Windows leg
# under Wine when its script is present.
#   scripts/test.sh              everything
#   QUORVEX_SKIP_WINDOWS=1 scripts/test.sh   without the Windows leg
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
ctest --test-dir build --output-on-failure -j"$jobs"
echo "Linux leg: $(( $(date +%s) - start )) s"

if [ "$skip_windows" != 1 ] && [ -x scripts/windows-test.sh ]; then
  start=$(date +%s)
  scripts/windows-test.sh
  echo "Windows leg: $(( $(date +%s) - start )) s"
fi
