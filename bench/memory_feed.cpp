#include "memory_feed.h"

#include "pcqw32_layout.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace memfeed {

namespace {

std::vector<unsigned char> quotes;
std::vector<unsigned char> fundamentals;
std::vector<unsigned char> history;
std::vector<unsigned char> bars;
unsigned char seriesKey[SECURITY_KEY_SIZE];
unsigned char otherKey[SECURITY_KEY_SIZE];

// What the attach chose, and where the reads stand.
int32_t served = 0;
size_t nextRecord = 0;
size_t nextHistoryBlock = 0;
size_t nextBarBlock = 0;

// A fixed pseudo-random value of (index, field), the same on every run and machine.
uint32_t pattern(size_t index, uint32_t field) {
    uint64_t x = (static_cast<uint64_t>(index) << 16) ^ field;
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return static_cast<uint32_t>(x ^ (x >> 31));
}

void putText(unsigned char *record, size_t offset, const char *text) {
    std::memcpy(record + offset, text, std::strlen(text));
}

// Two capital letters, as exchanges are named.
void putExchange(unsigned char *record, size_t offset, size_t index, uint32_t field) {
    uint32_t value = pattern(index, field);
    writeU8(record, offset, 'A' + value % 26);
    writeU8(record, offset + 1, 'A' + (value >> 8) % 26);
}

// The seven price groups of a quote, in record order.
constexpr size_t QUOTE_GROUPS[] = {QUOTE_LAST_GROUP_OFFSET,      QUOTE_OPEN_GROUP_OFFSET,
                                   QUOTE_HIGH_GROUP_OFFSET,      QUOTE_LOW_GROUP_OFFSET,
                                   QUOTE_YESTERDAY_GROUP_OFFSET, QUOTE_BID_GROUP_OFFSET,
                                   QUOTE_ASK_GROUP_OFFSET};
// The quote's 32-bit fields after the groups, each drawn from the pattern field 40 + its
// offset.
constexpr size_t QUOTE_WORDS[] = {QUOTE_OPEN_INTEREST_OFFSET, QUOTE_VOLUME_OFFSET,
                                  QUOTE_OPEN_RANGE_OFFSET, QUOTE_CLOSE_RANGE_OFFSET,
                                  QUOTE_CLOSE_RANGE_SECOND_OFFSET};

void buildQuote(size_t i, unsigned char *r) {
    char symbol[24];
    std::snprintf(symbol, sizeof symbol, "Q%05zu.X", i);
    putText(r, QUOTE_SYMBOL_OFFSET, symbol);
    writeU16(r, QUOTE_FLAGS_OFFSET, pattern(i, 1));
    writeU16(r, QUOTE_PRICE_TYPE_OFFSET, pattern(i, 2) % PRICE_TYPE_CODES);
    writeU16(r, QUOTE_SEC_CATEGORY_OFFSET, pattern(i, 3) % 20);
    writeU16(r, QUOTE_TICK_WORD_OFFSET, pattern(i, 4));
    putExchange(r, QUOTE_PRIMARY_EXCHANGE_OFFSET, i, 5);
    writeU16(r, QUOTE_QUOTE_INDICATOR_OFFSET, pattern(i, 6) % 8);
    for (size_t g = 0; g < sizeof QUOTE_GROUPS / sizeof QUOTE_GROUPS[0]; ++g) {
        const size_t group = QUOTE_GROUPS[g];
        uint32_t field = 10 + 4 * static_cast<uint32_t>(g);
        writeU32(r, group + QUOTE_GROUP_PRICE_AT, pattern(i, field) % 5000000);
        writeU32(r, group + QUOTE_GROUP_SIZE_AT, pattern(i, field + 1) % 100000);
        putExchange(r, group + QUOTE_GROUP_EXCHANGE_AT, i, field + 2);
        writeU8(r, group + QUOTE_GROUP_HOURS_AT, pattern(i, field + 3) % 24);
        writeU8(r, group + QUOTE_GROUP_MINUTES_AT, (pattern(i, field + 3) >> 8) % 60);
    }
    for (size_t offset : QUOTE_WORDS) {
        writeU32(r, offset, pattern(i, static_cast<uint32_t>(40 + offset)));
    }
    writeU16(r, QUOTE_TRADE_INDICATOR_OFFSET, pattern(i, 7) % 8);
}

// The fundamentals' 16-bit fields (the price type and the exponents are then narrowed to
// their ranges), its dates and its 32-bit fields, each drawn from the pattern field of its
// offset.
constexpr size_t FUNDAMENTALS_WORDS[] = {
    FUNDAMENTALS_LAST_UPDATE_OFFSET,  FUNDAMENTALS_DIV_FREQ_OFFSET, FUNDAMENTALS_PRICE_TYPE_OFFSET,
    FUNDAMENTALS_SEC_CATEGORY_OFFSET, FUNDAMENTALS_BETA_OFFSET,     FUNDAMENTALS_VOLUME_FLAG_OFFSET,
    FUNDAMENTALS_DIV_LAST_OFFSET,     FUNDAMENTALS_DIV_EXP_OFFSET,  FUNDAMENTALS_SP_CODE_OFFSET};
constexpr size_t FUNDAMENTALS_DATES[] = {FUNDAMENTALS_DIV_DATE_OFFSET, FUNDAMENTALS_EXP_DATE_OFFSET,
                                         FUNDAMENTALS_MAT_DATE_OFFSET};
constexpr size_t FUNDAMENTALS_LONG_WORDS[] = {
    FUNDAMENTALS_CLOSE_PRICE_OFFSET,   FUNDAMENTALS_HIST_HIGH_OFFSET,
    FUNDAMENTALS_HIST_LOW_OFFSET,      FUNDAMENTALS_VOLUME_OFFSET,
    FUNDAMENTALS_OPEN_INTEREST_OFFSET, FUNDAMENTALS_OUTSTANDING_OFFSET,
    FUNDAMENTALS_SH_PER_CONTR_OFFSET,  FUNDAMENTALS_STRIKE_PRICE_OFFSET};

void buildFundamentals(size_t i, unsigned char *r) {
    char text[64];
    std::snprintf(text, sizeof text, "F%05zu", i);
    putText(r, FUNDAMENTALS_BASE_ITEM_OFFSET, text);
    std::snprintf(text, sizeof text, "Fundamentals Company %05zu Inc.", i);
    putText(r, FUNDAMENTALS_NAME_OFFSET, text);
    std::snprintf(text, sizeof text, "%09u", pattern(i, 1) % 1000000000U);
    putText(r, FUNDAMENTALS_CUSIP_OFFSET, text);
    for (size_t offset : FUNDAMENTALS_WORDS) {
        writeU16(r, offset, pattern(i, static_cast<uint32_t>(offset)));
    }
    writeU16(r, FUNDAMENTALS_PRICE_TYPE_OFFSET, pattern(i, 2) % PRICE_TYPE_CODES);
    writeU16(r, FUNDAMENTALS_DIV_EXPONENT_OFFSET, pattern(i, 3) % 5);
    writeU16(r, FUNDAMENTALS_EPS_EXPONENT_OFFSET, pattern(i, 4) % 4);
    writeU16(r, FUNDAMENTALS_EPS_MANTISSA_OFFSET, pattern(i, 5));
    for (size_t offset : FUNDAMENTALS_DATES) {
        uint32_t value = pattern(i, static_cast<uint32_t>(offset));
        writeU8(r, offset + DATE_CENTURY_AT, 19 + value % 2);
        writeU8(r, offset + DATE_YEAR_AT, (value >> 8) % 100);
        writeU8(r, offset + DATE_MONTH_AT, 1 + (value >> 16) % 12);
        writeU8(r, offset + DATE_DAY_AT, 1 + (value >> 24) % 28);
    }
    for (size_t offset : FUNDAMENTALS_LONG_WORDS) {
        writeU32(r, offset, pattern(i, static_cast<uint32_t>(offset)) % 100000000);
    }
}

void buildHistoryBlock(size_t b, unsigned char *block) {
    const uint32_t priceType = pattern(b, 1) % PRICE_TYPE_CODES;
    for (size_t k = 0; k < HISTORY_BLOCK_RECORDS; ++k) {
        unsigned char *r = block + HISTORY_RECORD_SIZE * k;
        size_t row = HISTORY_BLOCK_RECORDS * b + k;
        writeU32(r, HISTORY_PRICE_OFFSET, pattern(row, 2) % 5000000);
        writeU32(r, HISTORY_SIZE_OFFSET, pattern(row, 3) % 100000);
        writeU8(r, HISTORY_DAY_OFFSET, pattern(row, 4) % 4);
        writeU8(r, HISTORY_PRICE_TYPE_OFFSET, priceType);
        writeU8(r, HISTORY_CONDITION_OFFSET, pattern(row, 5));
        writeU8(r, HISTORY_HOUR_OFFSET, pattern(row, 6) % 24);
        writeU8(r, HISTORY_MINUTE_OFFSET, pattern(row, 7) % 60);
        writeU8(r, HISTORY_SECOND_OFFSET, pattern(row, 8) % 60);
    }
}

// The four prices of a bar record, in their column order.
constexpr size_t BAR_PRICES[] = {BAR_OPEN_OFFSET, BAR_HIGH_OFFSET, BAR_LOW_OFFSET,
                                 BAR_CLOSE_OFFSET};

void buildBarBlock(size_t b, unsigned char *block) {
    for (size_t k = 0; k < BAR_BLOCK_RECORDS; ++k) {
        unsigned char *r = block + BAR_RECORD_SIZE * k;
        size_t row = BAR_BLOCK_RECORDS * b + k;
        writeU8(r, BAR_PRICE_TYPE_OFFSET, pattern(row, 1) % PRICE_TYPE_CODES);
        writeU32(r, BAR_STAMP_OFFSET, static_cast<uint32_t>(19900101 + row));
        for (uint32_t p = 0; p < 4; ++p) {
            writeU32(r, BAR_PRICES[p], pattern(row, 2 + p) % 5000000);
        }
        writeU32(r, BAR_VOLUME_OFFSET, pattern(row, 6) % 1000000);
    }
}

void buildKey(unsigned char *key, const char *symbol, const char *qualifier) {
    std::memset(key, ' ', SECURITY_KEY_SIZE);
    writeU16(key, KEY_LEAD_WORD_OFFSET, 0);
    std::memcpy(key + KEY_SYMBOL_OFFSET, symbol, std::strlen(symbol));
    std::memcpy(key + KEY_QUALIFIER_OFFSET, qualifier, std::strlen(qualifier));
}

void deliverHistory(HistoryScanBlock *scan) {
    if (nextHistoryBlock < HISTORY_BLOCKS) {
        scan->callback(0, SCAN_EVENT_BLOCK, seriesKey, historyBlock(nextHistoryBlock), 0, 0, scan);
        ++nextHistoryBlock;
    } else {
        // The next security's first block: the key has moved on, which ends the scan.
        scan->callback(0, SCAN_EVENT_BLOCK, otherKey, historyBlock(0), 0, 0, scan);
    }
    scan->started = 1;
}

} // namespace

