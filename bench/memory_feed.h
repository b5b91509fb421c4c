// An in-memory feed for the benchmarks: `dbax` answered from records built once, up front,
// with no store and no disk. The database number given at attach picks what it serves, so one
// library answers every request, in-process or loaded by the host as libPCQW32.so.
#ifndef QUORVEX_BENCH_MEMORY_FEED_H
#define QUORVEX_BENCH_MEMORY_FEED_H

#include "dbax.h"
#include "pcqw32_layout.h"

#include <cstddef>
#include <cstdint>

namespace memfeed {

// Database numbers, one per request served.
constexpr int32_t QUOTES = 2;
constexpr int32_t HISTORY = 3;
constexpr int32_t BARS = 5;
constexpr int32_t FUNDAMENTALS = 6;

// Keyed records (RECORD_BUFFER_SIZE bytes each): security i gets record i modulo the pool size.
constexpr size_t POOL_RECORDS = 4096;
// History: 62,500 blocks (HISTORY_BLOCK_SIZE bytes each), 500,000 rows, then a block of
// another security ends the scan.
constexpr size_t HISTORY_BLOCKS = 62500;
// Bars: 9,375 blocks (BAR_BLOCK_SIZE bytes each), 75,000 rows; the next read after them fails.
constexpr size_t BAR_BLOCKS = BAR_MAX_BLOCKS;
constexpr int32_t BAR_END_STATUS = 1;

// Builds every record once; later calls do nothing. dbax calls it on attach.
void prepare();

const unsigned char *quoteRecord(size_t security);
const unsigned char *fundamentalsRecord(size_t security);
const unsigned char *historyBlock(size_t block);
const unsigned char *historyKey();
const unsigned char *barBlock(size_t block);

// The entry point: attach (the database number picks the records), detach, keyed reads,
// block reads, and the approximate-key scan delivering one block per wait.
int32_t DBA_CALL dbax(void *controlBlock, int32_t operation, void *key, void *record,
                      int32_t parameter);

} // namespace memfeed

#endif
