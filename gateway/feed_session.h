// One call's session with the feed: attaching the call's control block, reading through it,
// and closing it. Every failure while attached detaches first (its status ignored), so no
// attachment outlives the call whether or not the host unwinds or runs destructors.
#ifndef QUORVEX_FEED_SESSION_H
#define QUORVEX_FEED_SESSION_H

#include "failures.h"
#include "request_call.h"

#include <cstdint>

// Loads the feed library if need be and attaches to the call's database. On a nonzero status
// the block is detached again (status ignored) and FAILURE_ATTACH is raised.
void attachFeed(RequestCall &call);

// Closes the attachment, raising FAILURE_DETACH on a nonzero status.
void detachFeed(RequestCall &call);

// Detaches (status ignored), then raises `kind` with `number`.
[[noreturn]] void failAttached(RequestCall &call, FailureKind kind, int32_t number);

// Detaches (status ignored), then raises a message built like printf.
[[noreturn]] void failAttachedFormatted(RequestCall &call, const char *identifier,
                                        const char *format, ...) QUORVEX_PRINTF_FORMAT(3, 4);

// The feed library's own description of the failed feed call that the last request raised an
// error for, taken before the detach that follows it (which the library would describe
// instead); empty when the library offers none or the last request raised no feed failure.
const char *feedFailureDescription();

// Forgets that description; every request starts so.
void forgetFeedFailure();

// Keeps `text` as that description (a request answered by the feed helper, whose library
// described its failure there).
void rememberFeedFailureText(const char *text);

// A feed call failed with `status`: takes the library's description of it, detaches (status
// ignored), then raises `kind` with the status.
[[noreturn]] void failFeedCall(RequestCall &call, FailureKind kind, int32_t status);

// One feed read that must succeed: a nonzero status detaches and raises `kind` with it.
void readFeed(RequestCall &call, FailureKind kind, int32_t operation, void *key, void *record,
              int32_t parameter);

#endif
