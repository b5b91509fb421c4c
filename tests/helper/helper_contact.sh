#!/usr/bin/env bash
# The 64-bit module under Wine reaching the 32-bit feed libraries through the 32-bit feed
# helper: for every feed of the first-contact matrix (each calling-convention pair, the
# decorated export, the mixed pair with its override, the simulator) and the cue feed (event
# 52, both capacities, the stall bound, every second output), the run through the helper must
# print exactly what the 32-bit module prints in its own process (every double compared by
# its bits); the fixed-answer checks pass through the helper; a helper that is missing, a
# library that is missing, built for x64, broken or without dbax each give their clean error; a
# feed that ends its process or never answers costs one request; and no helper outlives its
# host.
#   helper_contact.sh <32-bit Windows build folder> <64-bit Windows build folder>
# Run by scripts/windows-test.sh in a Wine prefix that runs both (WINEARCH=win64); one Wine
# session at a time. Exits 1 when any case fails.
set -euo pipefail
build32=$(realpath "$1")
build64=$(realpath "$2")
variants=$build32/feed-variants
work=$build64/helper-contact
failures=0

winpath() {
  local path
  path=$(readlink -m "$1")
  echo "Z:${path//\//\\}"
}

# ok|FAIL <name> <condition...>
check() {
  local name=$1
  shift
  if "$@"; then echo "  ok   $name"; else echo "  FAIL $name"; failures=$((failures + 1)); fi
}

# A folder holding the 64-bit module and what it runs with, the 32-bit helper and `feed` (a
# PCQW32.dll, or "" for none).
deploy64() {
  local folder=$1 feed=$2
  rm -rf "$folder"
  mkdir -p "$folder"
  cp "$build64/quorvex.mexw64" "$build64/libmxhost.dll" "$build32/quorvex-feed-helper.exe" \
    "$folder/"
  if [ -n "$feed" ]; then cp "$feed" "$folder/PCQW32.dll"; fi
}

# Runs a driver under Wine from a folder without any feed library.
wine_in() {
  (cd "$work/cwd" && wine "$@" </dev/null 2>&1)
}

rm -rf "$work"
mkdir -p "$work/cwd"

echo "-- the first-contact matrix: through the helper as in the 32-bit process, to the bit"
if [ -d "$variants/sim_cdecl_cdecl" ]; then
  wine_in "$(winpath "$build32/pcqw32-sim.exe")" generate "$(winpath "$work/pcqw32-data")" \
    >/dev/null
fi
for variant in fixed_cdecl_cdecl fixed_stdcall_stdcall fixed_decorated fixed_cdecl_stdcall \
  sim_cdecl_cdecl sim_stdcall_stdcall sim_cdecl_stdcall; do
  [ -f "$variants/$variant/PCQW32.dll" ] || continue
  setting=()
  case "$variant" in *_cdecl_stdcall) setting=(QUORVEX_FEED_CALLBACK=stdcall) ;; esac
  kind=fixed
  case "$variant" in sim_*)
    kind=sim
    rm -rf "$variants/$variant/pcqw32-data"
    cp -r "$work/pcqw32-data" "$variants/$variant/"
    ;;
  esac
  folder=$work/$variant
  deploy64 "$folder" "$variants/$variant/PCQW32.dll"
  if [ "$kind" = sim ]; then cp -r "$work/pcqw32-data" "$folder/"; fi
  env "${setting[@]}" bash -c 'cd "$0" && wine "$1" "$2"' "$work/cwd" \
    "$(winpath "$build32/dump_driver.exe")" "$(winpath "$variants/$variant/quorvex.mexw32")" \
    </dev/null >"$work/$variant.in-process.txt" 2>&1 || true
  env "${setting[@]}" bash -c 'cd "$0" && wine "$1" "$2"' "$work/cwd" \
    "$(winpath "$build64/dump_driver.exe")" "$(winpath "$folder/quorvex.mexw64")" \
    </dev/null >"$work/$variant.helper.txt" 2>&1 || true
  check "$variant: the same output through the helper" \
    bash -c 'cmp -s "$0" "$1" && [ "$(wc -l <"$1")" -gt 20 ] ||
             { diff "$0" "$1" | head -20; false; }' \
    "$work/$variant.in-process.txt" "$work/$variant.helper.txt"
  out=$(env "${setting[@]}" QUORVEX_E2E_THROUGH_HELPER=1 bash -c 'cd "$0" && wine "$1" "$2" "$3"' "$work/cwd" \
    "$(winpath "$build64/e2e_driver.exe")" "$(winpath "$folder/quorvex.mexw64")" "$kind" \
    </dev/null 2>&1 || true)
  check "$variant: the $kind answers hold through the helper" grep -qF "7 passed, 0 failed" <<<"$out"
done

echo "-- the cue feed: event 52, both capacities, the stall bound, the second outputs"
cue32=$build32/cue-feed
cp "$build32/quorvex.mexw32" "$cue32/"
wine_in "$(winpath "$build32/dump_driver.exe")" "$(winpath "$cue32/quorvex.mexw32")" cue \
  >"$work/cue.in-process.txt" || true
