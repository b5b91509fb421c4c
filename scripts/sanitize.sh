#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer (any finding is
# fatal) and runs the whole ctest suite: unit, simulator and end-to-end tests on the stand-in
# host. Left out: tests that run inside GNU Octave (Octave itself is not instrumented, so it
# cannot load the instrumented feed library) and e2e_fixed_feed, which proves that the module
# finds the feed library beside itself through its run path: the sanitizer runtime's dlopen
# interceptor makes itself the caller of dlopen, so the module's run path is not searched;
# and the Python suites (the interpreter, not instrumented either, cannot load the
# instrumented extension).
#   scripts/sanitize.sh                 build in build-asan with g++
#   QUORVEX_ASAN_BUILD_DIR=dir CXX=clang++ CC=clang scripts/sanitize.sh
set -euo pipefail
cd "$(dirname "$0")/.."

build=$(realpath -m "${QUORVEX_ASAN_BUILD_DIR:-build-asan}")
jobs=${QUORVEX_JOBS:-2}
exclude=${QUORVEX_ASAN_EXCLUDE:-octave|e2e_fixed_feed|python}
start=$(date +%s)

# Compilers named in CXX and CC are checked here: CMake would only report a broken
# configuration.
compilers=()
if [ -n "${CXX:-}" ]; then compilers+=(-DCMAKE_CXX_COMPILER="$CXX"); fi
if [ -n "${CC:-}" ]; then compilers+=(-DCMAKE_C_COMPILER="$CC"); fi
for tool in ${CXX:+"$CXX"} ${CC:+"$CC"}; do
  command -v "$tool" >/dev/null ||
    { echo "sanitize.sh: $tool is missing; run scripts/install-deps.sh" >&2; exit 127; }
done

cmake -S . -B "$build" -DQUORVEX_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo "${compilers[@]}"
cmake --build "$build" -j"$jobs"

# Leaks are reported too; every finding stops the test that made it.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build" --output-on-failure -j"$jobs" -E "$exclude"
echo "sanitizer build and tests: $(( $(date +%s) - start )) s"
