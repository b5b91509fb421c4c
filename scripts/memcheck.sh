#!/usr/bin/env bash
# Runs the unit tests once under valgrind memcheck; any error (invalid access, use of
# uninitialised memory, a leak) fails. Uses the plain build, building unit_tests there first
# when needed.
#   scripts/memcheck.sh [gtest filter]
#   QUORVEX_BUILD_DIR=dir    a build folder other than build
set -euo pipefail
cd "$(dirname "$0")/.."

build=$(realpath -m "${QUORVEX_BUILD_DIR:-build}")
jobs=${QUORVEX_JOBS:-2}
filter=${1:-*}
command -v valgrind >/dev/null ||
  { echo "memcheck.sh: valgrind is missing; run scripts/install-deps.sh" >&2; exit 127; }

start=$(date +%s)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" >/dev/null
fi
cmake --build "$build" -j"$jobs" --target unit_tests
valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect,possible \
         --track-origins=yes --quiet "$build/unit_tests" --gtest_filter="$filter" --gtest_brief=1
echo "memcheck: no errors ($(( $(date +%s) - start )) s)"
