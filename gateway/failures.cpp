#include "failures.h"

#include "feed_link.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

void raiseText(const char *identifier, const char *text) {
    mexErrMsgIdAndTxt(identifier, "%s", text);
    std::abort(); // the host's raise does not return
}

void raiseStatus(const char *identifier, const char *format, int32_t status) {
    char message[128];
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
    std::snprintf(message, sizeof message, format, static_cast<int>(status));
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    raiseText(identifier, message);
}

void raiseFormatted(const char *identifier, const char *format, ...) {
    char message[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    raiseText(identifier, message);
}

void attachFeed(RequestCall &call) {
    feedLoad();
    int32_t status = feedCall(call.block, DBA_ATTACH, nullptr, nullptr, call.database);
    if (status != 0) {
        feedCall(call.block, DBA_DETACH, nullptr, nullptr, 0);
        raiseStatus(ID_ATTACH, MSG_ATTACH, status);
    }
}

void detachFeed(RequestCall &call) {
    int32_t status = feedCall(call.block, DBA_DETACH, nullptr, nullptr, 0);
    if (status != 0) {
        raiseStatus(ID_DETACH, MSG_DETACH, status);
    }
}

void failAttached(RequestCall &call, const char *identifier, const char *format, int32_t status) {
    feedCall(call.block, DBA_DETACH, nullptr, nullptr, 0);
    raiseStatus(identifier, format, status);
}
