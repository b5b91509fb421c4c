#!/usr/bin/env bash
# The Windows leg: cross-builds everything for 32-bit Windows with MinGW-w64 into build-win32/,
# checks the DLL exports and imports, and runs under Wine the unit tests and the end-to-end run
# of all seven requests (against the fixed-answer feed, and against the feed simulator when it
# is part of the build); then builds the 64-bit module into build-win32-64/ and runs it, in a
# prefix of 64-bit and 32-bit programs, against every 32-bit feed through the 32-bit feed
# helper. Needs no display and no input; run scripts/install-deps.sh --windows first.
# Wine runs natively where the kernel runs 32-bit x86 programs. Where it cannot ("Exec format
# error"), they run under qemu-user: the script registers qemu-i386-static with binfmt_misc if
# no entry is there (this needs root), so that every process Wine starts goes through it, and
# sets QEMU_RESERVED_VA. The log says which way the leg runs; it ends with each Wine step's
# time. Emulated, every Wine process starts in seconds rather than milliseconds, and the first
# run makes the prefix and starts a session in about a minute each.
#   scripts/windows-test.sh
#   QUORVEX_JOBS=4 scripts/windows-test.sh
#   QUORVEX_WINE_REQUIRED=1 scripts/windows-test.sh   a machine that cannot run Wine fails the leg
#   QUORVEX_WINE_STEP_TIMEOUT=N   seconds one Wine step may take (default 600)
#   QUORVEX_WIN64_BUILD_DIR=dir   the 64-bit build (default: the 32-bit one's, with -64)
# New Wine steps go through run_wine_step "<name>" command...: it counts a failure and keeps
# the step's time for the summary.
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
  local objdump=i686-w64-mingw32-objdump
  case "$1" in *.mexw64) objdump=x86_64-w64-mingw32-objdump ;; esac
  "$objdump" -p "$1" |
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

# Wine runs the Windows programs as 32-bit x86 processes. Where the kernel cannot run those
# itself, qemu-user runs them, registered with binfmt_misc so that every process Wine starts
# (its server, its services, the programs) goes through it too. A machine where neither
# works ends the leg after the build checks, saying so loudly, unless QUORVEX_WINE_REQUIRED=1
# makes that a failure.
# shellcheck source=scripts/x86-32.sh
. scripts/x86-32.sh
if x86_32_emulated; then
  runs_32bit=emulated
elif x86_32_probe "$build"; then
  runs_32bit=native
else
  step "registering qemu-i386 with binfmt_misc"
  x86_32_register_qemu || true
  runs_32bit=emulated
fi
if [ "$runs_32bit" = emulated ]; then
  # qemu reserves this much guest address space up front. Wine needs the 2 GB below
  # 0x80000000 and its own reservation up to 0x82000000 (the shared user data lies at
  # 0x7ffe0000); more only costs time, since qemu looks for free guest memory page by page
  # from the top of the reserved space: with the whole 4 GB every Wine process took minutes
  # to start instead of seconds.
  export QEMU_RESERVED_VA=${QEMU_RESERVED_VA:-0x82000000}
  if ! x86_32_probe "$build"; then
    runs_32bit=none
  fi
fi
if [ "$runs_32bit" = none ]; then
  echo "  SKIPPED: this machine cannot run 32-bit x86 programs, natively or through qemu-user"
  echo "  (scripts/install-deps.sh --windows installs qemu-user-static; registering it with"
  echo "  binfmt_misc needs root), so Wine cannot run the unit tests, the end-to-end runs and the"
  echo "  record-and-replay run of the Windows leg; the cross build and the export and import"
  echo "  checks above did run."
  if [ "${QUORVEX_WINE_REQUIRED:-0}" = 1 ]; then
    failures=$((failures + 1))
  fi
  echo "Windows leg: $(($(date +%s) - start)) s, $failures failed step(s), Wine steps skipped"
  [ "$failures" -eq 0 ]
  exit
fi
if [ "$runs_32bit" = native ]; then
  echo "  Wine runs natively: this machine runs 32-bit x86 programs itself"
