// Request 3, the approximate-key history scan: its limits, and the callback the feed calls
// during the scan. The callback finds everything it needs through the scan block the feed
// hands back to it (history.cpp), so the scan keeps no state outside the request but the
// store of the blocks delivered, private to its unit.
#ifndef QUORVEX_HISTORY_H
#define QUORVEX_HISTORY_H

#include "dbax.h"
#include "feed_call.h"
#include "pcqw32_layout.h"

#include <cstddef>
#include <cstdint>

// The most rows one scan can gather.
constexpr int32_t HISTORY_CAPACITY = 500000;
// The key buffer of every get-next read, zeroed; the feed's idea of its size is unknown.
constexpr size_t NEXT_KEY_BUFFER_SIZE = 256;
// Get-next rounds (a read and its wait) in a row without a single delivery after which the
// scan ends with quorvex:feedStalled. A working feed delivers something, a block, an event
// to ignore or the end, in every round or after a few; 10,000 empty rounds of a feed that
// answers at once take well under a second, and of one that waits 0.1 ms a round one second.
constexpr int32_t HISTORY_STALL_ROUNDS = 10000;

// Called by the feed from inside operations 50 and 53: keeps the delivered block for the
// result and returns 0, or returns 1 when it ignores the event or ends the scan (failure
// status, another security, or the capacity reached).
// On 32-bit x86 Windows it exists in both conventions, and the scan hands the feed the one that
// matches the library.
#if GUARDED_CALL_MEASURES
int32_t __stdcall HistoryCallback(int32_t, int32_t eventCode, const void *key, const void *block,
                                  int32_t, int32_t status, void *scanBlock);
int32_t __cdecl HistoryCallbackCdecl(int32_t, int32_t eventCode, const void *key, const void *block,
                                     int32_t, int32_t status, void *scanBlock);
#else
int32_t HistoryCallback(int32_t, int32_t eventCode, const void *key, const void *block, int32_t,
                        int32_t status, void *scanBlock);
#endif

#endif
