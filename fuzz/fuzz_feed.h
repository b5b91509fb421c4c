// A feed whose every answer comes from the fuzzer's input: statuses, record bytes, history
// deliveries to the scan callback (any number, with a cheap "repeat this delivery K times"
// form so the history capacity is reachable) and runs of bar blocks past the bar matrix.
//
// It also polices the module: it tracks every attachment per control block, checks the
// buffers it is handed by touching exactly the bytes the module offers, and aborts (so that
// libFuzzer reports the input) when the module breaks the calling contract.
#ifndef QUORVEX_FUZZ_FEED_H
#define QUORVEX_FUZZ_FEED_H

#include "dbax.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>

namespace fuzzfeed {

// Starts one module call: later feed calls read their answers from `data` (null: the feed
// answers like a healthy one with empty records), knowing which request the module runs.
void beginCall(FuzzedDataProvider *data, int32_t requestCode);

// Ends the call: aborts when an attachment is still open or the module left the feed's
// callback frame by raising. Returns the number of feed calls the call made.
int32_t endCall();

// True when the feed returned `status` (nonzero) from a call, or handed it to the callback,
// during the current module call.
bool statusWasReturned(int32_t status);

// True when a history delivery with a nonzero status and an event code whose low byte is 2
// carried `status` during the current module call.
bool approxFailureDelivered(int32_t status);

// Number of feed calls in the current module call.
int32_t callCount();

// History deliveries the callback stored (answered with 0) during the current module call.
int64_t storedHistoryBlocks();

// Bar blocks the feed delivered with status 0 (the first and every next one) during the
// current module call.
int64_t deliveredBarBlocks();

[[noreturn]] void fail(const char *what);

int32_t DBA_CALL dbax(void *controlBlock, int32_t operation, void *key, void *record,
                      int32_t parameter);

} // namespace fuzzfeed

#endif
