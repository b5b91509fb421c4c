// Loads users' CSV files into a store.
#ifndef QUORVEX_FEED_SIM_CSV_IMPORT_H
#define QUORVEX_FEED_SIM_CSV_IMPORT_H

#include <cstdint>
#include <string>
#include <vector>

namespace pcqw32 {

// Imports a CSV file (header line naming the columns) of one kind ("quotes", "fundamentals",
// "history", "bars", "cant", "securities") into database `db` of `folder`. Every row names
// its security with the columns `symbol` and `qualifier` (and optionally `category`). All or
// nothing: on an error nothing is imported and the error names the line. Returns the number
// of rows imported.
int64_t importCsv(const std::string &folder, int32_t db, const std::string &kind,
                  const std::string &csvPath, std::vector<std::string> &warnings);

// The same for CSV text already in memory; `csvPath` names it in the errors and warnings.
int64_t importCsvText(const std::string &folder, int32_t db, const std::string &kind,
                      std::string text, const std::string &csvPath,
                      std::vector<std::string> &warnings);

} // namespace pcqw32

#endif