else
  echo "  Wine runs emulated: 32-bit x86 programs go through $(sed -n 's/^interpreter //p' \
    "$x86_32_binfmt") (binfmt_misc), QEMU_RESERVED_VA=$QEMU_RESERVED_VA"
fi

# One Wine session for all steps: a persistent server keeps the services that the first
# process of a session starts (wineboot, services.exe, plugplay, winedevice), which under
# emulation takes about a minute, instead of starting them again for every step. A crash
# ends its step at once: no debugger is started for it.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winedbg.exe,winemenubuilder.exe=d"
wineserver -k 2>/dev/null || true
mkdir -p "$WINEPREFIX"
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
step_timeout=${QUORVEX_WINE_STEP_TIMEOUT:-600}
step_times=()

# Runs one step under Wine: its name, then the command (no input, at most step_timeout
# seconds). A failure is counted; the step's time is printed and kept for the summary.
run_wine_step() {
  local name=$1 began seconds status=passed rc=0
  shift
  step "$name"
  began=$(date +%s)
  timeout -k 10 "$step_timeout" "$@" </dev/null || rc=$?
  seconds=$(($(date +%s) - began))
  if [ "$rc" -ne 0 ]; then
    status=FAILED
    failures=$((failures + 1))
    if [ "$rc" -eq 124 ]; then
      echo "  FAIL: $name (stopped after $step_timeout s)"
    else
      echo "  FAIL: $name"
    fi
  fi
  step_times+=("$(printf '%5d s  %-6s  %s' "$seconds" "$status" "$name")")
  echo "  $name: $seconds s, $status"
}

# The prefix is made on the first run and kept in the build folder; wineboot also starts the
# session, so that its time is not charged to the first test step.
run_wine_step "Wine prefix and session" wineboot -i

unit_filter=()
if [ "$runs_32bit" = emulated ]; then
  # GoogleTest hands every skip and failure to OutputDebugStringA too, whose exception Wine
  # catches and unwinds. Under qemu-user that unwind can resume on another thread's TEB (qemu
  # keeps one GDT for all threads of a process, and the unwind reloads %fs from it), and the
  # process dies. The one test that skips here is the leak check that only sanitizer builds
  # compile, so leaving it out loses nothing.
  unit_filter=(--gtest_filter=-RegressionRaiseLeak.*)
fi
run_wine_step "unit tests under Wine" wine "$build/unit_tests.exe" --gtest_brief=1 \
  "${unit_filter[@]}"
if [ -f "$build/pcqw32_sim_tests.exe" ]; then
  run_wine_step "simulator tests under Wine" wine "$build/pcqw32_sim_tests.exe" --gtest_brief=1
fi

# The end-to-end runs start in another folder, so that the feed library can only be found
# the way the host would find it: beside the module.
elsewhere=$build/e2e-cwd
mkdir -p "$elsewhere"

run_wine_step "end-to-end under Wine: fixed-answer feed" env -C "$elsewhere" \
  wine "$(winpath "$build/e2e_driver.exe")" "$(winpath "$build/e2e-fixed/quorvex.mexw32")" fixed

if [ -f "$build/PCQW32.dll" ] && [ -f "$build/pcqw32-sim.exe" ]; then
  deploy=$build/e2e-sim
  rm -rf "$deploy"
  mkdir -p "$deploy"
  cp "$build/quorvex.mexw32" "$build/PCQW32.dll" "$deploy/"
  run_wine_step "simulator sample stores under Wine" env -C "$elsewhere" \
    wine "$(winpath "$build/pcqw32-sim.exe")" generate "$(winpath "$deploy")\\pcqw32-data"
  run_wine_step "end-to-end under Wine: feed simulator" env -C "$elsewhere" \
    wine "$(winpath "$build/e2e_driver.exe")" "$(winpath "$deploy/quorvex.mexw32")" sim
fi

if [ -f "$build/PCQW32.dll" ] && [ -f "$build/pcqw32-sim.exe" ] && [ -f "$build/dump_driver.exe" ]
then
  # The module, the recording library, and the simulator as the recorded target.
  run_wine_step "record and replay under Wine" tests/e2e/record_replay.sh \
    "$build/dump_driver.exe" "$build/quorvex.mexw32" "$build/PCQW32.dll" \
    "$build/pcqw32-sim.exe" "$build/e2e-record" wine
