// What tests, benchmarks and fuzzing do to the feed link that no host call does: route the feed
// calls to a double of their own, and forget what the link learned of the library's
// conventions. Not part of the module's interface; the module itself never includes this.
#ifndef QUORVEX_FEED_LINK_TESTING_H
#define QUORVEX_FEED_LINK_TESTING_H

#include "dbax.h"

// Routes every later feed call to `entry` instead of the library; null goes back to the
// library. `entry` may follow either convention on 32-bit Windows, like the library.
void feedUseEntryPoint(DbaxFunction entry);
void feedUseEntryAddress(const void *entry);

// Forgets the detected convention and the reading of QUORVEX_FEED_CALLBACK, as in a fresh
// process.
void feedForgetConventions();

#endif
