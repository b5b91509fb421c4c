#!/usr/bin/env bash
# Builds the Octave package archive quorvex-<version>.tar.gz: DESCRIPTION, INDEX and COPYING,
# the functions, the demo and their private helpers under inst/, and under src/ the module's
# and the feed simulator's sources with the Makefile that `pkg install` runs (it builds the
# module with mkoctfile, the simulator's library and its tool; see octave/package/Makefile).
# Needs only the sources; `pkg install` needs a C++ compiler, mkoctfile and SQLite's headers.
#   scripts/octave-package.sh [output folder]     (default: build)
# Prints the archive's path.
set -euo pipefail
out=${1:-}
if [ -n "$out" ]; then
  mkdir -p "$out"
  out=$(cd "$out" && pwd)
fi
cd "$(dirname "$0")/.."
out=${out:-$PWD/build}
version=$(sed -n 's/^Version: *//p' octave/package/DESCRIPTION)
[ -n "$version" ] || { echo "octave-package.sh: no Version in octave/package/DESCRIPTION" >&2; exit 1; }

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
top=$stage/quorvex-$version
mkdir -p "$top/inst/private" "$top/src/common" "$top/src/gateway" \
         "$top/src/requests" "$top/src/include"
cp octave/package/DESCRIPTION octave/package/INDEX octave/package/COPYING "$top/"
# Octave shows the help of a compiled function only from a .m file beside it: the module's
# help goes to src/, whence the Makefile puts it into the architecture folder of the module.
cp octave/help/quorvex.m "$top/src/"
cp octave/*.m "$top/inst/"
cp octave/private/*.m "$top/inst/private/"
cp octave/package/Makefile octave/package/FILES "$top/src/"
cp common/*.cpp common/*.h "$top/src/common/"
cp gateway/*.cpp gateway/*.h "$top/src/gateway/"
cp requests/*.cpp requests/*.h "$top/src/requests/"
mkdir -p "$top/src/helper"
cp helper/*.cpp helper/*.h "$top/src/helper/"
cp include/*.h "$top/src/include/"
# The simulator's sources, one folder per layer.
for layer in feed/sim/*/; do
  mkdir -p "$top/src/$layer"
  find "$layer" -maxdepth 1 \( -name '*.cpp' -o -name '*.h' \) -exec cp {} "$top/src/$layer" \;
done

mkdir -p "$out"
archive=$out/quorvex-$version.tar.gz
tar -C "$stage" -czf "$archive" "quorvex-$version"
echo "$archive"
