// The module's side of the feed library: finding the library, resolving `dbax`, and calling it.
#ifndef QUORVEX_FEED_LINK_H
#define QUORVEX_FEED_LINK_H

#include "dbax.h"

#include <cstdint>

// Makes sure `dbax` can be called: loads the feed library by its bare name on first use, so
// the ordinary loader search applies. Raises a host error naming the library and the system's
// reason when that fails. Does nothing once an entry point is known.
void feedLoad();

// One call of the feed's entry point. feedLoad must have succeeded in this process.
int32_t feedCall(FeedControlBlock *block, int32_t operation, void *key, void *record,
                 int32_t parameter);

// Routes every later feed call to `entry` instead of the library (test doubles, benchmarks,
// fuzzing); null goes back to the library.
void feedUseEntryPoint(DbaxFunction entry);

// The library's file name on this platform, as shown in messages.
const char *feedLibraryName();

#endif
