#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests and demonstrates with.
# Safe to run again: apt-get skips what is already there.
#   scripts/install-deps.sh            host build, tests, the Octave demo and the Python package
#   scripts/install-deps.sh --windows  also the 32-bit Windows cross toolchain and Wine
set -euo pipefail

want_windows=0
for arg in "$@"; do
  case "$arg" in
    --windows) want_windows=1 ;;
    *) echo "install-deps.sh: unknown option: $arg" >&2; exit 2 ;;
  esac
done

for tool in dpkg dpkg-query apt-get; do
  command -v "$tool" >/dev/null ||
    { echo "install-deps.sh: $tool is missing; this script installs Debian packages" >&2; exit 127; }
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

packages=(build-essential cmake pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          libsqlite3-dev sqlite3 octave-dev gnuplot-nox fonts-freefont-otf clang-format)
# The robustness runs: clang with libFuzzer and the sanitizer runtimes, the symbolizer for
# their reports, valgrind.
packages+=(clang libclang-rt-14-dev llvm valgrind)
# The Python front end: Debian's interpreter (/usr/bin/python3) with pybind11, NumPy, pandas and
# pytest from Debian (no other registry is reachable), and venv and pip for its install.
packages+=(python3-dev pybind11-dev python3-pybind11 python3-numpy python3-pandas python3-pytest
           python3-venv python3-pip python3-setuptools)

if [ "$want_windows" -eq 1 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  # GoogleTest is built for the target from its source package; the SQLite amalgamation for
  # the target's simulator comes through npm (scripts/fetch-sqlite.sh). The toolchain's C
  # runtime, Windows and C++ library headers also serve the MSVC-mode compile
  # (scripts/msvc-check.sh, with clang from above).
  # The 64-bit module and its drivers (x86-64), which run beside the 32-bit feed helper in one
  # Wine prefix: wine64 with wine32.
  packages+=(g++-mingw-w64-i686 mingw-w64-i686-dev g++-mingw-w64-x86-64 mingw-w64-x86-64-dev
             wine32 wine64 wine googletest)
  if ! command -v npm >/dev/null; then packages+=(npm); fi
fi

# Installs those of the given packages that are not installed yet.
install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$p")
  done
  if [ "${#missing[@]}" -eq 0 ]; then
    echo "all packages present"
    return
  fi
  if [ -n "$SUDO" ] && ! command -v sudo >/dev/null; then
    echo "install-deps.sh: sudo is missing; run this script as root" >&2
    exit 127
  fi
  echo "installing: ${missing[*]}"
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

if [ "$want_windows" -eq 1 ]; then packages+=(wine32:i386); fi
install_missing "${packages[@]}"

# Wine's programs are 32-bit x86 Linux programs. A kernel that cannot run those itself runs
# them through qemu-user (scripts/windows-test.sh registers it with binfmt_misc); the probe
# needs the assembler and linker installed above.
if [ "$want_windows" -eq 1 ]; then
  # shellcheck source=scripts/x86-32.sh
  . "$(dirname "$0")/x86-32.sh"
  probe_dir=$(mktemp -d)
  if x86_32_emulated || ! x86_32_probe "$probe_dir"; then
    install_missing qemu-user-static
  fi
  rm -rf "$probe_dir"
fi
