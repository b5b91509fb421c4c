#!/usr/bin/env bash
# The module copied to a folder without the feed library: a request must raise
# quorvex:feedLibrary naming the library and the loader's reason, and Octave must live on.
set -euo pipefail
octave=$1
module=$2
help=$3
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$module" "$help" "$dir"/
cd "$dir"
env -u LD_LIBRARY_PATH "$octave" --norc --no-gui --quiet --eval "
  try
    quorvex (1, 1);
    exit (1);
  catch err
    assert (err.identifier, 'quorvex:feedLibrary');
    assert (! isempty (strfind (err.message, 'libPCQW32.so')));
    assert (! isempty (strfind (err.message, 'cannot open shared object file')));
  end
  quorvex (1.5e9, 0);  # out-of-range codes still return at once
  printf ('missing library: ok\n');"

# A library of that name without the entry point: the error names the missing dbax.
printf 'int pcqw32_something_else(void) { return 0; }\n' > stub.c
cc -shared -fPIC -o libPCQW32.so stub.c
env -u LD_LIBRARY_PATH "$octave" --norc --no-gui --quiet --eval "
  try
    quorvex (4, 1);
    exit (1);
  catch err
    assert (err.identifier, 'quorvex:feedLibrary');
    assert (! isempty (strfind (err.message, 'has no entry point dbax')), err.message);
  end
  printf ('library without dbax: ok\n');"
