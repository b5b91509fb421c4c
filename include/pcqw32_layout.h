// The byte layout of every record the feed library and its callers exchange through `dbax`:
// the keys, the quote, fundamentals, version and CANT records, the history scan block, the
// history records and blocks, the bar records and blocks; the bits and codes inside them;
// the price-type divisors; and the little-endian readers and writers every field goes through.
//
// This is the one place that knows where a field lies. The module decodes with it, and the
// feed simulator, the recorder, the test feeds and the benchmark feed encode with it, so a
// feed that lays a record out otherwise is corrected here. Tests that check the decoding keep
// literal bytes of their own (or the golden record files), so that they do not share a
// mistake made here.
//
// Every multi-byte field is little-endian and read at its byte offset, whatever the byte order
// or alignment of the machine: no structure is ever laid over a buffer. Offsets count from the
// first byte of the buffer handed to `dbax`. C++14, header only.
#ifndef QUORVEX_PCQW32_LAYOUT_H
#define QUORVEX_PCQW32_LAYOUT_H

#include <cstddef>
#include <cstdint>

// ---- Little-endian readers and writers ---------------------------------------------------

inline uint8_t readU8(const unsigned char *record, size_t offset) {
    return record[offset];
}

inline int8_t readI8(const unsigned char *record, size_t offset) {
    return static_cast<int8_t>(record[offset]);
}

inline uint16_t readU16(const unsigned char *record, size_t offset) {
    return static_cast<uint16_t>(record[offset] | (record[offset + 1] << 8));
}

inline int16_t readI16(const unsigned char *record, size_t offset) {
    return static_cast<int16_t>(readU16(record, offset));
}

inline uint32_t readU32(const unsigned char *record, size_t offset) {
    return static_cast<uint32_t>(record[offset]) |
           (static_cast<uint32_t>(record[offset + 1]) << 8) |
           (static_cast<uint32_t>(record[offset + 2]) << 16) |
           (static_cast<uint32_t>(record[offset + 3]) << 24);
}

inline int32_t readI32(const unsigned char *record, size_t offset) {
    return static_cast<int32_t>(readU32(record, offset));
}

// The low 8 bits of `value`.
inline void writeU8(unsigned char *record, size_t offset, uint32_t value) {
    record[offset] = static_cast<unsigned char>(value & 0xFF);
}

