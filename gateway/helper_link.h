// The module's side of the feed helper: a process of its own that loads the feed library and
// runs the requests there, for a library this process cannot load (a 32-bit PCQW32.dll under a
// 64-bit host) or when the feed is isolated on purpose, so that a library that crashes takes
// only the helper down.
//
// Whether requests go through the helper is decided once per process, from
// QUORVEX_FEED_ISOLATION: "helper" always, "inprocess" never, unset: where the feed library the
// search finds is a 32-bit library and this process is not (read from the file's header,
// never by loading it). Any other value is refused with quorvex:feedLibrary.
//
// The helper is started by the first request that needs it and kept for the later ones; one
// request is one message and one reply, the inputs and results travelling through a shared
// memory section sized for the reply (helper_wire.h). It ends with the host's process, when
// its link to the module closes, and when the module is cleared. A helper that ends during a
// request raises quorvex:feedHelperLost (its attachment to the feed ends with it) and the next
// request starts a new one; one that does not reply within QUORVEX_FEED_TIMEOUT seconds is
// stopped and raises quorvex:feedStalled; a reply that breaks the protocol raises
// quorvex:feedHelper. A helper that cannot serve (its executable or the feed library missing,
// a library for another machine, no dbax) says why in its first message, and the module raises
// that as quorvex:feedLibrary, as in its own process.
#ifndef QUORVEX_HELPER_LINK_H
#define QUORVEX_HELPER_LINK_H

#include "request_call.h"

// The environment variables of the helper.
constexpr const char *FEED_ISOLATION_VARIABLE = "QUORVEX_FEED_ISOLATION";
constexpr const char *FEED_TIMEOUT_VARIABLE = "QUORVEX_FEED_TIMEOUT";
// The reply timeout with QUORVEX_FEED_TIMEOUT unset: far above any request (the largest, a
// 500,000-row history, takes well under a second).
constexpr int FEED_TIMEOUT_DEFAULT_SECONDS = 120;

// The helper's file name beside the module.
#if defined(_WIN32)
constexpr const char *FEED_HELPER_NAME = "quorvex-feed-helper.exe";
#else
constexpr const char *FEED_HELPER_NAME = "quorvex-feed-helper";
#endif

// Whether this process's requests go through the helper (decided on the first call).
bool feedThroughHelper();

// Runs the call's request in the helper: its results land in the call's output slots, its
// reports are made and its error raised, as if it had run here.
void runRequestInHelper(RequestCall &call);

// Stops the helper, if one runs (the module's clearing, tests).
void stopFeedHelper();

#endif
