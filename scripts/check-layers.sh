#!/usr/bin/env bash
# Checks that the code's layers point one way and that the feed's record layout is written in
# one place:
#  - the module's layers, lowest first: the feed's interface and layout (include/) and the
#    feed call shared with the recorder (common/); the core of the gateway (failures, the
#    results seam, the request's inputs, the feed link and session); the request units
#    (requests/); the front ends (the entry point over the host's arrays, the host's inputs
#    and results). No header includes one of a higher layer, and no unit below the front ends
#    includes the host's API (mex.h): the request code must run under any front end;
#  - the feed libraries (feed/, the test and benchmark feeds) include nothing of the module's
#    gateway or request units;
#  - no literal record offset: in the module and the feeds, every read or write of a record
#    field goes through a named offset of include/pcqw32_layout.h (tests that check the
#    decoding keep literal bytes of their own on purpose and are not looked at).
#   scripts/check-layers.sh      prints each violation; exit 1 when there is one
set -euo pipefail
cd "$(dirname "$0")/.."

failures=0
fail() {
  echo "check-layers: $*" >&2
  failures=$((failures + 1))
}

# The layer of a module header by its path; empty for files outside the module.
layer_of() {
  case "$1" in
    include/*.h | common/*.h) echo 0 ;;
    gateway/failures.h | gateway/results.h | gateway/request_call.h | gateway/feed_link.h | \
      gateway/feed_link_testing.h) echo 1 ;;
    gateway/feed_session.h) echo 2 ;;
    requests/*.h) echo 3 ;;
    gateway/*.h) echo 4 ;;
    *) echo "" ;;
  esac
}

# Where an included name is found among the module's headers.
header_path() {
  local name=$1 dir
  for dir in include common gateway requests; do
    if [ -f "$dir/$name" ]; then
      echo "$dir/$name"
      return
    fi
  done
}

# 1. Module headers include only headers of their own layer or below.
for file in include/*.h common/*.h gateway/*.h requests/*.h; do
  own=$(layer_of "$file")
  while read -r name; do
    target=$(header_path "$name")
    [ -n "$target" ] || continue
    theirs=$(layer_of "$target")
    if [ "$theirs" -gt "$own" ]; then
      fail "$file (layer $own) includes $target (layer $theirs)"
    fi
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done

# 2. Only the front ends reach the host's API.
front_ends="gateway/entry.cpp gateway/host_inputs.cpp gateway/host_inputs.h gateway/host_results.cpp"
for file in common/* gateway/* requests/*; do
  case " $front_ends " in *" $file "*) continue ;; esac
  if grep -q '^#include "mex.h"' "$file"; then
    fail "$file includes the host's mex.h; only the front ends ($front_ends) may"
  fi
  if [ "${file#requests/}" != "$file" ] && grep -q '^#include "host_inputs.h"' "$file"; then
    fail "$file includes the front end's host_inputs.h"
  fi
done

# 3. The feed libraries know nothing of the module above the feed's interface.
feed_files=$(find feed bench -name '*.cpp' -o -name '*.h' | sort;
             ls tests/e2e/*feed*.cpp fuzz/fuzz_feed.* 2>/dev/null || true)
module_headers=$(cd gateway && ls *.h; cd ../requests && ls *.h)
for file in $feed_files; do
  for header in $module_headers; do
    if grep -q "^#include \"$header\"" "$file"; then
      # The benchmark cases drive the module (as the tests do); only its feed is a feed.
      case "$file" in bench/cases.* | bench/once.cpp | bench/bench_main.cpp) continue ;; esac
      fail "$file (a feed) includes the module's $header"
    fi
  done
done

# 4. No literal record offset in the module and the feeds: a field reader or writer, or a
# pointer into a record, key or block, with a number for its offset.
offset_pattern='(read|write)(U|I)(8|16|32)\([^,()]+, *[0-9]+[),]|(put|get)_(u|i)(8|16|32)\([^,()]+, *[0-9]+[),]|\b(record|records|key|block|out|buffer|rec)\s*\+\s*[0-9]+\b'
scanned=$(ls common/*.cpp common/*.h gateway/*.cpp gateway/*.h requests/*.cpp requests/*.h; echo "$feed_files";
          ls fuzz/call_check.cpp 2>/dev/null || true)
for file in $scanned; do
  [ "$file" = include/pcqw32_layout.h ] && continue
  while IFS= read -r hit; do
    fail "literal record offset in $file:$hit"
  done < <(grep -nE "$offset_pattern" "$file" | grep -vE '^\s*[0-9]+:\s*//' || true)
done

if [ "$failures" -gt 0 ]; then
  echo "check-layers: $failures violation(s)" >&2
  exit 1
fi
echo "check-layers: the layers point one way and every record offset is named"
