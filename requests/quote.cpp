// Request 2: the current quote of each listed security, as one structure of 45 columns.
#include "failures.h"
#include "inputs.h"
#include "keys.h"
#include "records.h"
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

// The text fields, each an N-by-1 cell array, with their offset and room in the record.
struct TextField {
    QuoteField field;
    size_t offset;
    size_t room;
};
constexpr size_t EXCHANGE_ROOM = 2;
constexpr TextField QUOTE_TEXTS[] = {
    {SYMBOL, 2, 20},
    {PRIMARY_EXCHANGE, 36, EXCHANGE_ROOM},
    {LAST_EXCHANGE, 52, EXCHANGE_ROOM},
    {OPEN_EXCHANGE, 64, EXCHANGE_ROOM},
    {HIGH_EXCHANGE, 76, EXCHANGE_ROOM},
    {LOW_EXCHANGE, 88, EXCHANGE_ROOM},
    {YESTERDAY_EXCHANGE, 100, EXCHANGE_ROOM},
    {BID_EXCHANGE, 112, EXCHANGE_ROOM},
    {ASK_EXCHANGE, 124, EXCHANGE_ROOM},
};
constexpr size_t QUOTE_TEXT_COUNT = sizeof QUOTE_TEXTS / sizeof QUOTE_TEXTS[0];

// Record offsets of the numeric fields.
constexpr size_t FLAGS_OFFSET = 22;
constexpr size_t PRICE_TYPE_OFFSET = 24;
constexpr size_t SEC_CATEGORY_OFFSET = 26;
constexpr size_t TICK_WORD_OFFSET = 28;
constexpr size_t QUOTE_INDICATOR_OFFSET = 38;
// Seven groups of price (signed 32), size (unsigned 32), exchange (2 bytes), hours, minutes.
constexpr size_t LAST_GROUP = 44;
constexpr size_t OPEN_GROUP = 56;
constexpr size_t HIGH_GROUP = 68;
constexpr size_t LOW_GROUP = 80;
constexpr size_t YESTERDAY_GROUP = 92;
constexpr size_t BID_GROUP = 104;
constexpr size_t ASK_GROUP = 116;
constexpr size_t GROUP_SIZE_AT = 4;
constexpr size_t GROUP_TIME_AT = 10;
constexpr size_t OPEN_INTEREST_OFFSET = 152;
constexpr size_t VOLUME_OFFSET = 156;
constexpr size_t OPEN_RANGE_OFFSET = 160;
constexpr size_t CLOSE_RANGE_OFFSET = 164;
constexpr size_t CLOSE_RANGE_SECOND_OFFSET = 168;
constexpr size_t TRADE_INDICATOR_OFFSET = 172;

// QuoteFlags bits.
constexpr unsigned STATUS_BIT = 5;
constexpr unsigned NEWS_BIT = 6;
constexpr unsigned EX_DIVIDEND_BIT = 14;
constexpr unsigned SPLIT_BIT = 15;
// Higher bit of each TickWord pair; the pair's lower bit is the one below it.
constexpr unsigned LAST_TICK_BIT = 15;
constexpr unsigned OPEN_TICK_BIT = 13;
constexpr unsigned YESTERDAY_TICK_BIT = 11;
constexpr unsigned BID_TICK_BIT = 9;
constexpr unsigned ASK_TICK_BIT = 7;

constexpr double HOUR_FRACTION = 1.0 / 24;
constexpr double MINUTE_FRACTION = 1.0 / 1440;

// The divisor of the record being decoded, set once per record before its prices.
double CurrentDivisor = 1.0;

double price(const unsigned char *record, size_t offset) {
    return scalePrice(readI32(record, offset), CurrentDivisor);
}

double size(const unsigned char *record, size_t offset) {
    return static_cast<double>(readU32(record, offset));
}

double code(const unsigned char *record, size_t offset) {
    return static_cast<double>(readU16(record, offset));
}

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

void checkQuoteSnapshot(RequestCall &call) {
    // Only the cells of the securities to read are looked at; a count of 0 or less reads none.
    if (call.count > 0) {
        checkSecurityLists(call, call.count);
    }
}

