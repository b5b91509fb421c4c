// Values of the feed's records as the store holds them, and their encoding into the packed
// little-endian layouts that `dbax` writes. Every field is written at its offset in the
// record layout (pcqw32_layout.h) through the layout's writers; nothing is copied by
// overlaying a structure on a buffer.
#ifndef QUORVEX_FEED_SIM_RECORDS_H
#define QUORVEX_FEED_SIM_RECORDS_H

#include "pcqw32_layout.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace pcqw32 {

// The security handle: where it lies in the record DBA_GET_RECORD returns, per record kind (in
// bytes the record's layout leaves unused), a four-character tag and, after it, the security's
// 32-bit id. The block reads take the record back as their key and find the security by it.
constexpr std::size_t QUOTE_HANDLE_OFFSET = 176;
constexpr std::size_t FUNDAMENTALS_HANDLE_OFFSET = 16;
constexpr std::size_t HANDLE_TAG_SIZE = 4;
constexpr std::size_t HANDLE_ID_AT = HANDLE_TAG_SIZE;
extern const char QUOTE_HANDLE_TAG[HANDLE_TAG_SIZE];
extern const char FUNDAMENTALS_HANDLE_TAG[HANDLE_TAG_SIZE];

// Copies `text` to `offset` and ends it with a zero byte; the caller has checked that the
// text and its zero fit the room.
void putText(unsigned char *p, std::size_t offset, const std::string &text);

// The price a client computes for `price` sent with price-type `code`: the raw integer
// round(price x divisor) divided by the divisor (priceTypeDivisor). It equals `price` when the
// price lies on the grid of its code.
double clientPrice(double price, int32_t code);

// Outcome of an encoding step: empty on success, otherwise what did not fit.
struct EncodeError {
    std::string message;
    explicit operator bool() const { return !message.empty(); }
};

// One of the seven price groups of a quote: price, size, exchange code, time, tick.
struct QuoteGroup {
    double price = 0;
    int64_t size = 0;
    std::string exchange; // at most one character, so its zero fits the 2-byte room
    int32_t hour = 0;     // signed bytes
    int32_t minute = 0;
    int32_t tick = 0; // -1, 0 or +1
};

struct QuoteValues {
    std::string symbol; // the feed's symbol text, at most 19 characters
    int32_t priceType = 0;
    int32_t secCategory = 0;
    int32_t status = 0, news = 0, exDividendToday = 0, splitToday = 0; // flags 0 or 1
    std::string primaryExchange;
    int32_t quoteIndicator = 0, tradeIndicator = 0;
    QuoteGroup last, open, high, low, yesterday, bid, ask; // high/low ticks are not sent
    int64_t openInterest = 0, volume = 0, openRange = 0, closeRange1 = 0, closeRange2 = 0;
};

// A calendar date as the fundamentals hold it; all zero for "no date".
struct FeedDate {
    int32_t year = 0, month = 0, day = 0;
};

struct FundamentalsValues {
    std::string name;     // at most 47 characters
    std::string baseItem; // at most 19
    std::string cusip;    // at most 69
    int32_t lastUpdate = 0, divFreq = 0, priceType = 0, secCategory = 0, volumeFlag = 0;
    int32_t spCode = 0;
    double beta = 0;    // sent in hundredths
    double divLast = 0; // DivLast and DivExp share one decimal exponent
    double divExp = 0;
    double eps = 0; // signed mantissa with its own exponent
    FeedDate divDate, expDate, matDate;
    double closePrice = 0, histHigh = 0, histLow = 0, strikePrice = 0;
    int64_t volume = 0, outstanding = 0, shPerContr = 0;
    int64_t openInterest = 0; // signed
};

// One history row: a trade print. The client copies these fields into its columns without
// interpretation: day (column 1), price (2), size (3), hour, minute, second (4 to 6),
// condition (7).
struct HistoryRow {
    int32_t day = 0;
    double price = 0;
    int64_t size = 0;
    int32_t hour = 0, minute = 0, second = 0;
    int32_t condition = 0;
    int32_t priceType = 0; // 8-bit code
};

// One bar: stamp (column 1, unsigned, e.g. the Unix time of the bar's start), open, high,
// low, close (2 to 5, scaled by the bar's own price type), volume (6, signed).
struct BarRow {
    int32_t priceType = 0; // 8-bit code
    int64_t stamp = 0;
    double open = 0, high = 0, low = 0, close = 0;
    int64_t volume = 0;
};

struct CantValues {
    int64_t value = 0; // signed 32-bit
    std::string text;  // at most 229 characters
};

struct VersionValues {
    int32_t major = 0, minor = 0; // signed 16-bit
    std::string release;          // at most one character
    std::string serial;           // at most 253 characters
};

// Security key fields from their texts: 12-byte symbol and 4-byte qualifier, space-padded.
// Returns false when a text is too long for its field.
bool makeKey(const std::string &symbol, const std::string &qualifier,
             unsigned char key[SECURITY_KEY_SIZE]);
// The 16 bytes from offset 2 of a key, as held in the store's `key` column.
std::string keyBytes(const unsigned char *key);
// Symbol and qualifier of a key, trailing spaces removed.
std::string keySymbol(const unsigned char *key);
std::string keyQualifier(const unsigned char *key);

// Each encoder fills its record completely (unused bytes zero) or reports what did not fit.
EncodeError encodeQuote(const QuoteValues &v, unsigned char out[SECURITY_RECORD_SIZE]);
EncodeError encodeFundamentals(const FundamentalsValues &v,
                               unsigned char out[SECURITY_RECORD_SIZE]);
// Row k of a block goes to record position historyRecordOfRow(k), because the client files
// the records of a block from the last to the first. Positions past `count` rows are zero records
// carrying the price type of the block's first row, so the client scales the block by that code.
EncodeError encodeHistoryBlock(const HistoryRow *rows, int count,
                               unsigned char out[HISTORY_BLOCK_SIZE]);
// Bars in record order; records past `count` are zero.
EncodeError encodeBarBlock(const BarRow *rows, int count, unsigned char out[BAR_BLOCK_SIZE]);
EncodeError encodeCant(const unsigned char *key, const CantValues &v,
                       unsigned char out[CANT_RECORD_SIZE]);
EncodeError encodeVersion(const VersionValues &v, unsigned char out[RECORD_BUFFER_SIZE]);

// Checks that a value set fits its record; the store writer runs these before inserting.
EncodeError checkQuote(const QuoteValues &v);
EncodeError checkFundamentals(const FundamentalsValues &v);
EncodeError checkHistoryRow(const HistoryRow &r);
EncodeError checkBarRow(const BarRow &r);
EncodeError checkCant(const CantValues &v);
EncodeError checkVersion(const VersionValues &v);

// Decimal field encoding: smallest exponent e (0 to 9) for which every value times 10^e is
// an integer within [lo, hi]; when none is exact, the largest exponent that still fits, with
// rounding. Returns false when even e = 0 does not fit.
bool chooseDecimal(const double *values, int count, int64_t lo, int64_t hi, int32_t &exponent,
                   int64_t *mantissas);

} // namespace pcqw32

#endif
