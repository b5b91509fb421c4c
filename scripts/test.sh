#!/usr/bin/env bash
# Runs the whole test suite from a fresh clone: installs what is missing, builds warning-free,
# runs every test (unit, simulator, end-to-end in GNU Octave), then the robustness runs (the
# fuzz targets for a bounded time, the suite under AddressSanitizer and UndefinedBehavior-
# Sanitizer, the unit tests under valgrind, a short Octave soak with injected faults) and the
# 32-bit Windows leg: first, before the Linux leg, since it takes seconds, the module's sources
# compiled as with MSVC (scripts/msvc-check.sh), then the MinGW-w64 build under Wine.
#   scripts/test.sh                          everything
#   QUORVEX_SKIP_WINDOWS=1 scripts/test.sh   without the Windows leg, its MSVC check too
#   QUORVEX_FUZZ_SECONDS=N                   seconds per fuzz target (default 60)
#   QUORVEX_SOAK_CALLS=N                     calls of the soak (default 2000)
#   QUORVEX_BUILD_DIR=dir                    the plain build (default build)
#
# Conventions of every script in scripts/:
# - It starts in the repository root: cd "$(dirname "$0")/..", then root=$(pwd) where needed.
# - Its build folder is in the variable `build`, an absolute path, set once near the top from
#   one environment variable: QUORVEX_BUILD_DIR for the plain build (default build), or
#   QUORVEX_<KIND>_BUILD_DIR for a build of another kind (default build-<kind>):
#   QUORVEX_FUZZ_BUILD_DIR (build-fuzz), QUORVEX_ASAN_BUILD_DIR (build-asan),
#   QUORVEX_BENCH_BUILD_DIR (build-bench), QUORVEX_WIN32_BUILD_DIR (build-win32):
#     build=$(realpath -m "${QUORVEX_FUZZ_BUILD_DIR:-build-fuzz}")
#   Parallel build jobs: jobs=${QUORVEX_JOBS:-2}.
# - Exit status: 0 done, 1 a check or a step failed, 2 a wrong argument, 127 a tool is
#   missing. 127 is the shell's own status for a command it cannot find, so a tool that is
#   checked and one that is simply called fail alike. A script checks up front for each tool
#   it would reach only after long work, or whose absence it would otherwise hide, says so on
#   standard error and stops:
#     command -v valgrind >/dev/null ||
#       { echo "memcheck.sh: valgrind is missing; run scripts/install-deps.sh" >&2; exit 127; }
#   (scripts/install-deps.sh --windows for the tools of the Windows leg).
set -euo pipefail
cd "$(dirname "$0")/.."

build=$(realpath -m "${QUORVEX_BUILD_DIR:-build}")
jobs=${QUORVEX_JOBS:-2}
skip_windows=${QUORVEX_SKIP_WINDOWS:-0}

windows=0
if [ "$skip_windows" != 1 ] && [ -x scripts/windows-test.sh ]; then windows=1; fi

if [ "$windows" = 1 ]; then
  scripts/install-deps.sh --windows
  scripts/msvc-check.sh
else
  scripts/install-deps.sh
fi

# The layers point one way and every record offset is named (seconds, before the builds).
scripts/check-layers.sh

start=$(date +%s)
cmake -S . -B "$build" -DQUORVEX_WARNINGS_AS_ERRORS=ON
cmake --build "$build" -j"$jobs"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
ctest --test-dir "$build" --output-on-failure -j"$jobs" | tee "$log"
main_tests=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
echo "Linux leg: $(( $(date +%s) - start )) s"

start=$(date +%s)
scripts/fuzz.sh "${QUORVEX_FUZZ_SECONDS:-60}"
scripts/sanitize.sh
QUORVEX_BUILD_DIR=$build scripts/memcheck.sh
QUORVEX_BUILD_DIR=$build scripts/soak.sh "${QUORVEX_SOAK_CALLS:-2000}"
echo "Robustness runs: $(( $(date +%s) - start )) s"

if [ "$windows" = 1 ]; then
  start=$(date +%s)
  scripts/windows-test.sh
  echo "Windows leg: $(( $(date +%s) - start )) s"
fi

# Every step above stops the run on a failure, so reaching here means all of them passed.
echo "main suite: ${main_tests:-0} passed, 0 failed"
