#include "failures.h"

#include "results.h"

#include <cstdarg>
#include <cstdio>

void raiseText(const char *identifier, const char *text) {
    reportError(identifier, text);
}

void raiseFailure(FailureKind kind, int32_t number) {
    char message[128];
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
    std::snprintf(message, sizeof message, FAILURES[kind].message, static_cast<int>(number));
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    raiseText(FAILURES[kind].identifier, message);
}

void formatMessage(char *message, size_t size, const char *format, va_list args) {
    std::vsnprintf(message, size, format, args);
}

void raiseFormatted(const char *identifier, const char *format, ...) {
    char message[FORMATTED_MESSAGE_SIZE];
    va_list args;
    va_start(args, format);
    formatMessage(message, sizeof message, format, args);
    va_end(args);
    raiseText(identifier, message);
}

void warnFormatted(const char *identifier, const char *format, ...) {
    char message[FORMATTED_MESSAGE_SIZE];
    va_list args;
    va_start(args, format);
    formatMessage(message, sizeof message, format, args);
    va_end(args);
    reportWarning(identifier, message);
}

void printFormatted(const char *format, ...) {
    char text[FORMATTED_MESSAGE_SIZE];
    va_list args;
    va_start(args, format);
    formatMessage(text, sizeof text, format, args);
    va_end(args);
    reportPrint(text);
}