void prepare() {
    if (!quotes.empty()) {
        return;
    }
    quotes.assign(POOL_RECORDS * RECORD_BUFFER_SIZE, 0);
    fundamentals.assign(POOL_RECORDS * RECORD_BUFFER_SIZE, 0);
    for (size_t i = 0; i < POOL_RECORDS; ++i) {
        buildQuote(i, &quotes[i * RECORD_BUFFER_SIZE]);
        buildFundamentals(i, &fundamentals[i * RECORD_BUFFER_SIZE]);
    }
    history.assign(HISTORY_BLOCKS * HISTORY_BLOCK_SIZE, 0);
    for (size_t b = 0; b < HISTORY_BLOCKS; ++b) {
        buildHistoryBlock(b, &history[b * HISTORY_BLOCK_SIZE]);
    }
    bars.assign(BAR_BLOCKS * BAR_BLOCK_SIZE, 0);
    for (size_t b = 0; b < BAR_BLOCKS; ++b) {
        buildBarBlock(b, &bars[b * BAR_BLOCK_SIZE]);
    }
    buildKey(seriesKey, "HISTSEC", "US"); // as the cases request it
    buildKey(otherKey, "ZZZSEC", "US");
}

const unsigned char *quoteRecord(size_t security) {
    return &quotes[(security % POOL_RECORDS) * RECORD_BUFFER_SIZE];
}

