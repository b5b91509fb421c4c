// Request 2: the current quote of each listed security, as one structure of 45 columns.
#include "feed_session.h"
#include "field_readers.h"
#include "inputs.h"
#include "keys.h"
#include "requests.h"
#include "snapshot.h"

namespace {

// Output fields, in the order of the structure (and of the name table below).
enum QuoteField {
    SYMBOL,
    PRICE_TYPE,
    PRIMARY_EXCHANGE,
    SEC_CATEGORY,
    STATUS,
    NEWS,
    LAST_PRICE,
    LAST_SIZE,
    LAST_PRICE_TIME,
    LAST_TICK,
    LAST_EXCHANGE,
    OPEN_PRICE,
    OPEN_SIZE,
    OPEN_PRICE_TIME,
    OPEN_TICK,
    OPEN_EXCHANGE,
    HIGH_PRICE,
    HIGH_SIZE,
    HIGH_PRICE_TIME,
    HIGH_EXCHANGE,
    LOW_PRICE,
    LOW_SIZE,
    LOW_PRICE_TIME,
    LOW_EXCHANGE,
    YESTERDAY_PRICE,
    YESTERDAY_TICK,
    YESTERDAY_EXCHANGE,
    BID_PRICE,
    BID_SIZE,
    BID_PRICE_TIME,
    BID_TICK,
    BID_EXCHANGE,
    ASK_PRICE,
    ASK_SIZE,
    ASK_PRICE_TIME,
    ASK_TICK,
    ASK_EXCHANGE,
    OPEN_RANGE,
    CLOSE_RANGE,
    VOLUME,
    OPEN_INTEREST,
    QUOTE_INDICATOR,
    TRADE_INDICATOR,
    EX_DIVIDEND_TODAY,
    SPLIT_TODAY,
    QUOTE_FIELD_COUNT
};

constexpr const char *QUOTE_FIELDS[QUOTE_FIELD_COUNT] = {
    "Symbol",        "PriceType",         "PrimaryExchange", "SecCategory",     "Status",
    "News",          "LastPrice",         "LastSize",        "LastPriceTime",   "LastTick",
    "LastExchange",  "OpenPrice",         "OpenSize",        "OpenPriceTime",   "OpenTick",
    "OpenExchange",  "HighPrice",         "HighSize",        "HighPriceTime",   "HighExchange",
    "LowPrice",      "LowSize",           "LowPriceTime",    "LowExchange",     "YesterdayPrice",
    "YesterdayTick", "YesterdayExchange", "BidPrice",        "BidSize",         "BidPriceTime",
    "BidTick",       "BidExchange",       "AskPrice",        "AskSize",         "AskPriceTime",
    "AskTick",       "AskExchange",       "OpenRange",       "CloseRange",      "Volume",
    "OpenInterest",  "QuoteIndicator",    "TradeIndicator",  "ExDividendToday", "SplitToday"};

// QuoteRecord: the text fields. The symbol (room 20), then eight two-byte exchange codes.
constexpr TextField SYMBOL_TEXT = {SYMBOL, 2, 20};
constexpr TextField EXCHANGE_TEXTS[] = {
    {PRIMARY_EXCHANGE, 36, 2}, {LAST_EXCHANGE, 52, 2}, {OPEN_EXCHANGE, 64, 2},
    {HIGH_EXCHANGE, 76, 2},    {LOW_EXCHANGE, 88, 2},  {YESTERDAY_EXCHANGE, 100, 2},
    {BID_EXCHANGE, 112, 2},    {ASK_EXCHANGE, 124, 2},
};

// QuoteRecord: the numeric fields outside the price groups.
constexpr size_t FLAGS_OFFSET = 22;
constexpr size_t PRICE_TYPE_OFFSET = 24;
constexpr size_t SEC_CATEGORY_OFFSET = 26;
constexpr size_t TICK_WORD_OFFSET = 28;
constexpr size_t QUOTE_INDICATOR_OFFSET = 38;
constexpr size_t OPEN_INTEREST_OFFSET = 152;
constexpr size_t VOLUME_OFFSET = 156;
constexpr size_t OPEN_RANGE_OFFSET = 160;
constexpr size_t CLOSE_RANGE_OFFSET = 164;
constexpr size_t CLOSE_RANGE_SECOND_OFFSET = 168;
constexpr size_t TRADE_INDICATOR_OFFSET = 172;

// The seven price groups of 12 bytes from offset 44: price (signed 32) at +0, size (unsigned
// 32) at +4, exchange (a text field above) at +8, hours and minutes bytes at +10.
constexpr size_t GROUP_PRICE_AT = 0;
constexpr size_t GROUP_SIZE_AT = 4;
constexpr size_t GROUP_TIME_AT = 10;
constexpr int NO_FIELD = -1;
struct PriceGroup {
    size_t offset;
    int price, size, time, tick; // output fields, NO_FIELD where the group has none
    unsigned tickBit;            // higher bit of the group's TickWord pair
};
constexpr PriceGroup PRICE_GROUPS[] = {
    {44, LAST_PRICE, LAST_SIZE, LAST_PRICE_TIME, LAST_TICK, 15},
    {56, OPEN_PRICE, OPEN_SIZE, OPEN_PRICE_TIME, OPEN_TICK, 13},
    {68, HIGH_PRICE, HIGH_SIZE, HIGH_PRICE_TIME, NO_FIELD, 0},
    {80, LOW_PRICE, LOW_SIZE, LOW_PRICE_TIME, NO_FIELD, 0},
    {92, YESTERDAY_PRICE, NO_FIELD, NO_FIELD, YESTERDAY_TICK, 11},
    {104, BID_PRICE, BID_SIZE, BID_PRICE_TIME, BID_TICK, 9},
    {116, ASK_PRICE, ASK_SIZE, ASK_PRICE_TIME, ASK_TICK, 7},
};

// QuoteFlags bits.
constexpr unsigned STATUS_BIT = 5;
constexpr unsigned NEWS_BIT = 6;
constexpr unsigned EX_DIVIDEND_BIT = 14;
constexpr unsigned SPLIT_BIT = 15;

constexpr double HOUR_FRACTION = 1.0 / 24;
constexpr double MINUTE_FRACTION = 1.0 / 1440;

double flag(uint16_t word, unsigned bit) {
    return ((word >> bit) & 1U) != 0 ? 1.0 : 0.0;
}

// A two-bit tick: the higher bit gives -1 whatever the lower, the lower alone +1.
double tick(uint16_t word, unsigned highBit) {
    if (((word >> highBit) & 1U) != 0) {
        return -1.0;
    }
    return ((word >> (highBit - 1)) & 1U) != 0 ? 1.0 : 0.0;
}

// Signed hours and minutes bytes as a fraction of a day; a negative sum gives the minutes.
double timeOfDay(const unsigned char *record, size_t offset) {
    double hours = static_cast<double>(readI8(record, offset));
    double minutes = static_cast<double>(readI8(record, offset + 1));
    double sum = hours * HOUR_FRACTION + minutes * MINUTE_FRACTION;
    return sum < 0.0 ? minutes : sum;
}

} // namespace

