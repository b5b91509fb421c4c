// Request 2: the current quote of each listed security, as one structure of 45 columns.
#include "feed_session.h"
#include "field_readers.h"
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

// QuoteRecord: the text fields. The symbol, then eight two-byte exchange codes.
constexpr TextField SYMBOL_TEXT = {SYMBOL, QUOTE_SYMBOL_OFFSET, QUOTE_SYMBOL_ROOM};
constexpr TextField EXCHANGE_TEXTS[] = {
    {PRIMARY_EXCHANGE, QUOTE_PRIMARY_EXCHANGE_OFFSET, QUOTE_EXCHANGE_ROOM},
    {LAST_EXCHANGE, QUOTE_LAST_GROUP_OFFSET + QUOTE_GROUP_EXCHANGE_AT, QUOTE_EXCHANGE_ROOM},
    {OPEN_EXCHANGE, QUOTE_OPEN_GROUP_OFFSET + QUOTE_GROUP_EXCHANGE_AT, QUOTE_EXCHANGE_ROOM},
    {HIGH_EXCHANGE, QUOTE_HIGH_GROUP_OFFSET + QUOTE_GROUP_EXCHANGE_AT, QUOTE_EXCHANGE_ROOM},
    {LOW_EXCHANGE, QUOTE_LOW_GROUP_OFFSET + QUOTE_GROUP_EXCHANGE_AT, QUOTE_EXCHANGE_ROOM},
    {YESTERDAY_EXCHANGE, QUOTE_YESTERDAY_GROUP_OFFSET + QUOTE_GROUP_EXCHANGE_AT,
     QUOTE_EXCHANGE_ROOM},
    {BID_EXCHANGE, QUOTE_BID_GROUP_OFFSET + QUOTE_GROUP_EXCHANGE_AT, QUOTE_EXCHANGE_ROOM},
    {ASK_EXCHANGE, QUOTE_ASK_GROUP_OFFSET + QUOTE_GROUP_EXCHANGE_AT, QUOTE_EXCHANGE_ROOM},
};

// The seven price groups: each fills a price, and where it has them a size, a time and a
// tick (whose TickWord pair starts at `tickBit`).
constexpr int NO_FIELD = -1;
struct PriceGroup {
    size_t offset;
    int price, size, time, tick; // output fields, NO_FIELD where the group has none
    unsigned tickBit;            // higher bit of the group's TickWord pair
};
constexpr PriceGroup PRICE_GROUPS[] = {
    {QUOTE_LAST_GROUP_OFFSET, LAST_PRICE, LAST_SIZE, LAST_PRICE_TIME, LAST_TICK,
     QUOTE_LAST_TICK_BIT},
    {QUOTE_OPEN_GROUP_OFFSET, OPEN_PRICE, OPEN_SIZE, OPEN_PRICE_TIME, OPEN_TICK,
     QUOTE_OPEN_TICK_BIT},
    {QUOTE_HIGH_GROUP_OFFSET, HIGH_PRICE, HIGH_SIZE, HIGH_PRICE_TIME, NO_FIELD, 0},
    {QUOTE_LOW_GROUP_OFFSET, LOW_PRICE, LOW_SIZE, LOW_PRICE_TIME, NO_FIELD, 0},
    {QUOTE_YESTERDAY_GROUP_OFFSET, YESTERDAY_PRICE, NO_FIELD, NO_FIELD, YESTERDAY_TICK,
     QUOTE_YESTERDAY_TICK_BIT},
    {QUOTE_BID_GROUP_OFFSET, BID_PRICE, BID_SIZE, BID_PRICE_TIME, BID_TICK, QUOTE_BID_TICK_BIT},
    {QUOTE_ASK_GROUP_OFFSET, ASK_PRICE, ASK_SIZE, ASK_PRICE_TIME, ASK_TICK, QUOTE_ASK_TICK_BIT},
};

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
double timeOfDay(const unsigned char *group) {
    double hours = static_cast<double>(readI8(group, QUOTE_GROUP_HOURS_AT));
    double minutes = static_cast<double>(readI8(group, QUOTE_GROUP_MINUTES_AT));
    double sum = hours * HOUR_FRACTION + minutes * MINUTE_FRACTION;
    return sum < 0.0 ? minutes : sum;
}

// Across a batch: the unsigned 16-bit word or 32-bit value at `offset`, or a flag bit of the
// flag word.
void fillWords(double *column, const SnapshotBatch &batch, size_t offset) {
    for (size_t j = 0; j < batch.count; ++j) {
        column[j] = readU16(batch.record(j), offset);
    }
}

void fillLongs(double *column, const SnapshotBatch &batch, size_t offset) {
    for (size_t j = 0; j < batch.count; ++j) {
        column[j] = readU32(batch.record(j), offset);
    }
}

void fillFlags(double *column, const SnapshotBatch &batch, unsigned bit) {
    for (size_t j = 0; j < batch.count; ++j) {
        column[j] = flag(readU16(batch.record(j), QUOTE_FLAGS_OFFSET), bit);
    }
}

} // namespace

