// The deterministic sample stores: database 1 serves quotes, history, bars and CANT records,
// database 2 serves fundamentals (and the same CANT records).
#ifndef QUORVEX_FEED_SIM_SAMPLE_H
#define QUORVEX_FEED_SIM_SAMPLE_H

#include <string>
#include <vector>

namespace pcqw32 {

// Writes the deterministic sample stores into `folder`. `log` receives one line per store.
// Refuses (std::runtime_error, nothing written) a folder holding any store that is not an
// untouched sample: with `force`, samples written into since are replaced too, but never a
// store the generator did not write (a recording, a user's own) nor one with a write-ahead log.
void generateSample(const std::string &folder, std::vector<std::string> &log, bool force = false);

} // namespace pcqw32

#endif