void runQuoteSnapshot(RequestCall &call) {
    const size_t rows = snapshotRows(call.count);

    // Every array at its final size before the first read: numeric ones first, then cells.
    mxArray *arrays[QUOTE_FIELD_COUNT] = {};
    double *column[QUOTE_FIELD_COUNT] = {};
    for (int field = 0; field < QUOTE_FIELD_COUNT; ++field) {
        bool isText = false;
        for (const TextField &text : QUOTE_TEXTS) {
            isText = isText || text.field == field;
        }
        if (!isText) {
            arrays[field] = mxCreateDoubleMatrix(rows, field == CLOSE_RANGE ? 2 : 1, mxREAL);
            column[field] = mxGetPr(arrays[field]);
        }
    }
    mxArray *texts[QUOTE_TEXT_COUNT];
    for (size_t t = 0; t < QUOTE_TEXT_COUNT; ++t) {
        texts[t] = mxCreateCellMatrix(rows, 1);
        arrays[QUOTE_TEXTS[t].field] = texts[t];
    }

    // Zeroed once, so bytes a feed leaves unwritten decode as zeros, never as stale stack.
    unsigned char record[RECORD_BUFFER_SIZE] = {};
    for (size_t i = 0; i < rows; ++i) {
        readSecurityRecord(call, static_cast<int32_t>(i), record);

        for (size_t t = 0; t < QUOTE_TEXT_COUNT; ++t) {
            mxSetCell(texts[t], i,
                      recordString(record, QUOTE_TEXTS[t].offset, QUOTE_TEXTS[t].room));
        }

        CurrentDivisor = PriceTypeDivisor(readI16(record, PRICE_TYPE_OFFSET));
        const uint16_t flags = readU16(record, FLAGS_OFFSET);
        const uint16_t ticks = readU16(record, TICK_WORD_OFFSET);

        column[PRICE_TYPE][i] = code(record, PRICE_TYPE_OFFSET);
        column[SEC_CATEGORY][i] = code(record, SEC_CATEGORY_OFFSET);
        column[STATUS][i] = flag(flags, STATUS_BIT);
        column[NEWS][i] = flag(flags, NEWS_BIT);

        column[LAST_PRICE][i] = price(record, LAST_GROUP);
        column[LAST_SIZE][i] = size(record, LAST_GROUP + GROUP_SIZE_AT);
        column[LAST_PRICE_TIME][i] = timeOfDay(record, LAST_GROUP + GROUP_TIME_AT);
        column[LAST_TICK][i] = tick(ticks, LAST_TICK_BIT);

        column[OPEN_PRICE][i] = price(record, OPEN_GROUP);
        column[OPEN_SIZE][i] = size(record, OPEN_GROUP + GROUP_SIZE_AT);
        column[OPEN_PRICE_TIME][i] = timeOfDay(record, OPEN_GROUP + GROUP_TIME_AT);
        column[OPEN_TICK][i] = tick(ticks, OPEN_TICK_BIT);

        column[HIGH_PRICE][i] = price(record, HIGH_GROUP);
        column[HIGH_SIZE][i] = size(record, HIGH_GROUP + GROUP_SIZE_AT);
        column[HIGH_PRICE_TIME][i] = timeOfDay(record, HIGH_GROUP + GROUP_TIME_AT);

        column[LOW_PRICE][i] = price(record, LOW_GROUP);
        column[LOW_SIZE][i] = size(record, LOW_GROUP + GROUP_SIZE_AT);
        column[LOW_PRICE_TIME][i] = timeOfDay(record, LOW_GROUP + GROUP_TIME_AT);

        column[YESTERDAY_PRICE][i] = price(record, YESTERDAY_GROUP);
        column[YESTERDAY_TICK][i] = tick(ticks, YESTERDAY_TICK_BIT);

        column[BID_PRICE][i] = price(record, BID_GROUP);
        column[BID_SIZE][i] = size(record, BID_GROUP + GROUP_SIZE_AT);
        column[BID_PRICE_TIME][i] = timeOfDay(record, BID_GROUP + GROUP_TIME_AT);
        column[BID_TICK][i] = tick(ticks, BID_TICK_BIT);

        column[ASK_PRICE][i] = price(record, ASK_GROUP);
        column[ASK_SIZE][i] = size(record, ASK_GROUP + GROUP_SIZE_AT);
        column[ASK_PRICE_TIME][i] = timeOfDay(record, ASK_GROUP + GROUP_TIME_AT);
        column[ASK_TICK][i] = tick(ticks, ASK_TICK_BIT);

        column[OPEN_RANGE][i] = size(record, OPEN_RANGE_OFFSET);
        // Column-major N-by-2: the first column, then the second.
        column[CLOSE_RANGE][i] = size(record, CLOSE_RANGE_OFFSET);
        column[CLOSE_RANGE][rows + i] = size(record, CLOSE_RANGE_SECOND_OFFSET);
        column[VOLUME][i] = size(record, VOLUME_OFFSET);
        column[OPEN_INTEREST][i] = size(record, OPEN_INTEREST_OFFSET);
        column[QUOTE_INDICATOR][i] = code(record, QUOTE_INDICATOR_OFFSET);
        column[TRADE_INDICATOR][i] = code(record, TRADE_INDICATOR_OFFSET);
        column[EX_DIVIDEND_TODAY][i] = flag(flags, EX_DIVIDEND_BIT);
        column[SPLIT_TODAY][i] = flag(flags, SPLIT_BIT);
    }
    detachFeed(call);

    mxArray *result =
        mxCreateStructMatrix(1, 1, QUOTE_FIELD_COUNT, const_cast<const char **>(QUOTE_FIELDS));
    for (int field = 0; field < QUOTE_FIELD_COUNT; ++field) {
        mxSetField(result, 0, QUOTE_FIELDS[field], arrays[field]);
    }
    call.outputs[0] = result;
}
