// Calling a feed library's entry point whatever its calling convention: the guarded call, the
// conventions it tells apart, the names the entry point may be exported under, and the history
// callback set into a scan block. Shared by the module and by the feed simulator's recorder,
// which both call a library they did not build.
//
// A call of the feed's entry point that survives either calling convention of 32-bit x86.
//
// Nothing documents whether the vendor's `dbax` is __stdcall (the callee removes its 20 bytes
// of arguments) or __cdecl (the caller removes them). A call made with the wrong assumption
// leaves the stack pointer 20 bytes off, and the caller's return then jumps into the stack.
// The guarded call keeps the stack pointer in a callee-saved register, pushes the five
// arguments, calls, measures how many argument bytes the callee removed and restores the
// stack pointer, so that whatever the callee did with its arguments the caller goes on with
// a whole stack and learns which convention the library follows.
#ifndef QUORVEX_FEED_CALL_H
#define QUORVEX_FEED_CALL_H

#include "dbax.h"

#include <cstdint>
#include <cstring>

#if defined(_WIN32) && (defined(_M_IX86) || defined(__i386__))
#define GUARDED_CALL_MEASURES 1
#else
#define GUARDED_CALL_MEASURES 0
#endif

// The argument bytes of a `dbax` call: five 32-bit arguments.
constexpr int32_t DBAX_ARGUMENT_BYTES = 20;
// What *removedBytes reads where the call cannot be measured (every target but 32-bit x86
// Windows, where the one convention of the platform applies and the call is direct).
constexpr int32_t GUARDED_CALL_NOT_MEASURED = -1;

// The address of a function of any convention, as the untyped pointer the guarded call and the
// scan block take.
template <typename Function> const void *functionAddress(Function function) {
    const void *address;
    static_assert(sizeof address == sizeof function, "function and data pointers differ");
    std::memcpy(&address, &function, sizeof address);
    return address;
}

// Calls `entry` (a `dbax` of either convention) with the five arguments and returns its
// status; *removedBytes receives the number of argument bytes the callee removed from the
// stack: 20 for stdcall, 0 for cdecl, anything else for a library that is neither.
int32_t guardedDbaxCall(const void *entry, void *controlBlock, int32_t operation, void *key,
                        void *record, int32_t parameter, int32_t *removedBytes);

// The conventions of `dbax` and of the history callback.
enum FeedConvention { FEED_CONVENTION_UNKNOWN, FEED_CONVENTION_STDCALL, FEED_CONVENTION_CDECL };

// The convention a guarded call's removed bytes show: stdcall for 20, cdecl for 0, unknown for
// any other count and for a call that was not measured.
FeedConvention conventionOfRemovedBytes(int32_t removedBytes);

// "stdcall" or "cdecl".
const char *conventionName(FeedConvention convention);

// The convention a setting names ("stdcall" or "cdecl"); unknown for any other text.
FeedConvention parseConvention(const char *text);

// How one measured call compares with the convention fixed by the calls before it.
enum ConventionCheck {
    CONVENTION_KEPT,    // the fixed one, or the first call, which fixes it
    CONVENTION_NEITHER, // the call removed a count that is neither convention's
    CONVENTION_CHANGED, // the call followed the other convention
};
// Fixes *fixed from the first measured call and checks every later one against it; calls that
// were not measured (every target but 32-bit x86 Windows) are always kept.
ConventionCheck checkConvention(FeedConvention *fixed, int32_t removedBytes);

// The names a library may export `dbax` under, in the order they are looked up: the plain
// name, then those a stdcall export keeps when its decoration was not removed (which prove
// stdcall).
constexpr int DBAX_EXPORT_NAME_COUNT = 3;
constexpr const char *DBAX_EXPORT_NAMES[DBAX_EXPORT_NAME_COUNT] = {"dbax", "_dbax@20", "dbax@20"};

// Writes the address of a callback of either convention into the scan block's callback field.
inline void setScanCallback(HistoryScanBlock *scan, const void *callback) {
    std::memcpy(&scan->callback, &callback, sizeof scan->callback);
}

#endif