// The low 16 bits of `value`.
inline void writeU16(unsigned char *record, size_t offset, uint32_t value) {
    record[offset] = static_cast<unsigned char>(value & 0xFF);
    record[offset + 1] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

inline void writeU32(unsigned char *record, size_t offset, uint32_t value) {
    writeU16(record, offset, value & 0xFFFF);
    writeU16(record, offset + 2, value >> 16);
}

// A signed value goes in as its two's complement bits.
inline void writeI32(unsigned char *record, size_t offset, int32_t value) {
    writeU32(record, offset, static_cast<uint32_t>(value));
}

// ---- Buffers -----------------------------------------------------------------------------

// The record buffer of every keyed read and of the version query.
constexpr size_t RECORD_BUFFER_SIZE = 260;
// The security record of the bar series (the record DBA_GET_RECORD returns for the bar key),
// which goes back unread as the key of every block read; and the least room any caller offers
// a record, so a feed that writes only this much fits every buffer.
constexpr size_t SECURITY_RECORD_SIZE = 256;

// ---- Keys --------------------------------------------------------------------------------

// SecurityKey: leadWord (16 bits, always 0), symbol (12 bytes) and qualifier (4 bytes), both
// texts filled to the right with spaces, no terminators. The history callback receives the
// key of each delivered block in the same 18 bytes.
constexpr size_t SECURITY_KEY_SIZE = 18;
constexpr size_t KEY_LEAD_WORD_OFFSET = 0;
constexpr size_t KEY_SYMBOL_OFFSET = 2;
constexpr size_t KEY_SYMBOL_SIZE = 12;
constexpr size_t KEY_QUALIFIER_OFFSET = 14;
constexpr size_t KEY_QUALIFIER_SIZE = 4;
// The most characters a caller's symbol gives a key: the last byte of the symbol field stays
// a space.
constexpr size_t KEY_SYMBOL_LENGTH = KEY_SYMBOL_SIZE - 1;
// The bar series' key: a SecurityKey at the start of 32 bytes of spaces.
constexpr size_t BAR_KEY_SIZE = 32;
// TaggedKey (the CANT read): a SecurityKey, three bytes 18 to 20, the tag at 21 to 24.
constexpr size_t TAGGED_KEY_SIZE = 25;
constexpr size_t KEY_TAG_OFFSET = 21;
constexpr size_t KEY_TAG_SIZE = 4;
constexpr const char KEY_TAG[] = "CANT";

// ---- Price types -------------------------------------------------------------------------

// The divisor of each price-type code 0 to 15; every other code (negative, or above 15)
// divides by 1. A price is its signed 32-bit integer divided by the divisor of its record's
// code.
constexpr int PRICE_TYPE_CODES = 16;
constexpr double PRICE_TYPE_DIVISORS[PRICE_TYPE_CODES] = {
    256,    64,               // 0, 1
    1,      1,   1,           // 2 to 4
    256,    256, 256,  256,   // 5 to 8
    1,      1,                // 9, 10
    10,     100, 1000, 10000, // 11 to 14
    100000,                   // 15
};
constexpr double priceTypeDivisor(int32_t code) {
    return code >= 0 && code < PRICE_TYPE_CODES ? PRICE_TYPE_DIVISORS[code] : 1.0;
}

// ---- QuoteRecord (DBA_GET_RECORD on a quote database) -------------------------------------

constexpr size_t QUOTE_SYMBOL_OFFSET = 2; // text up to its zero byte
constexpr size_t QUOTE_SYMBOL_ROOM = 20;
constexpr size_t QUOTE_FLAGS_OFFSET = 22;      // 16 bits, QUOTE_*_BIT below
constexpr size_t QUOTE_PRICE_TYPE_OFFSET = 24; // 16 bits; read signed for the divisor
constexpr size_t QUOTE_SEC_CATEGORY_OFFSET = 26;
constexpr size_t QUOTE_TICK_WORD_OFFSET = 28; // 16 bits, two-bit tick codes
constexpr size_t QUOTE_PRIMARY_EXCHANGE_OFFSET = 36;
constexpr size_t QUOTE_QUOTE_INDICATOR_OFFSET = 38;
// Seven groups of one shape, 12 bytes each, from offset 44: Last, Open, High, Low, Yesterday,
// Bid, Ask. A group holds a signed 32-bit price, an unsigned 32-bit size, a two-byte exchange
// code (a text) and the signed hours and minutes bytes of its time. Of the Yesterday group
// only the price and the exchange code are read.
constexpr size_t QUOTE_GROUP_SIZE = 12;
constexpr size_t QUOTE_LAST_GROUP_OFFSET = 44;
constexpr size_t QUOTE_OPEN_GROUP_OFFSET = 56;
constexpr size_t QUOTE_HIGH_GROUP_OFFSET = 68;
constexpr size_t QUOTE_LOW_GROUP_OFFSET = 80;
constexpr size_t QUOTE_YESTERDAY_GROUP_OFFSET = 92;
constexpr size_t QUOTE_BID_GROUP_OFFSET = 104;
constexpr size_t QUOTE_ASK_GROUP_OFFSET = 116;
constexpr size_t QUOTE_GROUP_PRICE_AT = 0;
constexpr size_t QUOTE_GROUP_SIZE_AT = 4;
constexpr size_t QUOTE_GROUP_EXCHANGE_AT = 8;
constexpr size_t QUOTE_GROUP_HOURS_AT = 10;
constexpr size_t QUOTE_GROUP_MINUTES_AT = 11;
// Every exchange code: one or two characters, ended by a zero byte when shorter.
constexpr size_t QUOTE_EXCHANGE_ROOM = 2;
constexpr size_t QUOTE_OPEN_INTEREST_OFFSET = 152;
constexpr size_t QUOTE_VOLUME_OFFSET = 156;
constexpr size_t QUOTE_OPEN_RANGE_OFFSET = 160;
constexpr size_t QUOTE_CLOSE_RANGE_OFFSET = 164; // the first of its two columns
constexpr size_t QUOTE_CLOSE_RANGE_SECOND_OFFSET = 168;
constexpr size_t QUOTE_TRADE_INDICATOR_OFFSET = 172;
// QuoteFlags bits.
constexpr unsigned QUOTE_STATUS_BIT = 5;
constexpr unsigned QUOTE_NEWS_BIT = 6;
constexpr unsigned QUOTE_EX_DIVIDEND_BIT = 14;
constexpr unsigned QUOTE_SPLIT_BIT = 15;
// TickWord: the higher bit of each tick's pair; a set higher bit is -1, the lower alone +1.
constexpr unsigned QUOTE_LAST_TICK_BIT = 15;
constexpr unsigned QUOTE_OPEN_TICK_BIT = 13;
constexpr unsigned QUOTE_YESTERDAY_TICK_BIT = 11;
constexpr unsigned QUOTE_BID_TICK_BIT = 9;
constexpr unsigned QUOTE_ASK_TICK_BIT = 7;

// ---- FundamentalsRecord (DBA_GET_RECORD on a fundamentals database) -----------------------

constexpr size_t FUNDAMENTALS_BASE_ITEM_OFFSET = 26; // text
constexpr size_t FUNDAMENTALS_BASE_ITEM_ROOM = 20;
constexpr size_t FUNDAMENTALS_LAST_UPDATE_OFFSET = 46;
constexpr size_t FUNDAMENTALS_DIV_FREQ_OFFSET = 48;
constexpr size_t FUNDAMENTALS_PRICE_TYPE_OFFSET = 54; // 16 bits; read signed for the divisor
constexpr size_t FUNDAMENTALS_SEC_CATEGORY_OFFSET = 56;
constexpr size_t FUNDAMENTALS_BETA_OFFSET = 58; // hundredths
constexpr double FUNDAMENTALS_BETA_SCALE = 100.0;
constexpr size_t FUNDAMENTALS_VOLUME_FLAG_OFFSET = 60;
// DivLast and DivExp: unsigned mantissas sharing one decimal exponent.
constexpr size_t FUNDAMENTALS_DIV_EXPONENT_OFFSET = 64;
constexpr size_t FUNDAMENTALS_DIV_LAST_OFFSET = 66;
constexpr size_t FUNDAMENTALS_DIV_EXP_OFFSET = 70;
// Dates: four unsigned bytes b0 b1 b2 b3, the year as b0 * 100 + b1 (the century and the year
// in the century), the month, the day; all zero for no date.
constexpr size_t DATE_SIZE = 4;
constexpr size_t DATE_CENTURY_AT = 0;
constexpr size_t DATE_YEAR_AT = 1;
constexpr size_t DATE_MONTH_AT = 2;
constexpr size_t DATE_DAY_AT = 3;
constexpr size_t FUNDAMENTALS_DIV_DATE_OFFSET = 72;
constexpr size_t FUNDAMENTALS_EXP_DATE_OFFSET = 76;
constexpr size_t FUNDAMENTALS_MAT_DATE_OFFSET = 80;
constexpr size_t FUNDAMENTALS_CLOSE_PRICE_OFFSET = 92;
constexpr size_t FUNDAMENTALS_HIST_HIGH_OFFSET = 96;
constexpr size_t FUNDAMENTALS_HIST_LOW_OFFSET = 100;
constexpr size_t FUNDAMENTALS_VOLUME_OFFSET = 104;
constexpr size_t FUNDAMENTALS_OPEN_INTEREST_OFFSET = 108; // signed
constexpr size_t FUNDAMENTALS_OUTSTANDING_OFFSET = 112;
constexpr size_t FUNDAMENTALS_SH_PER_CONTR_OFFSET = 116;
constexpr size_t FUNDAMENTALS_STRIKE_PRICE_OFFSET = 120;
constexpr size_t FUNDAMENTALS_NAME_OFFSET = 128; // text
constexpr size_t FUNDAMENTALS_NAME_ROOM = 48;
// EPS: a signed mantissa with its own unsigned exponent.
constexpr size_t FUNDAMENTALS_EPS_EXPONENT_OFFSET = 176;
constexpr size_t FUNDAMENTALS_EPS_MANTISSA_OFFSET = 178;
constexpr size_t FUNDAMENTALS_SP_CODE_OFFSET = 180;
constexpr size_t FUNDAMENTALS_CUSIP_OFFSET = 186; // text, room to the end of the buffer
constexpr size_t FUNDAMENTALS_CUSIP_ROOM = RECORD_BUFFER_SIZE - FUNDAMENTALS_CUSIP_OFFSET;

// ---- VersionRecord (DBA_GET_VERSION) --------------------------------------------------------

constexpr size_t VERSION_MAJOR_OFFSET = 0;   // signed 16 bits
constexpr size_t VERSION_MINOR_OFFSET = 2;   // signed 16 bits
constexpr size_t VERSION_RELEASE_OFFSET = 4; // text of one character and its zero
constexpr size_t VERSION_RELEASE_ROOM = 2;
constexpr size_t VERSION_SERIAL_OFFSET = 6; // text, room to the end of the buffer
constexpr size_t VERSION_SERIAL_ROOM = RECORD_BUFFER_SIZE - VERSION_SERIAL_OFFSET;

// ---- CANT record (DBA_GET_RECORD_EXT), as the feed simulator writes it ---------------------
// The module reads nothing of it; the simulator, the recorder and its tool do.

constexpr size_t CANT_KEY_OFFSET = 0; // the security's key, 18 bytes
constexpr size_t CANT_TAG_OFFSET = 18;
constexpr size_t CANT_VALUE_OFFSET = 22; // signed 32 bits
constexpr size_t CANT_TEXT_OFFSET = 26;  // text up to its zero byte
constexpr size_t CANT_RECORD_SIZE = SECURITY_RECORD_SIZE;

// ---- HistoryScanBlock (DBA_GET_APPROX and DBA_WAIT_APPROX) ---------------------------------
// The fields of the scan block as a 32-bit feed sees them (dbax.h declares the structure the
// caller lends; on 32-bit targets its fields lie at these offsets).

constexpr size_t SCAN_CALLBACK_OFFSET = 0;
constexpr size_t SCAN_RESERVED4_OFFSET = 4;
constexpr size_t SCAN_RESERVED8_OFFSET = 8;
constexpr size_t SCAN_DONE_OFFSET = 12;
constexpr size_t SCAN_MODE_OFFSET = 16;
constexpr size_t SCAN_STARTED_OFFSET = 20;
constexpr size_t SCAN_BLOCK_SIZE_32 = 24;
// Scan modes: the positioning read and its wait, then every read after it.
constexpr int32_t SCAN_MODE_POSITION = 1;
constexpr int32_t SCAN_MODE_NEXT = 4;
// The key the caller lends every get-next read (DBA_GET_APPROX in SCAN_MODE_NEXT): the feed may
// use these bytes; the caller neither fills nor reads them.
constexpr size_t SCAN_NEXT_KEY_SIZE = 24;
// The wait's fifth argument.
constexpr int32_t SCAN_WAIT_PARAMETER = -1;
// Event codes of the callback: an interim event the caller ignores, and the low byte of a
// delivery of rows (whose failure the caller reports). The feed simulator ends a scan past
// the last history with its end-of-data status and SCAN_EVENT_END_OF_DATA.
constexpr int32_t SCAN_EVENT_IGNORED = 52;
constexpr int32_t SCAN_EVENT_BLOCK = 2;
constexpr int32_t SCAN_EVENT_END_OF_DATA = 3;

// ---- HistoryRecord and HistoryBlock ---------------------------------------------------------
// A block is eight 18-byte records back to back. The columns the caller fills, by meaning: the
// day of the month, the price (signed, scaled by the divisor of the block's first record's
// price type), the size (unsigned 32 bits), the hour, minute and second, and the trade
// condition code.

constexpr size_t HISTORY_RECORD_SIZE = 18;
constexpr size_t HISTORY_BLOCK_RECORDS = 8;
constexpr size_t HISTORY_BLOCK_SIZE = HISTORY_BLOCK_RECORDS * HISTORY_RECORD_SIZE;
constexpr size_t HISTORY_PRICE_OFFSET = 0;
constexpr size_t HISTORY_SIZE_OFFSET = 4;
constexpr size_t HISTORY_DAY_OFFSET = 8;
constexpr size_t HISTORY_PRICE_TYPE_OFFSET = 10; // 8 bits, widened without sign
constexpr size_t HISTORY_CONDITION_OFFSET = 11;
constexpr size_t HISTORY_HOUR_OFFSET = 15;
constexpr size_t HISTORY_MINUTE_OFFSET = 16;
constexpr size_t HISTORY_SECOND_OFFSET = 17;
// The caller files a block's records from the last to the first: record 7 - k is row k.
constexpr size_t historyRecordOfRow(size_t row) {
    return HISTORY_BLOCK_RECORDS - 1 - row;
}
// The columns of a history row as the caller returns them, in order.
enum HistoryColumn {
    HISTORY_DAY,
    HISTORY_PRICE,
    HISTORY_SIZE,
    HISTORY_HOUR,
    HISTORY_MINUTE,
    HISTORY_SECOND,
    HISTORY_CONDITION,
    HISTORY_COLUMN_COUNT
};
constexpr const char *HISTORY_COLUMN_NAMES[HISTORY_COLUMN_COUNT] = {
    "Day", "Price", "Size", "Hour", "Minute", "Second", "Condition"};

// ---- BarRecord and BarBlock -----------------------------------------------------------------
// A block is eight 32-byte records in its first 256 bytes. The columns, by meaning: the stamp
// (unsigned 32 bits, the start of the bar in seconds since 1970-01-01 00:00 UTC for the feed
// simulator), open, high, low and close (signed, each scaled by the divisor of its own
// record's price type), and the volume (signed 32 bits).

constexpr size_t BAR_RECORD_SIZE = 32;
constexpr size_t BAR_BLOCK_RECORDS = 8;
constexpr size_t BAR_BLOCK_SIZE = BAR_BLOCK_RECORDS * BAR_RECORD_SIZE;
// The buffer the caller lends each block read.
constexpr size_t BAR_BLOCK_BUFFER_SIZE = 260;
constexpr size_t BAR_PRICE_TYPE_OFFSET = 1; // 8 bits, widened without sign
constexpr size_t BAR_STAMP_OFFSET = 2;
constexpr size_t BAR_OPEN_OFFSET = 6;
constexpr size_t BAR_HIGH_OFFSET = 10;
constexpr size_t BAR_LOW_OFFSET = 14;
constexpr size_t BAR_CLOSE_OFFSET = 18;
constexpr size_t BAR_VOLUME_OFFSET = 22;
// The status of the next-block read that ends a whole series: the end of the feed's data (the
// feed simulator's 9; a recording of the vendor's feed shows its own). Any other nonzero status
// ends a series that may be incomplete. qvlayout.m holds the same for the host's functions.
constexpr int32_t BAR_END_STATUS = 9;
// The bar series' matrix: a fixed number of rows, filled eight at a time.
constexpr size_t BAR_ROWS = 75000;
constexpr size_t BAR_MAX_BLOCKS = BAR_ROWS / BAR_BLOCK_RECORDS;
enum BarColumn { BAR_STAMP, BAR_OPEN, BAR_HIGH, BAR_LOW, BAR_CLOSE, BAR_VOLUME, BAR_COLUMN_COUNT };
constexpr const char *BAR_COLUMN_NAMES[BAR_COLUMN_COUNT] = {"Stamp", "Open",  "High",
                                                            "Low",   "Close", "Volume"};

#endif
