// Answering a `dbax` call from a recorded one: the recorded history deliveries are made to
// the caller's own callback, and the scan block fields, the record bytes and the status are
// given back as the recorded library left them.
#ifndef QUORVEX_FEED_SIM_REPLAY_H
#define QUORVEX_FEED_SIM_REPLAY_H

#include "dbax.h"
#include "recording.h"

#include <cstdint>
#include <string>

namespace pcqw32 {

// Replays `call` into the caller's buffers (`scanBlock` is the caller's scan block for the
// history operations, null otherwise) and returns the recorded status, or
// PCQW32_BAD_ARGUMENT with `error` set when recorded deliveries find no callback to call.
int32_t replayRecorded(const RecordedCall &call, HistoryScanBlock *scanBlock, void *record,
                       std::string &error);

} // namespace pcqw32

#endif
