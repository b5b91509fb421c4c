// The simulator's market-data store: one SQLite file per feed database number. The writer
// builds stores (sample generator, CSV import, tests); the reader serves `dbax`. Both map the
// record value structures onto table columns through the field lists of store_fields.h.
#ifndef QUORVEX_FEED_SIM_STORE_H
#define QUORVEX_FEED_SIM_STORE_H

#include "csv_import.h"
#include "records.h"
#include "store_fields.h"
#include "store_reader.h"
#include "store_writer.h"

#include <string>
#include <vector>

namespace pcqw32 {

// Writes the deterministic sample stores into `folder`. `log` receives one line per store.
// Refuses (std::runtime_error, nothing written) a folder holding any store that is not an
// untouched sample: with `force`, samples written into since are replaced too, but never a
// store the generator did not write (a recording, a user's own) nor one with a write-ahead log.
void generate_sample(const std::string &folder, std::vector<std::string> &log, bool force = false);

} // namespace pcqw32

#endif
