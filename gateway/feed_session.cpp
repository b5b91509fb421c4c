#include "feed_session.h"

#include "feed_link.h"

#include <cstdarg>
#include <cstdio>

namespace {

char failureDescription[FORMATTED_MESSAGE_SIZE];

// Takes the library's description of the call that just failed.
void rememberFeedFailure() {
    feedDescribeLastError(failureDescription, static_cast<int32_t>(sizeof failureDescription));
}

} // namespace

const char *feedFailureDescription() {
    return failureDescription;
}

void forgetFeedFailure() {
    failureDescription[0] = '\0';
}

void rememberFeedFailureText(const char *text) {
    std::snprintf(failureDescription, sizeof failureDescription, "%s", text);
}

void attachFeed(RequestCall &call) {
    feedLoad();
    int32_t status = feedCall(call.block, DBA_ATTACH, nullptr, nullptr, call.inputs.database);
    if (status != 0) {
        failFeedCall(call, FAILURE_ATTACH, status);
    }
}

void detachFeed(RequestCall &call) {
    int32_t status = feedCall(call.block, DBA_DETACH, nullptr, nullptr, 0);
    if (status != 0) {
        raiseFailure(FAILURE_DETACH, status);
    }
}

void failAttached(RequestCall &call, FailureKind kind, int32_t number) {
    feedCall(call.block, DBA_DETACH, nullptr, nullptr, 0);
    raiseFailure(kind, number);
}

void failAttachedFormatted(RequestCall &call, const char *identifier, const char *format, ...) {
    char message[FORMATTED_MESSAGE_SIZE];
    va_list args;
    va_start(args, format);
    formatMessage(message, sizeof message, format, args);
    va_end(args);
    feedCall(call.block, DBA_DETACH, nullptr, nullptr, 0);
    raiseText(identifier, message);
}

void readFeed(RequestCall &call, FailureKind kind, int32_t operation, void *key, void *record,
              int32_t parameter) {
    int32_t status = feedCall(call.block, operation, key, record, parameter);
    if (status != 0) {
        failFeedCall(call, kind, status);
    }
}

void failFeedCall(RequestCall &call, FailureKind kind, int32_t status) {
    rememberFeedFailure();
    failAttached(call, kind, status);
}
