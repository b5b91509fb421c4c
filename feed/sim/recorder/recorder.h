// Recording a session with another feed library, and replaying it without that library.
//
// With PCQW32_RECORD_TARGET naming a library by its full path, an attach starts a recording
// session on its control block: every call of that block is forwarded to the named library
// with the caller's own arguments and buffers, and what came back (status, bytes written,
// history deliveries) is written into the store of the database in PCQW32_RECORD_DIR. An
// attach whose store holds a recording, without a target, starts a replay session that
// answers every call from the recording. PCQW32_RECORD_MODE (all, new, none) says what may
// still reach the recorded library. Control blocks of neither kind stay with the simulator's
// own store.
//
// This unit holds the sessions, one per control block, and what they do with each call: look
// up its recorded answer, forward and record it, or refuse it. What a call asks for is worked
// out in call_matching.h, the recorded library is called through recorded_library.h, the
// recording's tables are recording.h and a recorded answer is given back by replay.h.
#ifndef QUORVEX_FEED_SIM_RECORDER_H
#define QUORVEX_FEED_SIM_RECORDER_H

#include <cstdint>
#include <string>

namespace pcqw32 {

// Answers a `dbax` call when it belongs to a recording or replay session, or is an attach that
// starts one: returns true with `status` set, and for a nonzero status `error` describing it.
// Returns false to leave the call to the simulator. `dataFolder` is read for attaches only.
bool recorderCall(void *block, int32_t operation, void *key, void *record, int32_t parameter,
                  const std::string &dataFolder, int32_t &status, std::string &error);

// Attachments of recording and replay sessions that are open, abandoned ones included (as
// the simulator counts its own), and the abandoned ones alone.
int32_t recorderOpenAttachments();
int32_t recorderAbandonedAttachments();

// Ends every session and closes the recordings; the recorded library stays loaded.
void recorderReset();

} // namespace pcqw32

#endif