const unsigned char *fundamentalsRecord(size_t security) {
    return &fundamentals[(security % POOL_RECORDS) * RECORD_BUFFER_SIZE];
}

const unsigned char *historyBlock(size_t block) {
    return &history[block * HISTORY_BLOCK_SIZE];
}

const unsigned char *historyKey() {
    return seriesKey;
}

const unsigned char *barBlock(size_t block) {
    return &bars[block * BAR_BLOCK_SIZE];
}

int32_t DBA_CALL dbax(void *, int32_t operation, void *, void *record, int32_t parameter) {
    switch (operation) {
    case DBA_ATTACH:
        prepare();
        served = parameter;
        nextRecord = 0;
        return 0;
    case DBA_GET_RECORD:
        if (served == QUOTES) {
            std::memcpy(record, quoteRecord(nextRecord++), RECORD_BUFFER_SIZE);
        } else if (served == FUNDAMENTALS) {
            std::memcpy(record, fundamentalsRecord(nextRecord++), RECORD_BUFFER_SIZE);
        } else if (served == BARS) {
            // The security record, handed back unread as the key of the block reads.
            std::memset(record, 0x5A, SECURITY_RECORD_SIZE);
        }
        return 0;
    case DBA_GET_FIRST_BLOCK:
        std::memcpy(record, barBlock(0), BAR_BLOCK_SIZE);
        nextBarBlock = 1;
        return 0;
    case DBA_GET_NEXT_BLOCK:
        if (nextBarBlock >= BAR_BLOCKS) {
            return BAR_END_STATUS;
        }
        std::memcpy(record, barBlock(nextBarBlock++), BAR_BLOCK_SIZE);
        return 0;
    case DBA_GET_APPROX: {
        auto *scan = static_cast<HistoryScanBlock *>(record);
        if (scan->mode == SCAN_MODE_POSITION) {
            nextHistoryBlock = 0;
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
