#!/usr/bin/env bash
# The 32-bit Windows leg: cross-builds everything with MinGW-w64 into build-win32/, checks the
# DLL exports and imports, and runs under Wine the unit tests and the end-to-end run of all
# seven requests (against the fixed-answer feed, and against the feed simulator when it is
# part of the build). Needs no display and no input; run scripts/install-deps.sh --windows
# first.
#   scripts/windows-test.sh
#   QUORVEX_JOBS=4 scripts/windows-test.sh
#   QUORVEX_WINE_REQUIRED=1 scripts/windows-test.sh   a machine that cannot run Wine fails the leg
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$(realpath -m "${QUORVEX_WIN32_BUILD_DIR:-build-win32}")
jobs=${QUORVEX_JOBS:-2}
start=$(date +%s)

for tool in i686-w64-mingw32-g++ i686-w64-mingw32-objdump wine wineboot wineserver; do
  if ! command -v "$tool" >/dev/null; then
    echo "windows-test: $tool is missing; run scripts/install-deps.sh --windows" >&2
    exit 127
  fi
done

# Wine: a 32-bit prefix of our own inside the build folder, no debug output, no display, and
# no Mono or Gecko installers (their prompts would wait for a user).
export WINEPREFIX=$build/wineprefix
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

# A Windows path for a file under / (Wine maps drive Z: to the root).
winpath() {
  local path
  path=$(readlink -f "$1")
  echo "Z:${path//\//\\}"
}

step() { echo "== $* ($(($(date +%s) - start)) s)"; }

mkdir -p "$build"
options=()
if [ -f feed/sim/CMakeLists.txt ]; then
  step "SQLite amalgamation for the simulator"
  scripts/fetch-sqlite.sh "$build/_deps/sqlite3"
  options+=(-DQUORVEX_SQLITE_AMALGAMATION_DIR="$build/_deps/sqlite3")
fi

step "configure"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEX_WARNINGS_AS_ERRORS=ON "${options[@]}" \
  >"$build/configure.log" ||
  { cat "$build/configure.log"; exit 1; }

step "build"
cmake --build "$build" -j"$jobs"

step "exports and imports"
failures=0
exports() {
  i686-w64-mingw32-objdump -p "$1" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p'
}
expect_export() {
  local file=$1 name=$2
  if exports "$file" | grep -qx "$name"; then
    echo "  $(basename "$file") exports $name"
  else
    echo "  FAIL: $file does not export $name (exports: $(exports "$file" | tr '\n' ' '))"
    failures=$((failures + 1))
  fi
}
expect_export "$build/quorvex.mexw32" mexFunction
feeds=("$build/e2e-fixed/PCQW32.dll")
if [ -f "$build/PCQW32.dll" ]; then feeds+=("$build/PCQW32.dll"); fi
for feed in "${feeds[@]}"; do
  expect_export "$feed" dbax
done
# Nothing of the MinGW runtime may be needed beside the module, the feed or the tests.
for file in "$build"/*.exe "$build"/*.dll "$build"/*.mexw32 "${feeds[@]}"; do
  [ -f "$file" ] || continue
  runtime=$(i686-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p' |
    grep -iE 'libgcc|libstdc|libwinpthread' || true)
  if [ -n "$runtime" ]; then
    echo "  FAIL: $(basename "$file") imports $runtime"
    failures=$((failures + 1))
  fi
done

# Wine runs the Windows programs as 32-bit x86 processes. A machine whose kernel cannot run
# 32-bit x86 programs, or hands them to an emulator through binfmt_misc (where Wine does not
# start), cannot run them: there the leg ends after the build checks, saying so loudly, unless
# QUORVEX_WINE_REQUIRED=1 makes that a failure.
runs_32bit_natively() {
  local handler=/proc/sys/fs/binfmt_misc/qemu-i386
  if [ -r "$handler" ] && head -n 1 "$handler" | grep -qx enabled; then
    return 1
  fi
  local probe=$build/probe32
  printf '.globl _start\n_start:\n movl $1, %%eax\n xorl %%ebx, %%ebx\n int $0x80\n' >"$probe.s"
  as --32 "$probe.s" -o "$probe.o" && ld -m elf_i386 "$probe.o" -o "$probe" &&
    "$probe" 2>/dev/null
}
if ! runs_32bit_natively; then
  echo "  SKIPPED: this machine cannot run 32-bit x86 programs natively, so Wine cannot run the"
  echo "  unit tests, the end-to-end runs and the record-and-replay run of the Windows leg; the"
  echo "  cross build and the export and import checks above did run."
  if [ "${QUORVEX_WINE_REQUIRED:-0}" = 1 ]; then
    failures=$((failures + 1))
  fi
  echo "Windows leg: $(($(date +%s) - start)) s, $failures failed step(s), Wine steps skipped"
  [ "$failures" -eq 0 ]
  exit
fi

step "Wine prefix"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi

step "unit tests under Wine"
if ! wine "$build/unit_tests.exe" --gtest_brief=1 </dev/null; then
  echo "  FAIL: unit tests"
  failures=$((failures + 1))
fi
if [ -f "$build/pcqw32_sim_tests.exe" ]; then
  step "simulator tests under Wine"
  if ! wine "$build/pcqw32_sim_tests.exe" --gtest_brief=1 </dev/null; then
    echo "  FAIL: simulator tests"
    failures=$((failures + 1))
  fi
fi

# The end-to-end runs start in another folder, so that the feed library can only be found
# the way the host would find it: beside the module.
elsewhere=$build/e2e-cwd
mkdir -p "$elsewhere"

step "end-to-end under Wine: fixed-answer feed"
if ! (cd "$elsewhere" &&
  wine "$(winpath "$build/e2e_driver.exe")" "$(winpath "$build/e2e-fixed/quorvex.mexw32")" \
    fixed </dev/null); then
  echo "  FAIL: end-to-end run against the fixed-answer feed"
  failures=$((failures + 1))
fi

if [ -f "$build/PCQW32.dll" ] && [ -f "$build/pcqw32-sim.exe" ]; then
  step "end-to-end under Wine: feed simulator"
  deploy=$build/e2e-sim
  rm -rf "$deploy"
  mkdir -p "$deploy"
  cp "$build/quorvex.mexw32" "$build/PCQW32.dll" "$deploy/"
  (cd "$elsewhere" && wine "$(winpath "$build/pcqw32-sim.exe")" generate \
    "$(winpath "$deploy")\\pcqw32-data" </dev/null >/dev/null)
  if ! (cd "$elsewhere" &&
    wine "$(winpath "$build/e2e_driver.exe")" "$(winpath "$deploy/quorvex.mexw32")" \
      sim </dev/null); then
    echo "  FAIL: end-to-end run against the feed simulator"
    failures=$((failures + 1))
  fi
fi

if [ -f "$build/PCQW32.dll" ] && [ -f "$build/pcqw32-sim.exe" ] && [ -f "$build/dump_driver.exe" ]
then
  step "record and replay under Wine: the module, the recording library, the simulator as target"
  if ! tests/e2e/record_replay.sh "$build/dump_driver.exe" "$build/quorvex.mexw32" \
    "$build/PCQW32.dll" "$build/pcqw32-sim.exe" "$build/e2e-record" wine; then
    echo "  FAIL: record and replay under Wine"
    failures=$((failures + 1))
  fi
fi

wineserver -k 2>/dev/null || true
echo "Windows leg: $(($(date +%s) - start)) s, $failures failed step(s)"
[ "$failures" -eq 0 ]
