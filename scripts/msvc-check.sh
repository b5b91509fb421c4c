#!/usr/bin/env bash
# Compiles the module's sources the way MATLAB users on Windows build it, with an MSVC
# compiler: clang in MSVC mode, C++14, Microsoft extensions and inline assembly blocks, SSE2
# arithmetic as MSVC's default /arch, warnings as errors, against tests/msvc/mex.h (the host's
# published C interface) rather than the stand-in host. Every .cpp in common/, gateway/ and
# requests/ is compiled to object code, which is thrown away: only code generation checks the
# instructions of an __asm block, a syntax check lets a wrong one through. Each source is
# compiled twice for 32-bit x86, with the host's array sizes as size_t and as int (mex
# -compatibleArrayDims, the default of the releases that ran on 32-bit Windows), and once for
# x64, the target of the 64-bit module (quorvex.mexw64).
# Then the guard in requests/keys.h against x87 arithmetic, both ways: MSVC's /arch:SSE2 and
# AVX sets and GCC's or clang's SSE2 arithmetic must build, MSVC's /arch:IA32 and /arch:SSE
# and x87 builds of GCC and clang must stop at that guard and at nothing else.
#   scripts/msvc-check.sh
#   QUORVEX_JOBS=4 scripts/msvc-check.sh
#
# Headers. There is no Windows SDK and no Microsoft C or C++ library on Linux, so the
# declarations come from MinGW-w64 for the same target, as Debian packages them for the
# Windows leg (scripts/install-deps.sh --windows): its C runtime and Windows API headers
# (mingw-w64-i686-dev), which have a branch for MSVC and so are read as MSVC would see them,
# and the C++ library headers of its g++ (libstdc++), which clang reads in any mode.
# tests/msvc/mingw_as_msvc.h, included first, mends the few spellings of that MSVC branch
# that clang rejects. The C++ library is not Microsoft's: a missing #include that MSVC's
# library happens to supply (or the other way round) can go unnoticed here.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${QUORVEX_JOBS:-2}
start=$(date +%s)

for tool in clang++ i686-w64-mingw32-g++-win32 x86_64-w64-mingw32-g++-win32; do
  command -v "$tool" >/dev/null ||
    { echo "msvc-check.sh: $tool is missing; run scripts/install-deps.sh --windows" >&2; exit 127; }
done
# The headers of one target: its C++ library, its own and the Windows SDK's.
headers_of() {
  local target=$1 cxx_headers
  cxx_headers=$("$target-g++-win32" -print-file-name=include)/c++
  for header in "/usr/$target/include/windows.h" "$cxx_headers/cstdio"; do
    [ -f "$header" ] ||
      { echo "msvc-check.sh: $header is missing; run scripts/install-deps.sh --windows" >&2; exit 127; }
  done
  echo "$cxx_headers" "$cxx_headers/$target" "/usr/$target/include"
}
read -r -a system_headers <<<"$(headers_of i686-w64-mingw32)"
read -r -a system_headers64 <<<"$(headers_of x86_64-w64-mingw32)"

# The MSVC build: -msse2 is /arch:SSE2, which clang's MSVC target does not assume by itself.
# -pedantic reports GNU extensions, which MSVC rejects; it would also report Microsoft's own
# keywords (__try, __int64), which are what this mode is for. A declaration of mexFunction
# without dllexport, as the host's headers of those releases have, followed by the module's
# exported definition is accepted by MSVC; clang alone remarks on it. The 64-bit module is
# checked the same way for x64, the target of every current host.
common_flags=(-fms-extensions -fms-compatibility -fasm-blocks -std=c++14 -Wall -Wextra -pedantic
              -Werror -Wno-language-extension-token -Wno-dll-attribute-on-redeclaration
              -nostdinc++ -include tests/msvc/mingw_as_msvc.h -Itests/msvc -Iinclude -Icommon
              -Igateway -Irequests)
msvc=(clang++ --target=i686-pc-windows-msvc -msse2 "${common_flags[@]}")
for dir in "${system_headers[@]}"; do msvc+=(-isystem "$dir"); done
msvc64=(clang++ --target=x86_64-pc-windows-msvc "${common_flags[@]}")
for dir in "${system_headers64[@]}"; do msvc64+=(-isystem "$dir"); done

