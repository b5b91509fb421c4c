#!/usr/bin/env bash
# First contact with a feed library the project did not build, under Wine: the end-to-end run
# of all seven requests against test feeds of every calling-convention pair (fixed-answer feed
# and simulator), a library whose dbax is neither convention, and where the module looks for
# PCQW32.dll (beside itself, then absolute PATH folders, never the current folder).
#   feed_contact.sh <32-bit Windows build folder>
# Run by scripts/windows-test.sh, which sets up Wine (WINEPREFIX and the rest); one Wine session
# at a time. Exits 1 when any case fails.
set -euo pipefail
build=$(realpath "$1")
variants=$build/feed-variants
work=$build/feed-contact
driver=$build/e2e_driver.exe
failures=0

# A Windows path for a file under / (Wine maps drive Z: to the root).
winpath() {
  local path
  path=$(readlink -m "$1")
  echo "Z:${path//\//\\}"
}

# case <name> <expected output line> <command...>: runs the command under Wine from a folder
# that holds no feed library and passes when it succeeds and printed the line.
case_() {
  local name=$1 expected=$2
  shift 2
  local log=$work/$name.log started=$SECONDS
  if (cd "$work/cwd" && "$@" </dev/null >"$log" 2>&1) && grep -qF -- "$expected" "$log"; then
    echo "  ok   $name ($((SECONDS - started)) s)"
  else
    echo "  FAIL $name ($((SECONDS - started)) s); its output:"
    sed 's/^/    /' "$log"
    failures=$((failures + 1))
  fi
}

rm -rf "$work"
mkdir -p "$work/cwd"

echo "-- every convention pair: fixed-answer feed"
for variant in fixed_cdecl_cdecl fixed_stdcall_stdcall fixed_decorated; do
  case_ "$variant" "7 passed, 0 failed" \
    wine "$(winpath "$driver")" "$(winpath "$variants/$variant/quorvex.mexw32")" fixed
done
# A cdecl dbax that calls back stdcall: nothing can tell, so the override names it.
case_ fixed_cdecl_stdcall "7 passed, 0 failed" \
  env QUORVEX_FEED_CALLBACK=stdcall \
  wine "$(winpath "$driver")" "$(winpath "$variants/fixed_cdecl_stdcall/quorvex.mexw32")" fixed

# Without it the module hands that library a cdecl callback. The test feeds are built so that
# a mismatch cannot pass by luck: this run must not pass.
mismatch_log=$work/fixed_cdecl_stdcall_unnamed.log
if (cd "$work/cwd" && wine "$(winpath "$driver")" \
  "$(winpath "$variants/fixed_cdecl_stdcall/quorvex.mexw32")" fixed </dev/null \
  >"$mismatch_log" 2>&1) && grep -qF "7 passed, 0 failed" "$mismatch_log"; then
  echo "  FAIL fixed_cdecl_stdcall without QUORVEX_FEED_CALLBACK passed: a callback of the wrong"
  echo "       convention went unnoticed, so the runs above prove nothing about the conventions"
  failures=$((failures + 1))
else
  echo "  ok   fixed_cdecl_stdcall without QUORVEX_FEED_CALLBACK fails, as a mismatch must"
fi

echo "-- every convention pair: simulator"
if [ -d "$variants/sim_cdecl_cdecl" ]; then
  wine "$(winpath "$build/pcqw32-sim.exe")" generate "$(winpath "$work/pcqw32-data")" \
    </dev/null >/dev/null
  for variant in sim_cdecl_cdecl sim_stdcall_stdcall sim_cdecl_stdcall; do
    rm -rf "$variants/$variant/pcqw32-data"
    cp -r "$work/pcqw32-data" "$variants/$variant/"
    setting=()
    if [ "$variant" = sim_cdecl_stdcall ]; then setting=(QUORVEX_FEED_CALLBACK=stdcall); fi
    case_ "$variant" "7 passed, 0 failed" \
      env "${setting[@]}" \
      wine "$(winpath "$driver")" "$(winpath "$variants/$variant/quorvex.mexw32")" sim
  done
fi

echo "-- a dbax of neither convention"
case_ eight_bytes "refused as expected" \
  wine "$(winpath "$driver")" "$(winpath "$variants/eight_byte_feed/quorvex.mexw32")" \
  refused "removed 8 bytes"

echo "-- where the module looks for PCQW32.dll"
fixed=$variants/fixed_stdcall_stdcall
alone=$work/alone
mkdir -p "$alone" "$work/planted"
cp "$fixed/quorvex.mexw32" "$alone/"
# A library in the current folder, and a relative PATH entry naming it, are never used.
cp "$fixed/PCQW32.dll" "$work/cwd/"
cp "$fixed/PCQW32.dll" "$work/planted/"
case_ not_from_current_folder "Cannot find the feed library PCQW32.dll" \
  env WINEPATH="." \
  wine "$(winpath "$driver")" "$(winpath "$alone/quorvex.mexw32")" refused "Cannot find"
case_ not_from_relative_path "Cannot find the feed library PCQW32.dll" \
  env WINEPATH="..\\planted" \
  wine "$(winpath "$driver")" "$(winpath "$alone/quorvex.mexw32")" refused "Cannot find"
# An absolute PATH folder is searched when there is none beside the module.
case_ from_absolute_path "7 passed, 0 failed" \
  env WINEPATH="$(winpath "$work/planted")" \
  wine "$(winpath "$driver")" "$(winpath "$alone/quorvex.mexw32")" fixed \
  --feed-in "$(winpath "$work/planted")"
# A folder whose name lies outside the ANSI code page.
unicode=$work/"données-Ω-市場"
mkdir -p "$unicode"
cp "$fixed/quorvex.mexw32" "$fixed/PCQW32.dll" "$unicode/"
case_ beside_module_unicode_folder "7 passed, 0 failed" \
  wine "$(winpath "$driver")" "$(winpath "$unicode/quorvex.mexw32")" fixed
# A broken library beside the module is reported by its full path, never passed over for
# another one on PATH.
broken=$work/broken
mkdir -p "$broken"
cp "$fixed/quorvex.mexw32" "$broken/"
printf 'MZ this is not a library' >"$broken/PCQW32.dll"
case_ broken_beside_module "refused as expected" \
  env WINEPATH="$(winpath "$work/planted")" \
  wine "$(winpath "$driver")" "$(winpath "$broken/quorvex.mexw32")" refused \
  "Cannot load the feed library $(winpath "$broken/PCQW32.dll")"
rm -f "$work/cwd/PCQW32.dll"

echo "feed contact: $failures case(s) failed"
[ "$failures" -eq 0 ]
