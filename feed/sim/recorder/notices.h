// The messages the recorder gives on standard error, each once: what could not be recorded,
// a recorded library of neither calling convention, a setting it cannot follow. A failure
// that every later call meets as well is named once rather than at every call.
#ifndef QUORVEX_FEED_SIM_NOTICES_H
#define QUORVEX_FEED_SIM_NOTICES_H

#include <string>

namespace pcqw32 {

// Prints "PCQW32: <message>" on standard error the first time it comes up.
void sayOnce(const std::string &message);

// Forgets the messages given, so that each is given again when it comes up.
void forgetSaid();

} // namespace pcqw32

#endif