failures=0
# Runs one compilation; on failure prints its label and the compiler's report.
compile() {
  local label=$1 out
  shift
  if ! out=$("$@" 2>&1); then
    printf 'msvc-check: FAILED %s\n%s\n' "$label" "$out" >&2
    return 1
  fi
}

sources=(common/*.cpp gateway/*.cpp requests/*.cpp)
running=0
for build in "32 size_t" "32 int" "64 size_t"; do
  read -r bits dims <<<"$build"
  variant=()
  if [ "$dims" = int ]; then variant=(-DQUORVEX_COMPATIBLE_ARRAY_DIMS); fi
  compiler=("${msvc[@]}")
  if [ "$bits" = 64 ]; then compiler=("${msvc64[@]}"); fi
  for src in "${sources[@]}"; do
    compile "$src ($bits-bit, mwSize $dims)" "${compiler[@]}" "${variant[@]}" -c -o /dev/null \
      "$src" &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
      wait -n || failures=$((failures + 1))
      running=$((running - 1))
    fi
  done
done
while [ "$running" -gt 0 ]; do
  wait -n || failures=$((failures + 1))
  running=$((running - 1))
done

# The x87 guard. `accepts` and `refuses` compile requests/keys.cpp, which includes the guard,
# with the given compiler and flags; refusing means failing with the guard's message as the
# only error.
guard_message='build with SSE2 arithmetic on 32-bit x86'
mingw_headers=(-nostdinc++)
for dir in "${system_headers[@]}"; do mingw_headers+=(-isystem "$dir"); done
# clang as cl.exe, to give /arch in MSVC's own spelling.
clang_cl=(clang++ --driver-mode=cl --target=i686-pc-windows-msvc /std:c++14 /X /Zs
          /FItests/msvc/mingw_as_msvc.h /Iinclude)
for dir in "${system_headers[@]}"; do clang_cl+=(/imsvc "$dir"); done
clang_mingw=(clang++ --target=i686-w64-mingw32 -std=c++14 -fsyntax-only "${mingw_headers[@]}"
             -Iinclude)
gcc_mingw=(i686-w64-mingw32-g++-win32 -std=c++14 -fsyntax-only -Iinclude)

accepts() {
  compile "SSE2 build refused: $*" "$@" requests/keys.cpp || failures=$((failures + 1))
}
refuses() {
  local out
  if out=$("$@" requests/keys.cpp 2>&1); then
    echo "msvc-check: FAILED x87 build accepted: $*" >&2
    failures=$((failures + 1))
  elif [ "$(grep -c 'error:' <<<"$out")" -ne 1 ] || ! grep -q "$guard_message" <<<"$out"; then
    printf 'msvc-check: FAILED not the x87 guard: %s\n%s\n' "$*" "$out" >&2
    failures=$((failures + 1))
  fi
}

accepts "${clang_cl[@]}" /arch:SSE2
accepts "${clang_cl[@]}" /arch:AVX2
refuses "${clang_cl[@]}" /arch:IA32
refuses "${clang_cl[@]}" /arch:SSE
accepts "${clang_mingw[@]}" -msse2
refuses "${clang_mingw[@]}" -mno-sse
# Clang gives FLT_EVAL_METHOD as 0 here although doubles go to the x87 unit.
refuses "${clang_mingw[@]}" -msse -mno-sse2
accepts "${gcc_mingw[@]}" -msse2 -mfpmath=sse
refuses "${gcc_mingw[@]}" -msse2
refuses "${gcc_mingw[@]}" -mno-sse

if [ "$failures" -ne 0 ]; then
  echo "msvc-check: $failures failed ($(( $(date +%s) - start )) s)" >&2
  exit 1
fi
echo "msvc-check: ${#sources[@]} sources compiled in MSVC mode for 32-bit x86 (twice) and x64, the x87 guard both ways:" \
  "passed ($(( $(date +%s) - start )) s)"
