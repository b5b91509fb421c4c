// Included before every source that scripts/msvc-check.sh compiles in MSVC mode, where the
// C library, C++ library and Windows declarations come from MinGW-w64's headers. Those
// headers have an MSVC branch, but it spells a few things in ways clang does not take, or
// takes away what clang's own headers need; this mends them before any other header is read.
// No declaration changes: it names the architecture as MSVC's headers would, names the 128-bit
// integer as GCC does, keeps the attribute keyword, and respells three attribute macros.
#ifndef QUORVEX_MINGW_AS_MSVC_H
#define QUORVEX_MINGW_AS_MSVC_H

// MSVC's own <windows.h> derives the architecture name from _M_IX86; MinGW's takes it from
// the compiler, which in MSVC mode does not define it, and then leaves CONTEXT undeclared.
#if defined(_M_IX86) && !defined(_X86_)
#define _X86_ 1
#endif
#if defined(_M_X64) && !defined(_AMD64_)
#define _AMD64_ 1
#endif

// On x64, clang has __int128, and the C++ library's configuration expects the compiler to name
// it as GCC does, or takes its absence for a broken strict mode.
#if defined(__SIZEOF_INT128__) && !defined(__GLIBCXX_TYPE_INT_N_0)
#define __GLIBCXX_TYPE_INT_N_0 __int128
#define __GLIBCXX_BITSIZE_INT_N_0 128
#endif

#include <_mingw.h>

// Without __GNUC__, _mingw.h defines __attribute__(x) away, which empties the vector types of
// clang's intrinsic headers (reached through <windows.h>) and the attributes of the C++
// library; clang knows the keyword in every mode.
#undef __attribute__

// After a declarator, where these three stand, clang takes no __declspec; the same meaning
// in the attribute spelling it does take.
#undef __MINGW_NOTHROW
#define __MINGW_NOTHROW __attribute__((__nothrow__))
#undef __MINGW_ATTRIB_NORETURN
#define __MINGW_ATTRIB_NORETURN __attribute__((__noreturn__))
#undef __MINGW_ATTRIB_DEPRECATED
#define __MINGW_ATTRIB_DEPRECATED __attribute__((__deprecated__))

#endif
