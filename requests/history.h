// Request 3's scan state: the callback the feed calls during the approximate-key scan and the
// static storage it fills. Module-wide, since the callback has nowhere else to put the rows;
// one scan at a time.
#ifndef QUORVEX_HISTORY_H
#define QUORVEX_HISTORY_H

#include "dbax.h"

#include <cstddef>
#include <cstdint>

// The most rows one scan can gather.
constexpr int32_t HISTORY_CAPACITY = 500000;
constexpr size_t HISTORY_COLUMN_COUNT = 7;
// A delivered block: eight records of 18 bytes, each with an 18-byte key.
constexpr int32_t HISTORY_BLOCK_RECORDS = 8;
constexpr size_t HISTORY_RECORD_SIZE = 18;
constexpr size_t HISTORY_KEY_SIZE = 18;
// The key buffer of every get-next read.
constexpr size_t NEXT_KEY_BUFFER_SIZE = 24;
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
// The key of the scan's first delivery, the key the scan asked for, and whether that key names
// a qualifier. A block belongs to the scan while its key's symbol is the requested one and its
// qualifier the requested one (or, with none requested, the first delivery's).
extern unsigned char FirstDeliveryKey[HISTORY_KEY_SIZE];
extern unsigned char RequestedHistoryKey[HISTORY_KEY_SIZE];
extern bool RequestNamesQualifier;
// Set when the feed delivered a block that no longer fit the columns.
extern bool HistoryCapacityExceeded;
// Set when the scan ended on a delivery of another security.
extern bool HistoryEndedOnOtherSecurity;

// Called by the feed from inside operations 50 and 53: stores the delivered block as eight rows
// in reverse record order and returns 0, or returns 1 when it ignores the event or ends the
// scan (failure status, another security, or the columns full).
int32_t DBA_CALL HistoryCallback(int32_t, int32_t eventCode, const void *key, const void *block,
                                 int32_t, int32_t status, void *scanBlock);

#endif