void runQuoteSnapshot(RequestCall &call) {
    // Every field is a column but the texts and CloseRange's two columns.
    FieldShape shapes[QUOTE_FIELD_COUNT];
    for (FieldShape &shape : shapes) {
        shape = SHAPE_COLUMN;
    }
    shapes[SYMBOL_TEXT.field] = SHAPE_TEXT;
    for (const TextField &text : EXCHANGE_TEXTS) {
        shapes[text.field] = SHAPE_TEXT;
    }
    shapes[CLOSE_RANGE] = SHAPE_TWO_COLUMNS;
    SnapshotArrays out;
    createSnapshotArrays(call, shapes, QUOTE_FIELD_COUNT, out);
    ResultArray *const *arrays = out.arrays;
    double *const *column = out.columns;
    const size_t rows = out.rows;

    // The records are read a batch at a time and decoded field by field across the batch, so
    // that each output column is written in one run of consecutive rows rather than the 36
    // columns a row at a time, which at 100,000 rows no cache holds.
    SnapshotBatch batch;
    for (size_t first = 0; first < rows; first += SNAPSHOT_BATCH_ROWS) {
        readSnapshotBatch(call, first, batch, out);
        const size_t n = batch.count;
        for (size_t j = 0; j < n; ++j) {
            if (!batch.read[j]) {
                continue;
            }
            const unsigned char *record = batch.record(j);
            setRecordText(arrays[SYMBOL], first + j, record, SYMBOL_TEXT.offset, SYMBOL_TEXT.room);
#if defined(__GNUC__)
#pragma GCC unroll 8
#endif
            for (const TextField &text : EXCHANGE_TEXTS) {
                setCodeText(arrays[text.field], first + j, record + text.offset);
            }
        }

        // One scale for each record's seven prices.
        PriceScale scales[SNAPSHOT_BATCH_ROWS];
        for (size_t j = 0; j < n; ++j) {
            scales[j] = PriceTypeScale(readI16(batch.record(j), QUOTE_PRICE_TYPE_OFFSET));
        }
        fillWords(column[PRICE_TYPE] + first, batch, QUOTE_PRICE_TYPE_OFFSET);
        fillWords(column[SEC_CATEGORY] + first, batch, QUOTE_SEC_CATEGORY_OFFSET);
        fillFlags(column[STATUS] + first, batch, QUOTE_STATUS_BIT);
        fillFlags(column[NEWS] + first, batch, QUOTE_NEWS_BIT);
        for (const PriceGroup &group : PRICE_GROUPS) {
            double *price = column[group.price] + first;
            for (size_t j = 0; j < n; ++j) {
                price[j] = applyPriceScale(
                    readI32(batch.record(j), group.offset + QUOTE_GROUP_PRICE_AT), scales[j]);
            }
            if (group.size != NO_FIELD) {
                fillLongs(column[group.size] + first, batch, group.offset + QUOTE_GROUP_SIZE_AT);
            }
            if (group.time != NO_FIELD) {
                double *time = column[group.time] + first;
                for (size_t j = 0; j < n; ++j) {
                    time[j] = timeOfDay(batch.record(j) + group.offset);
                }
            }
            if (group.tick != NO_FIELD) {
                double *ticks = column[group.tick] + first;
                for (size_t j = 0; j < n; ++j) {
                    ticks[j] =
                        tick(readU16(batch.record(j), QUOTE_TICK_WORD_OFFSET), group.tickBit);
                }
            }
        }
        fillLongs(column[OPEN_RANGE] + first, batch, QUOTE_OPEN_RANGE_OFFSET);
        // Column-major N-by-2: the first column, then the second.
        fillLongs(column[CLOSE_RANGE] + first, batch, QUOTE_CLOSE_RANGE_OFFSET);
        fillLongs(column[CLOSE_RANGE] + rows + first, batch, QUOTE_CLOSE_RANGE_SECOND_OFFSET);
        fillLongs(column[VOLUME] + first, batch, QUOTE_VOLUME_OFFSET);
        fillLongs(column[OPEN_INTEREST] + first, batch, QUOTE_OPEN_INTEREST_OFFSET);
        fillWords(column[QUOTE_INDICATOR] + first, batch, QUOTE_QUOTE_INDICATOR_OFFSET);
        fillWords(column[TRADE_INDICATOR] + first, batch, QUOTE_TRADE_INDICATOR_OFFSET);
        fillFlags(column[EX_DIVIDEND_TODAY] + first, batch, QUOTE_EX_DIVIDEND_BIT);
        fillFlags(column[SPLIT_TODAY] + first, batch, QUOTE_SPLIT_BIT);
        // The rows of securities the feed could not read hold no number.
        markUnreadRows(batch, out);
    }
    detachFeed(call);
    storeSnapshot(call, QUOTE_FIELDS, out);
}
