// A scripted stand-in for the feed's entry point, for unit tests: per operation a queue of
// answers (status, bytes written to the record, history deliveries made during the call),
// and a log of every call with the key bytes it carried and the scan block's fields.
#ifndef QUORVEX_SCRIPTED_FEED_H
#define QUORVEX_SCRIPTED_FEED_H

#include "dbax.h"

#include <cstdint>
#include <map>
#include <vector>

namespace scripted {

using Bytes = std::vector<unsigned char>;

// One call of the history callback, made from inside the feed call it belongs to.
struct Delivery {
    int32_t eventCode = 0;
    Bytes key;   // the delivered block's key, filled to SECURITY_KEY_SIZE bytes with spaces
    Bytes block; // eight history records, filled to HISTORY_BLOCK_SIZE bytes with zeros
    int32_t status = 0;
};

struct Answer {
    int32_t status = 0;
    Bytes record;                     // copied to the record argument when not empty
    std::vector<Delivery> deliveries; // operations 50 and 53 only
};

struct Call {
    int32_t operation = 0;
    void *block = nullptr;
    bool keyGiven = false;
    bool recordGiven = false;
    Bytes key; // as many bytes as keyLength(operation) says
    int32_t parameter = 0;
    // For operations 50 and 53: the scan block as the feed found it.
    bool callbackSet = false;
    int32_t scanReserved4 = 0;
    int32_t scanDone = 0;
    int32_t scanMode = 0;
    int32_t scanReserved8 = 0;
    int32_t scanStarted = 0; // before the double kept it
    // Return values of the callbacks made during the call.
    std::vector<int32_t> callbackResults;
};

// Forgets every answer and the log; every operation answers 0 and writes nothing.
void reset();

// Queues an answer for the next call of `operation`.
void answer(int32_t operation, Answer next);
void answer(int32_t operation, int32_t status, Bytes record = {});

// Answer used once an operation's queue is empty (status 0 and nothing written by default).
void answerAlways(int32_t operation, Answer every);

// How many key bytes the log copies for an operation. Defaults (pcqw32_layout.h):
// SECURITY_KEY_SIZE for DBA_GET_RECORD and for the positioning DBA_GET_APPROX, TAGGED_KEY_SIZE
// for DBA_GET_RECORD_EXT, SECURITY_RECORD_SIZE for the two block reads, none otherwise.
void setKeyLength(int32_t operation, size_t length);

const std::vector<Call> &calls();
std::vector<int32_t> operations();

// Calls the history callback as __cdecl instead of the interface's convention (32-bit Windows;
// one convention elsewhere), like a library built that way.
void setCdeclCallback(bool useCdecl);

// Attachments opened and not closed, across all control blocks.
//
// Like a real feed, the double keeps the scan block's `started` field: 0 at the positioning
// read, 1 after each delivery.
int32_t openAttachments();

int32_t DBA_CALL dbax(void *controlBlock, int32_t operation, void *key, void *record,
                      int32_t parameter);

} // namespace scripted

#endif