fi

if [ -d "$build/feed-variants/fixed_cdecl_cdecl" ]; then
  # Feed libraries built otherwise than ours, as the vendor's may be: every calling-convention
  # pair, a dbax of neither convention, and where the module looks for PCQW32.dll.
  run_wine_step "feed libraries of every calling convention; where PCQW32.dll is looked for" \
    tests/e2e/feed_contact.sh "$build"
fi
if [ -f "$build/dump_driver.exe" ]; then
  # The recording library in front of a recorded library of either convention.
  for variant in sim_cdecl_cdecl sim_stdcall_stdcall; do
    if [ -f "$build/feed-variants/$variant/PCQW32.dll" ]; then
      run_wine_step "record and replay under Wine, recorded library $variant" \
        tests/e2e/record_replay.sh "$build/dump_driver.exe" "$build/quorvex.mexw32" \
        "$build/PCQW32.dll" "$build/pcqw32-sim.exe" "$build/e2e-record-$variant" wine \
        "$build/feed-variants/$variant/PCQW32.dll"
    fi
  done
fi

wineserver -k 2>/dev/null || true
trap - EXIT

# The 64-bit module, for the 64-bit hosts of today: built for x64 and run in a prefix of its
# own that runs 64-bit and 32-bit programs together (wine64 beside wine32), where it reaches
# the 32-bit feed libraries above through the 32-bit feed helper.
if command -v x86_64-w64-mingw32-g++ >/dev/null && [ -f "$build/quorvex-feed-helper.exe" ]; then
  build64=$(realpath -m "${QUORVEX_WIN64_BUILD_DIR:-$build-64}")
  step "configure and build the 64-bit module"
  mkdir -p "$build64"
  cmake -S . -B "$build64" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEX_WARNINGS_AS_ERRORS=ON "${options[@]}" \
    -DQUORVEX_FEED_HELPER_32="$build/quorvex-feed-helper.exe" \
    >"$build64/configure.log" 2>&1 || { cat "$build64/configure.log"; exit 1; }
  cmake --build "$build64" -j"$jobs" --target quorvex mxhost dump_driver e2e_driver pcqw32_sim
  expect_export "$build64/quorvex.mexw64" mexFunction
  runtime=$(x86_64-w64-mingw32-objdump -p "$build64/quorvex.mexw64" |
    sed -n 's/^\s*DLL Name: //p' | grep -iE 'libgcc|libstdc|libwinpthread' || true)
  if [ -n "$runtime" ]; then
    echo "  FAIL: quorvex.mexw64 imports $runtime"
    failures=$((failures + 1))
  fi
  export WINEPREFIX=$build/wineprefix64
  export WINEARCH=win64
  wineserver -k 2>/dev/null || true
  mkdir -p "$WINEPREFIX"
  wineserver -p
  trap 'wineserver -k 2>/dev/null || true' EXIT
  before=$failures
  run_wine_step "Wine prefix and session, 64-bit and 32-bit" wineboot -i
  if [ "$failures" -ne "$before" ] && [ "$runs_32bit" != native ]; then
    # Emulated 32-bit programs beside native 64-bit ones may not run in one prefix.
    failures=$before
    echo "  SKIPPED LOUDLY: the 64-bit module with the 32-bit helper could not run in a mixed"
    echo "  prefix here ($runs_32bit 32-bit x86); the 32-bit leg above ran in full"
  else
    run_wine_step "64-bit module through the 32-bit feed helper: every feed, start-up, lifetime" \
      tests/helper/helper_contact.sh "$build" "$build64"
  fi
  wineserver -k 2>/dev/null || true
  trap - EXIT
else
  echo "  FAIL: the 64-bit leg needs x86_64-w64-mingw32-g++ (scripts/install-deps.sh --windows)"
  failures=$((failures + 1))
fi

echo "Wine steps ($runs_32bit):"
printf '  %s\n' "${step_times[@]}"
echo "Windows leg: $(($(date +%s) - start)) s, $failures failed step(s)"
[ "$failures" -eq 0 ]