deploy64 "$work/cue" "$cue32/PCQW32.dll"
wine_in "$(winpath "$build64/dump_driver.exe")" "$(winpath "$work/cue/quorvex.mexw64")" cue \
  >"$work/cue.helper.txt" || true
check "cue: the same output through the helper" \
  bash -c 'cmp -s "$0" "$1" && grep -q capacityExceeded "$1" && grep -q feedStalled "$1" ||
           { diff "$0" "$1" | head -20; false; }' "$work/cue.in-process.txt" "$work/cue.helper.txt"
out=$(QUORVEX_FEED_TIMEOUT=5 wine_in "$(winpath "$build64/dump_driver.exe")" \
  "$(winpath "$work/cue/quorvex.mexw64")" lost || true)
check "a feed ending its process in a scan: quorvex:feedHelperLost, then a fresh helper" \
  bash -c 'grep -q "raised quorvex:feedHelperLost" <<<"$0" && [ "$(grep -c "double 1x1 1 " <<<"$0")" = 2 ]' "$out"
check "a feed that never answers: quorvex:feedStalled within QUORVEX_FEED_TIMEOUT" \
  grep -q "raised quorvex:feedStalled: The feed helper did not reply within 5 seconds" <<<"$out"

echo "-- start-up failures, each a clean error"
refused() { # name folder text [setting]
  local out
  out=$(env ${4:-} bash -c 'cd "$0" && wine "$1" "$2" refused "$3"' "$work/cwd" \
    "$(winpath "$build64/e2e_driver.exe")" "$(winpath "$2/quorvex.mexw64")" "$3" </dev/null 2>&1 ||
    true)
  check "$1" grep -qF "refused as expected" <<<"$out" || echo "$out" | sed 's/^/      /'
}
deploy64 "$work/no-helper" "$variants/fixed_stdcall_stdcall/PCQW32.dll"
rm "$work/no-helper/quorvex-feed-helper.exe"
refused "no helper beside the module" "$work/no-helper" \
  "Cannot start the feed helper $(winpath "$work/no-helper/quorvex-feed-helper.exe"): there is no such file"
deploy64 "$work/no-library" ""
refused "no PCQW32.dll for the helper" "$work/no-library" "Cannot find the feed library PCQW32.dll" \
  QUORVEX_FEED_ISOLATION=helper
deploy64 "$work/x64-library" "$build64/PCQW32.dll"
refused "a 64-bit-only PCQW32.dll for the helper" "$work/x64-library" \
  "it is a x64 library and this process is 32-bit x86" QUORVEX_FEED_ISOLATION=helper
deploy64 "$work/broken-library" ""
printf 'MZ this is not a library' >"$work/broken-library/PCQW32.dll"
refused "a broken PCQW32.dll for the helper" "$work/broken-library" \
  "Cannot load the feed library $(winpath "$work/broken-library/PCQW32.dll")" \
  QUORVEX_FEED_ISOLATION=helper
deploy64 "$work/no-dbax" "$build32/libmxhost.dll"
refused "a 32-bit PCQW32.dll without dbax" "$work/no-dbax" "has no entry point dbax"
refused "a refused QUORVEX_FEED_ISOLATION" "$work/cue" "QUORVEX_FEED_ISOLATION is 'sideways'" \
  QUORVEX_FEED_ISOLATION=sideways

echo "-- no helper outlives its host"
helpers() { pgrep -f 'quorvex-feed-helper\.exe' || true; }
gone() { # waits up to 20 s for every helper to end
  for _ in $(seq 1 200); do [ -z "$(helpers)" ] && return 0; sleep 0.1; done
  return 1
}
gone || echo "  (a helper of an earlier case is still running)"
# The host's Windows process goes, as a host that crashes or is ended by the user: the moment
# its helper appears (while the module may still be starting it), a little later, and once the
# helper is in its scan.
for delay in 0 0.3 2; do
  QUORVEX_FEED_TIMEOUT=600 bash -c 'cd "$0" && wine "$1" "$2" lost' "$work/cwd" \
    "$(winpath "$build64/dump_driver.exe")" "$(winpath "$work/cue/quorvex.mexw64")" \
    </dev/null >/dev/null 2>&1 &
  host=$!
  seen=no
  for _ in $(seq 1 600); do [ -n "$(helpers)" ] && seen=yes && break; sleep 0.02; done
  check "a helper runs beside the host (killed after ${delay} s)" test "$seen" = yes
  sleep "$delay"
  pkill -9 -f 'dump_driver\.exe' || true
  wait "$host" 2>/dev/null || true
  check "the helper ends with its host (killed after ${delay} s)" gone
done 2>/dev/null # not the shell's notice of the killed host

echo "helper contact: $failures case(s) failed"
[ "$failures" -eq 0 ]
