#include "memory_feed.h"

#include "little_endian.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace memfeed {

namespace {

std::vector<unsigned char> Quotes;
std::vector<unsigned char> Fundamentals;
std::vector<unsigned char> History;
std::vector<unsigned char> Bars;
unsigned char SeriesKey[HISTORY_KEY_BYTES];
unsigned char OtherKey[HISTORY_KEY_BYTES];

// What the attach chose, and where the reads stand.
int32_t Served = 0;
size_t NextRecord = 0;
size_t NextHistoryBlock = 0;
size_t NextBarBlock = 0;

// A fixed pseudo-random value of (index, field), the same on every run and machine.
uint32_t pattern(size_t index, uint32_t field) {
    uint64_t x = (static_cast<uint64_t>(index) << 16) ^ field;
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return static_cast<uint32_t>(x ^ (x >> 31));
}

using littleendian::put16;
using littleendian::put32;

void putText(unsigned char *at, const char *text) {
    std::memcpy(at, text, std::strlen(text));
}

// Two capital letters, as exchanges are named.
void putExchange(unsigned char *at, size_t index, uint32_t field) {
    uint32_t value = pattern(index, field);
    at[0] = static_cast<unsigned char>('A' + value % 26);
    at[1] = static_cast<unsigned char>('A' + (value >> 8) % 26);
}

void buildQuote(size_t i, unsigned char *r) {
    char symbol[24];
    std::snprintf(symbol, sizeof symbol, "Q%05zu.X", i);
    putText(r + 2, symbol);
    put16(r + 22, pattern(i, 1));
    put16(r + 24, pattern(i, 2) % 16);
    put16(r + 26, pattern(i, 3) % 20);
    put16(r + 28, pattern(i, 4));
    putExchange(r + 36, i, 5);
    put16(r + 38, pattern(i, 6) % 8);
    for (size_t g = 0; g < 7; ++g) {
        unsigned char *group = r + 44 + 12 * g;
        uint32_t field = 10 + 4 * static_cast<uint32_t>(g);
        put32(group, pattern(i, field) % 5000000);
        put32(group + 4, pattern(i, field + 1) % 100000);
        putExchange(group + 8, i, field + 2);
        group[10] = static_cast<unsigned char>(pattern(i, field + 3) % 24);
        group[11] = static_cast<unsigned char>((pattern(i, field + 3) >> 8) % 60);
    }
    for (size_t offset = 152; offset <= 168; offset += 4) {
        put32(r + offset, pattern(i, static_cast<uint32_t>(40 + offset)));
    }
    put16(r + 172, pattern(i, 7) % 8);
}

void buildFundamentals(size_t i, unsigned char *r) {
    char text[64];
    std::snprintf(text, sizeof text, "F%05zu", i);
    putText(r + 26, text);
    std::snprintf(text, sizeof text, "Fundamentals Company %05zu Inc.", i);
    putText(r + 128, text);
    std::snprintf(text, sizeof text, "%09u", pattern(i, 1) % 1000000000U);
    putText(r + 186, text);
    const size_t words[] = {46, 48, 54, 56, 58, 60, 66, 70, 180};
    for (size_t w : words) {
        put16(r + w, pattern(i, static_cast<uint32_t>(w)));
    }
    put16(r + 54, pattern(i, 2) % 16);
    put16(r + 64, pattern(i, 3) % 5);
    put16(r + 176, pattern(i, 4) % 4);
    put16(r + 178, pattern(i, 5));
    const size_t dates[] = {72, 76, 80};
    for (size_t d : dates) {
        uint32_t value = pattern(i, static_cast<uint32_t>(d));
        r[d] = static_cast<unsigned char>(19 + value % 2);
        r[d + 1] = static_cast<unsigned char>((value >> 8) % 100);
        r[d + 2] = static_cast<unsigned char>(1 + (value >> 16) % 12);
        r[d + 3] = static_cast<unsigned char>(1 + (value >> 24) % 28);
    }
    for (size_t offset = 92; offset <= 120; offset += 4) {
        put32(r + offset, pattern(i, static_cast<uint32_t>(offset)) % 100000000);
    }
}

void buildHistoryBlock(size_t b, unsigned char *block) {
    const uint32_t priceType = pattern(b, 1) % 16;
    for (size_t k = 0; k < 8; ++k) {
        unsigned char *r = block + 18 * k;
        size_t row = 8 * b + k;
        put32(r, pattern(row, 2) % 5000000);
        put32(r + 4, pattern(row, 3) % 100000);
        r[8] = static_cast<unsigned char>(pattern(row, 4) % 4);
        r[10] = static_cast<unsigned char>(priceType);
        r[11] = static_cast<unsigned char>(pattern(row, 5));
        r[15] = static_cast<unsigned char>(pattern(row, 6) % 24);
        r[16] = static_cast<unsigned char>(pattern(row, 7) % 60);
        r[17] = static_cast<unsigned char>(pattern(row, 8) % 60);
    }
}

void buildBarBlock(size_t b, unsigned char *block) {
    for (size_t k = 0; k < 8; ++k) {
        unsigned char *r = block + 32 * k;
        size_t row = 8 * b + k;
        r[1] = static_cast<unsigned char>(pattern(row, 1) % 16);
        put32(r + 2, static_cast<uint32_t>(19900101 + row));
        for (uint32_t p = 0; p < 4; ++p) {
            put32(r + 6 + 4 * p, pattern(row, 2 + p) % 5000000);
        }
        put32(r + 22, pattern(row, 6) % 1000000);
    }
}

void buildKey(unsigned char *key, const char *symbol, const char *qualifier) {
    std::memset(key, ' ', HISTORY_KEY_BYTES);
    key[0] = 0;
    key[1] = 0;
    std::memcpy(key + 2, symbol, std::strlen(symbol));
    std::memcpy(key + 14, qualifier, std::strlen(qualifier));
}

void deliverHistory(HistoryScanBlock *scan) {
    if (NextHistoryBlock < HISTORY_BLOCKS) {
        scan->callback(0, 2, SeriesKey, historyBlock(NextHistoryBlock), 0, 0, scan);
        ++NextHistoryBlock;
    } else {
        // The next security's first block: the key has moved on, which ends the scan.
        scan->callback(0, 2, OtherKey, historyBlock(0), 0, 0, scan);
    }
    scan->started = 1;
}

} // namespace

