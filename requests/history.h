// Request 3's scan state: the callback the feed calls during the approximate-key scan and the
// static storage it fills. Module-wide, since the callback has nowhere else to put the rows;
// one scan at a time.
#ifndef QUORVEX_HISTORY_H
#define QUORVEX_HISTORY_H

#include "dbax.h"
#include "field_readers.h"
#include "feed_call.h"

#include <cstddef>
#include <cstdint>

// The most rows one scan can gather.
constexpr int32_t HISTORY_CAPACITY = 500000;
constexpr size_t HISTORY_COLUMN_COUNT = 7;
// A delivered block: eight records of 18 bytes, each with an 18-byte key.
constexpr int32_t HISTORY_BLOCK_RECORDS = 8;
constexpr size_t HISTORY_RECORD_SIZE = 18;
constexpr size_t HISTORY_KEY_SIZE = 18;
// The key buffer of every get-next read, zeroed; the feed's idea of its size is unknown.
constexpr size_t NEXT_KEY_BUFFER_SIZE = 256;
// Get-next rounds (a read and its wait) in a row without a single delivery after which the
// scan ends with quorvex:feedStalled. A working feed delivers something, a block, an event
// to ignore or the end, in every round or after a few; 10,000 empty rounds of a feed that
// answers at once take well under a second, and of one that waits 0.1 ms a round one second.
constexpr int32_t HISTORY_STALL_ROUNDS = 10000;
// The event the callback ignores, and the low byte of an event whose failure is printed.
constexpr int32_t HISTORY_EVENT_IGNORED = 52;
constexpr int32_t HISTORY_EVENT_APPROX = 2;
// Scan modes: the positioning read and its wait, then every read after it.
constexpr int32_t SCAN_MODE_POSITION = 1;
constexpr int32_t SCAN_MODE_NEXT = 4;

// Column c (0 to 6) of the rows stored by the current scan.
extern double HistoryColumns[HISTORY_COLUMN_COUNT][HISTORY_CAPACITY];
// Rows stored by the current scan: the next free row and the row count of the result.
extern int32_t HistoryRowCount;
// The key of the scan's first delivery and the key the scan asked for. A block belongs to the
// scan while its key's symbol and qualifier are the requested ones (spaces for none).
extern unsigned char FirstDeliveryKey[HISTORY_KEY_SIZE];
extern unsigned char RequestedHistoryKey[HISTORY_KEY_SIZE];
// Whether the current scan has taken FirstDeliveryKey from one of its own deliveries.
extern bool HistoryFirstKeyTaken;
// Set when the feed delivered a block that no longer fit the columns.
extern bool HistoryCapacityExceeded;
// Set when the scan ended on a delivery of another security; and when, before any row, that
// delivery named the requested symbol under another qualifier.
extern bool HistoryEndedOnOtherSecurity;
extern bool HistoryHeldUnderOtherQualifier;
// The status and event code of the delivery that ended the scan (0 and 0 while none has).
extern int32_t HistoryEndStatus;
extern int32_t HistoryEndEvent;

// Callback deliveries of every kind since the module was loaded; the scan compares it across a
// round to see whether the feed delivered anything.
extern int32_t HistoryDeliveryCount;
// A failure whose line the scan prints once the feed call it came in has returned; whether the
// scan saw one (warned of once detached), its status and the rows stored before it.
extern bool HistoryFailurePrinted;
extern bool HistoryFailureSeen;
extern int32_t HistoryFailureStatus;
extern int32_t HistoryFailureRows;

// The scan block as the module lends it to the feed: zeroed, with room after the fields the
// module knows, since the feed's own idea of the block's size is unknown.
struct HistoryScanStorage {
    HistoryScanBlock scan;
    unsigned char room[FEED_BUFFER_ROOM];
};

// Called by the feed from inside operations 50 and 53: stores the delivered block as eight rows
// in reverse record order and returns 0, or returns 1 when it ignores the event or ends the
// scan (failure status, another security, or the columns full).
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
