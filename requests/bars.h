// Request 5's matrix: a fixed number of rows, filled eight at a time from the feed's blocks.
#ifndef QUORVEX_BARS_H
#define QUORVEX_BARS_H

#include <cstddef>

constexpr size_t BAR_ROWS = 75000;
constexpr size_t BAR_COLUMNS = 6;
// A block holds eight records of 32 bytes; the security record is handed back as its key.
constexpr size_t BAR_BLOCK_RECORDS = 8;
constexpr size_t BAR_RECORD_SIZE = 32;
constexpr size_t SECURITY_RECORD_SIZE = 256;

#endif