void prepare() {
    if (!Quotes.empty()) {
        return;
    }
    Quotes.assign(POOL_RECORDS * RECORD_SIZE, 0);
    Fundamentals.assign(POOL_RECORDS * RECORD_SIZE, 0);
    for (size_t i = 0; i < POOL_RECORDS; ++i) {
        buildQuote(i, &Quotes[i * RECORD_SIZE]);
        buildFundamentals(i, &Fundamentals[i * RECORD_SIZE]);
    }
    History.assign(HISTORY_BLOCKS * HISTORY_BLOCK_SIZE, 0);
    for (size_t b = 0; b < HISTORY_BLOCKS; ++b) {
        buildHistoryBlock(b, &History[b * HISTORY_BLOCK_SIZE]);
    }
    Bars.assign(BAR_BLOCKS * BAR_BLOCK_SIZE, 0);
    for (size_t b = 0; b < BAR_BLOCKS; ++b) {
        buildBarBlock(b, &Bars[b * BAR_BLOCK_SIZE]);
    }
    buildKey(SeriesKey, "HISTSEC", "US"); // as the cases request it
    buildKey(OtherKey, "ZZZSEC", "US");
}

const unsigned char *quoteRecord(size_t security) {
    return &Quotes[(security % POOL_RECORDS) * RECORD_SIZE];
}

const unsigned char *fundamentalsRecord(size_t security) {
    return &Fundamentals[(security % POOL_RECORDS) * RECORD_SIZE];
}

const unsigned char *historyBlock(size_t block) {
    return &History[block * HISTORY_BLOCK_SIZE];
}

const unsigned char *historyKey() {
    return SeriesKey;
}

const unsigned char *barBlock(size_t block) {
    return &Bars[block * BAR_BLOCK_SIZE];
}

int32_t DBA_CALL dbax(void *, int32_t operation, void *, void *record, int32_t parameter) {
    switch (operation) {
    case DBA_ATTACH:
        prepare();
        Served = parameter;
        NextRecord = 0;
        return 0;
    case DBA_GET_RECORD:
        if (Served == QUOTES) {
            std::memcpy(record, quoteRecord(NextRecord++), RECORD_SIZE);
        } else if (Served == FUNDAMENTALS) {
            std::memcpy(record, fundamentalsRecord(NextRecord++), RECORD_SIZE);
        } else if (Served == BARS) {
            // The security record, handed back unread as the key of the block reads.
            std::memset(record, 0x5A, 256);
        }
        return 0;
    case DBA_GET_FIRST_BLOCK:
        std::memcpy(record, barBlock(0), BAR_BLOCK_SIZE);
        NextBarBlock = 1;
        return 0;
    case DBA_GET_NEXT_BLOCK:
        if (NextBarBlock >= BAR_BLOCKS) {
            return BAR_END_STATUS;
        }
        std::memcpy(record, barBlock(NextBarBlock++), BAR_BLOCK_SIZE);
        return 0;
    case DBA_GET_APPROX: {
        auto *scan = static_cast<HistoryScanBlock *>(record);
        if (scan->mode == 1) {
            NextHistoryBlock = 0;
            scan->started = 0;
        }
        return 0;
    }
    case DBA_WAIT_APPROX:
        deliverHistory(static_cast<HistoryScanBlock *>(record));
        return 0;
    default:
        // Detach, version and the tagged read: nothing to serve.
        return 0;
    }
}

} // namespace memfeed
