#!/usr/bin/env bash
# Runs the unit tests once under valgrind memcheck; any error (invalid access, use of
# uninitialised memory, a leak) fails. Uses the plain build in build/ (or QUORVEX_BUILD_DIR),
# building unit_tests there first when needed.
#   scripts/memcheck.sh [gtest filter]
set -euo pipefail
cd "$(dirname "$0")/.."

dir=${QUORVEX_BUILD_DIR:-build}
jobs=${QUORVEX_JOBS:-2}
filter=${1:-*}
command -v valgrind >/dev/null || { echo "memcheck.sh: valgrind is not installed" >&2; exit 2; }

start=$(date +%s)
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" >/dev/null
fi
cmake --build "$dir" -j"$jobs" --target unit_tests
valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect,possible \
         --track-origins=yes --quiet "$dir/unit_tests" --gtest_filter="$filter" --gtest_brief=1
echo "memcheck: no errors ($(( $(date +%s) - start )) s)"
