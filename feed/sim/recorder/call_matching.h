// What a call of a recording or replay session is, worked out before it is answered: the
// request it makes (the bytes a replayed call is matched by, and the key bytes kept), the run
// it starts or continues (a bar read or a history scan, whose calls are replayed in their
// recorded order) and its name in messages; and how each answered call moves the session on.
#ifndef QUORVEX_FEED_SIM_CALL_MATCHING_H
#define QUORVEX_FEED_SIM_CALL_MATCHING_H

#include "dbax.h"
#include "recording.h"

#include <cstdint>
#include <deque>
#include <string>

namespace pcqw32 {

// A bar read or a history scan in progress on a control block.
struct Run {
    bool active = false;
    std::deque<RecordedCall> ahead; // replay: calls of the run read ahead
    bool exhausted = false;         // replay: the recording holds no more calls of the run
    bool replayed = false;          // answered from the recording rather than forwarded
    int64_t head = 0;               // id of the call that started it
    int64_t last = 0;               // replay: id of the last call of the run answered
    int32_t calls = 0;              // calls of the run so far, its first included
    Bytes key;                      // bar reads: the security record every block read must carry
    std::string security;           // what the run reads, for messages
};

// What the calls of a session so far make of the next one.
struct CallContext {
    bool attached = false; // as the caller was answered
    Run bars, scan;
    // The last security record answered, and the security it is of, to name block reads.
    Bytes lastSecurityRecord;
    std::string lastSecurity;
};

// What a call asks for, worked out before it is answered.
struct Shape {
    int32_t operation = 0, parameter = 0;
    HistoryScanBlock *scanBlock = nullptr;
    Run *run = nullptr;   // the run it starts or continues
    bool head = false;    // it starts `run`
    Bytes request;        // for calls that are not continuations
    Bytes key;            // the raw key bytes to record
    std::string what;     // the request in words
    std::string security; // for a call that starts a run: what the run reads
};

// The shape of a call the session is about to answer.
Shape shapeOf(CallContext &s, int32_t operation, void *key, void *record, int32_t parameter);

// Moves the session on after call `c` was answered with `status`: an attach or detach ends
// both runs; a security record answered names the block reads that carry it; a call that
// starts or continues a run counts in it (`replayed`: answered by recorded call `recordedId`).
void noteCall(CallContext &s, const Shape &c, void *key, void *record, int32_t status,
              bool replayed, int64_t recordedId);

} // namespace pcqw32

#endif
