// How the module reports a failure: one message, formatted with the status concerned, raised
// through the host with an identifier a script can catch. Raising ends the call at once.
#ifndef QUORVEX_FAILURES_H
#define QUORVEX_FAILURES_H

#include "request_call.h"

#include <cstdint>

// Identifiers of the module's errors.
constexpr const char *ID_ATTACH = "quorvex:attachFailed";
constexpr const char *ID_DETACH = "quorvex:detachFailed";
constexpr const char *ID_VERSION = "quorvex:versionFailed";
constexpr const char *ID_RETRIEVAL = "quorvex:retrievalFailed";
constexpr const char *ID_APPROX = "quorvex:approxFailed";
constexpr const char *ID_NEXT = "quorvex:nextFailed";
constexpr const char *ID_CAPACITY = "quorvex:capacityExceeded";
constexpr const char *ID_BAD_INPUT = "quorvex:badInput";
constexpr const char *ID_FEED_LIBRARY = "quorvex:feedLibrary";

// The messages that carry a feed status.
constexpr const char *MSG_ATTACH = "Database Attach failed with error %d";
constexpr const char *MSG_DETACH = "Detach error %d";
constexpr const char *MSG_VERSION = "Get version error %d";
constexpr const char *MSG_RETRIEVAL = "Data retrieval error %d";
constexpr const char *MSG_APPROX = "Get Approx failed %d.\n";
constexpr const char *MSG_NEXT = "Get Next failed %d.\n";

// Raises `text` as it stands.
[[noreturn]] void raiseText(const char *identifier, const char *text);

// Raises `format` (one %d) formatted with `status`.
[[noreturn]] void raiseStatus(const char *identifier, const char *format, int32_t status);

// Raises a message built like printf; for input errors, which name the input concerned.
[[noreturn]] void raiseFormatted(const char *identifier, const char *format, ...)
#if defined(__MINGW32__)
    // MinGW's printf archetype is the C library's, which lacks %zu; the module formats with
    // MinGW's C99 printf instead (__USE_MINGW_ANSI_STDIO), so check against that one.
    __attribute__((format(gnu_printf, 2, 3)))
#elif defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Attaches the call's control block to its database. On a nonzero status the block is
// detached again (status ignored) and "Database Attach failed with error %d" is raised.
void attachFeed(RequestCall &call);

// Closes the attachment, raising "Detach error %d" on a nonzero status.
void detachFeed(RequestCall &call);

// For failures while attached: detaches (status ignored) before raising `format` with
// `status`, so no attachment outlives the call whether or not the host unwinds.
[[noreturn]] void failAttached(RequestCall &call, const char *identifier, const char *format,
                               int32_t status);

#endif
