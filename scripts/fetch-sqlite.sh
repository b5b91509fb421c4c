#!/usr/bin/env bash
# Puts the SQLite amalgamation (sqlite3.c, sqlite3.h; public domain) into a folder, for builds
# whose target has no SQLite library package (the 32-bit Windows cross build). Debian ships
# no copy of the amalgamation, so it is taken from the npm package better-sqlite3, which
# bundles an unmodified one, and checked against a fixed digest.
#   scripts/fetch-sqlite.sh DEST     (default: _deps/sqlite3 in the Windows build folder,
#                                     QUORVEX_WIN32_BUILD_DIR or build-win32)
# Does nothing when DEST already holds the expected files.
set -euo pipefail
cd "$(dirname "$0")/.."

dest=${1:-$(realpath -m "${QUORVEX_WIN32_BUILD_DIR:-build-win32}")/_deps/sqlite3}
package=better-sqlite3@12.4.1
sqlite_version=3.50.4
sqlite_c_sha256=90b7189566ea710ee18361b25d893f5cda3fcf43033223a16384762f53e99a85
sqlite_h_sha256=abd1514e0351f79393d1be882830afdb40a8099e8257f311f0bfdf8486f11bea

present() {
  [ -f "$dest/sqlite3.c" ] && [ -f "$dest/sqlite3.h" ] &&
    echo "$sqlite_c_sha256  $dest/sqlite3.c" | sha256sum --quiet -c - 2>/dev/null &&
    echo "$sqlite_h_sha256  $dest/sqlite3.h" | sha256sum --quiet -c - 2>/dev/null
}

if present; then
  echo "SQLite $sqlite_version amalgamation present in $dest"
  exit 0
fi

if ! command -v npm >/dev/null; then
  echo "fetch-sqlite.sh: npm is missing; run scripts/install-deps.sh --windows" >&2
  exit 127
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# npm pack only downloads the package file: no install step of the package runs.
(cd "$work" && npm pack --silent "$package" >/dev/null)
tar -xzf "$work"/better-sqlite3-*.tgz -C "$work" package/deps/sqlite3/sqlite3.c \
  package/deps/sqlite3/sqlite3.h
mkdir -p "$dest"
cp "$work/package/deps/sqlite3/sqlite3.c" "$work/package/deps/sqlite3/sqlite3.h" "$dest/"

if ! present; then
  echo "fetch-sqlite.sh: the files from $package do not match the expected SQLite $sqlite_version" >&2
  rm -f "$dest/sqlite3.c" "$dest/sqlite3.h"
  exit 1
fi
echo "SQLite $sqlite_version amalgamation from $package in $dest"
