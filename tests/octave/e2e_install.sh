#!/usr/bin/env bash
# Installs the build into a fresh prefix and uses it the way the README says: the sample store
# written by the installed tool, the module and the functions on Octave's path, a request and
# a function from Octave, and a request from the installed command-line tool.
set -euo pipefail
build=$1
octave=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > /dev/null
lib="$prefix/lib/quorvex"
for f in quorvex.mex quorvex.m quorvex_demo.m qvquotes.m private/qv_snapshot.m libPCQW32.so \
         libmxhost.so quorvex-feed-helper; do
  [ -s "$lib/$f" ] || { echo "missing $lib/$f"; exit 1; }
done
"$prefix/bin/pcqw32-sim" generate "$lib/pcqw32-data" > /dev/null
cd "$prefix"
env -u PCQW32_DATA_DIR -u LD_LIBRARY_PATH HOME="$prefix" "$octave" --norc --no-gui --quiet --eval "
  addpath ('$lib');
  v = quorvex (4, 1);
  assert (v.majorversion, 4);
  assert (qvquotes ('IBM').LastPrice > 0);
  assert (! isempty (strfind (evalc ('help quorvex'), 'quorvex:badInput')));"
# The installed helper serves the installed module.
env -u PCQW32_DATA_DIR -u LD_LIBRARY_PATH QUORVEX_FEED_ISOLATION=helper HOME="$prefix" \
  "$octave" --norc --no-gui --quiet --eval "
  addpath ('$lib');
  assert (quorvex (4, 1).majorversion, 4);"
out=$(env -u PCQW32_DATA_DIR -u LD_LIBRARY_PATH "$prefix/bin/quorvex-cli" --json quote 1 IBM)
case "$out" in
  *'"Symbol": ["IBM"]'*) echo "install: ok" ;;
  *) echo "unexpected quorvex-cli output: $out"; exit 1 ;;
esac