void runQuoteSnapshot(RequestCall &call) {
    const size_t rows = snapshotRows(call.count);
    // Every field is a column but the texts, which are cells, and CloseRange's two columns.
    FieldShape shapes[QUOTE_FIELD_COUNT];
    for (FieldShape &shape : shapes) {
        shape = SHAPE_COLUMN;
    }
    shapes[SYMBOL_TEXT.field] = SHAPE_TEXT;
    for (const TextField &text : EXCHANGE_TEXTS) {
        shapes[text.field] = SHAPE_TEXT;
    }
    shapes[CLOSE_RANGE] = SHAPE_TWO_COLUMNS;
    mxArray *arrays[QUOTE_FIELD_COUNT];
    double *column[QUOTE_FIELD_COUNT];
    createSnapshotArrays(shapes, QUOTE_FIELD_COUNT, rows, arrays, column);

    // Zeroed once, so bytes a feed leaves unwritten decode as zeros, never as stale stack.
    unsigned char record[RECORD_BUFFER_SIZE + FEED_BUFFER_ROOM] = {};
    for (size_t i = 0; i < rows; ++i) {
        readSecurityRecord(call, static_cast<int32_t>(i), record);

        mxSetCell(arrays[SYMBOL], i, recordString(record, SYMBOL_TEXT.offset, SYMBOL_TEXT.room));
#if defined(__GNUC__)
#pragma GCC unroll 8
#endif
        for (const TextField &text : EXCHANGE_TEXTS) {
            mxSetCell(arrays[text.field], i, codeString(record + text.offset));
        }

        // One scale for the record's seven prices.
        const PriceScale scale = PriceTypeScale(readI16(record, PRICE_TYPE_OFFSET));
        const uint16_t flags = readU16(record, FLAGS_OFFSET);
        const uint16_t ticks = readU16(record, TICK_WORD_OFFSET);

        column[PRICE_TYPE][i] = readU16(record, PRICE_TYPE_OFFSET);
        column[SEC_CATEGORY][i] = readU16(record, SEC_CATEGORY_OFFSET);
        column[STATUS][i] = flag(flags, STATUS_BIT);
        column[NEWS][i] = flag(flags, NEWS_BIT);
#if defined(__GNUC__)
#pragma GCC unroll 7
#endif
        for (const PriceGroup &group : PRICE_GROUPS) {
            const unsigned char *at = record + group.offset;
            column[group.price][i] = applyPriceScale(readI32(at, GROUP_PRICE_AT), scale);
            if (group.size != NO_FIELD) {
                column[group.size][i] = readU32(at, GROUP_SIZE_AT);
            }
            if (group.time != NO_FIELD) {
                column[group.time][i] = timeOfDay(at, GROUP_TIME_AT);
            }
            if (group.tick != NO_FIELD) {
                column[group.tick][i] = tick(ticks, group.tickBit);
            }
        }
        column[OPEN_RANGE][i] = readU32(record, OPEN_RANGE_OFFSET);
        // Column-major N-by-2: the first column, then the second.
        column[CLOSE_RANGE][i] = readU32(record, CLOSE_RANGE_OFFSET);
        column[CLOSE_RANGE][rows + i] = readU32(record, CLOSE_RANGE_SECOND_OFFSET);
        column[VOLUME][i] = readU32(record, VOLUME_OFFSET);
        column[OPEN_INTEREST][i] = readU32(record, OPEN_INTEREST_OFFSET);
        column[QUOTE_INDICATOR][i] = readU16(record, QUOTE_INDICATOR_OFFSET);
        column[TRADE_INDICATOR][i] = readU16(record, TRADE_INDICATOR_OFFSET);
        column[EX_DIVIDEND_TODAY][i] = flag(flags, EX_DIVIDEND_BIT);
        column[SPLIT_TODAY][i] = flag(flags, SPLIT_BIT);
    }
    detachFeed(call);
    storeSnapshot(call, QUOTE_FIELDS, QUOTE_FIELD_COUNT, arrays);
}
