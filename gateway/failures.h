// How the module reports a failure: one message, raised through the front end's results seam
// (results.h) with an identifier a script can catch; and the warnings and printed lines that
// are not failures. Raising ends the call at once. This unit knows nothing of the feed: the
// feed session (feed_session.h) releases the attachment before it raises.
#ifndef QUORVEX_FAILURES_H
#define QUORVEX_FAILURES_H

#include <cstdarg>
#include <cstddef>
#include <cstdint>

// Checks the arguments of a printf-like function against its format (argument `format`, the
// first of the variable ones at `first`).
#if defined(__MINGW32__)
// MinGW's printf archetype is the C library's, which lacks %zu; the module formats with
// MinGW's C99 printf instead (__USE_MINGW_ANSI_STDIO), so check against that one.
#define QUORVEX_PRINTF_FORMAT(formatAt, firstAt)                                                   \
    __attribute__((format(gnu_printf, formatAt, firstAt)))
#elif defined(__GNUC__)
#define QUORVEX_PRINTF_FORMAT(formatAt, firstAt) __attribute__((format(printf, formatAt, firstAt)))
#else
#define QUORVEX_PRINTF_FORMAT(formatAt, firstAt)
// A warning, and a printed line, built like printf.
void warnFormatted(const char *identifier, const char *format, ...) QUORVEX_PRINTF_FORMAT(2, 3);
void printFormatted(const char *format, ...) QUORVEX_PRINTF_FORMAT(1, 2);

#endif

// Identifiers of the errors that carry no feed status.
constexpr const char *ID_BAD_INPUT = "quorvex:badInput";
constexpr const char *ID_FEED_LIBRARY = "quorvex:feedLibrary";
constexpr const char *ID_FEED_STALLED = "quorvex:feedStalled";

// Identifiers of the warnings.
constexpr const char *ID_NO_HISTORY = "quorvex:noHistory";
constexpr const char *ID_HISTORY_INCOMPLETE = "quorvex:historyIncomplete";

// The failures that carry one number (a feed status, or a capacity), each with its identifier
// and its message; FAILURES below is indexed by this kind.
enum FailureKind {
    FAILURE_ATTACH,
    FAILURE_DETACH,
    FAILURE_VERSION,
    FAILURE_RETRIEVAL,
    FAILURE_APPROX,
    FAILURE_NEXT,
    FAILURE_HISTORY_CAPACITY,
    FAILURE_BAR_CAPACITY,
    FAILURE_KIND_COUNT
};

struct Failure {
    const char *identifier;
    const char *message; // one %d
};

constexpr Failure FAILURES[FAILURE_KIND_COUNT] = {
    {"quorvex:attachFailed", "Database Attach failed with error %d"},
    {"quorvex:detachFailed", "Detach error %d"},
    {"quorvex:versionFailed", "Get version error %d"},
    {"quorvex:retrievalFailed", "Data retrieval error %d"},
    {"quorvex:approxFailed", "Get Approx failed %d.\n"},
    {"quorvex:nextFailed", "Get Next failed %d.\n"},
    {"quorvex:capacityExceeded",
     "The history holds more than %d rows, the most one scan can return"},
    {"quorvex:capacityExceeded",
     "The bar series holds more than %d rows, the most the matrix can hold"},
};

// Raises `text` as it stands.
[[noreturn]] void raiseText(const char *identifier, const char *text);

// Raises the message of `kind` formatted with `number`.
[[noreturn]] void raiseFailure(FailureKind kind, int32_t number);

// Longest text of a formatted message; the rest is cut.
constexpr size_t FORMATTED_MESSAGE_SIZE = 512;

// Formats `format` with `args` into `message`, cut to `size`.
void formatMessage(char *message, size_t size, const char *format, va_list args)
    QUORVEX_PRINTF_FORMAT(3, 0);

// Raises a message built like printf; for input errors, which name the input concerned.
[[noreturn]] void raiseFormatted(const char *identifier, const char *format, ...)
    QUORVEX_PRINTF_FORMAT(2, 3);

// A warning, and a printed line, built like printf.
void warnFormatted(const char *identifier, const char *format, ...) QUORVEX_PRINTF_FORMAT(2, 3);
void printFormatted(const char *format, ...) QUORVEX_PRINTF_FORMAT(1, 2);

#endif
