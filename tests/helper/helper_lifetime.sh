#!/usr/bin/env bash
# The feed helper on Linux, in GNU Octave: a feed library that crashes, ends its own process in
# the middle of a history scan or never answers takes only the helper down (the host gets
# quorvex:feedHelperLost or quorvex:feedStalled and goes on with a fresh helper); a helper that
# cannot start says why; the helper ends with the host, and when the module is cleared.
#   helper_lifetime.sh <octave-cli> <build folder> <folder of the cue feed's libPCQW32.so>
set -euo pipefail
octave=$1
build=$2
cue=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {
  local what=$1
  shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}
# Runs Octave code with the module on the path and the cue feed as the feed library.
run() {
  env QUORVEX_FEED_ISOLATION=helper LD_LIBRARY_PATH="$cue" QUORVEX_FEED_TIMEOUT=2 \
    "$octave" --norc --no-gui --quiet --no-history --eval "addpath('$build'); $1" 2>&1
}
raises() { # code identifier [part of the message]
  local out
  out=$(run "try, $1; disp('no error'); catch e, printf('%s|%s\n', e.identifier, e.message); end")
  echo "$out" | grep -q "^$2|.*${3:-}" || { echo "  got: $out"; return 1; }
}

# Killed by SIGSEGV, or, in a sanitizer build, ended by the sanitizer's report with its code.
check "a crashing dbax: quorvex:feedHelperLost" \
  raises "quorvex(2, 1, 1, {'CRASH'}, {''})" quorvex:feedHelperLost "ended during the request"
check "a feed ending its process in a scan: quorvex:feedHelperLost" \
  raises "quorvex(3, 1, 0, {'KILL'}, {''})" quorvex:feedHelperLost "killed by signal 9"
check "a feed that never answers: quorvex:feedStalled" \
  raises "quorvex(2, 1, 1, {'HANG'}, {''})" quorvex:feedStalled "within 2 seconds"
out=$(run "for c = {{2, 'CRASH'}, {3, 'KILL'}, {2, 'HANG'}}, try, quorvex(c{1}{1}, 1, 1, c{1}(2), {''}); catch e, printf('%s\n', e.identifier); end, printf('after %s: %d\n', c{1}{2}, quorvex(1, 5)); end")
check "the host goes on after each, with a fresh helper" \
  test "$(echo "$out" | grep -c '^after [A-Z]*: 5$')" = 3

# A helper that cannot serve says so with the module's own words.
mkdir "$work/alone"
cp "$build/quorvex.mex" "$build/quorvex.m" "$work/alone/"
out=$(env QUORVEX_FEED_ISOLATION=helper "$octave" --norc --no-gui --quiet --no-history --eval \
  "addpath('$work/alone'); try, quorvex(1, 1); catch e, printf('%s|%s\n', e.identifier, e.message); end" 2>&1)
check "no helper beside the module: quorvex:feedLibrary naming where it was looked for" \
  grep -q "^quorvex:feedLibrary|.*Cannot start the feed helper $work/alone/quorvex-feed-helper: there is no such file" <<<"$out"
cp "$build/quorvex-feed-helper" "$work/alone/"
out=$(env -u LD_LIBRARY_PATH QUORVEX_FEED_ISOLATION=helper "$octave" --norc --no-gui --quiet --no-history --eval \
  "addpath('$work/alone'); try, quorvex(1, 1); catch e, printf('%s|%s\n', e.identifier, e.message); end" 2>&1)
check "no feed library beside the helper: the in-process message" \
  grep -q "^quorvex:feedLibrary|.*Cannot load the feed library libPCQW32.so" <<<"$out"
out=$(env QUORVEX_FEED_ISOLATION=sideways "$octave" --norc --no-gui --quiet --no-history --eval \
  "addpath('$build'); try, quorvex(1, 1); catch e, printf('%s|%s\n', e.identifier, e.message); end" 2>&1)
check "a refused QUORVEX_FEED_ISOLATION" grep -q "^quorvex:feedLibrary|.*QUORVEX_FEED_ISOLATION is 'sideways'" <<<"$out"

# The helper ends with the module's clearing, and with the host killed.
helpers_of() { pgrep -P "$1" "^quorvex-feed" || true; }
out=$(run "quorvex(1, 5); [~, before] = system(sprintf('pgrep -P %d ^quorvex-feed', getpid())); clear quorvex; pause(0.5); [~, after] = system(sprintf('pgrep -P %d ^quorvex-feed', getpid())); printf('before=%s|after=%s|\n', strtrim(before), strtrim(after));")
check "clearing the module stops its helper" grep -qE "^before=[0-9]+\|after=\|" <<<"$out"
env QUORVEX_FEED_ISOLATION=helper LD_LIBRARY_PATH="$cue" "$octave" --norc --no-gui --quiet --no-history \
  --eval "addpath('$build'); quorvex(1, 5); pause(60);" >/dev/null 2>&1 &
host=$!
for _ in $(seq 1 100); do [ -n "$(helpers_of "$host")" ] && break; sleep 0.1; done
helper=$(helpers_of "$host")
check "a helper runs beside the host" test -n "$helper"
kill -9 "$host"
wait "$host" 2>/dev/null || true
for _ in $(seq 1 50); do kill -0 "$helper" 2>/dev/null || break; sleep 0.1; done
check "the helper ends with the host killed" bash -c "! kill -0 ${helper:-0} 2>/dev/null"

[ "$failures" -eq 0 ] || { echo "helper_lifetime: $failures failed"; exit 1; }
echo "helper_lifetime: all passed"
