// A feed library with fixed answers, built as PCQW32.dll / libPCQW32.so for the end-to-end
// run: the module loads it by name like the real library and calls `dbax` with the real
// calling convention, and the history scan calls back into the module from inside `dbax`.
// Which records a keyed read returns depends on the database attached:
//   2 quotes, 3 history, 5 bars (security record and bar blocks), 6 fundamentals;
// any other database number from 0 up attaches and answers version and CANT reads. A negative
// database number fails to attach with status 12, and the symbol "NOPE" is never found
// (status 4). Every value is chosen so that a wrong offset, width, sign or scaling shows.
#include "dbax.h"
#include "pcqw32_layout.h"

#include <cstring>

#if defined(_WIN32)
#define FIXED_FEED_API extern "C" __declspec(dllexport)
#else
#define FIXED_FEED_API extern "C" __attribute__((visibility("default")))
#endif

namespace {

constexpr int32_t STATUS_NOT_ATTACHED = 3;
constexpr int32_t STATUS_NOT_FOUND = 4;
constexpr int32_t STATUS_BAD_TAG = 5;
constexpr int32_t STATUS_BAD_SECURITY_RECORD = 6;
constexpr int32_t STATUS_END_OF_DATA = 9;
constexpr int32_t STATUS_ATTACH_REFUSED = 12;

// The databases whose keyed reads serve bars or fundamentals; every other one serves quotes.
constexpr int32_t BAR_DATABASE = 5;
constexpr int32_t FUNDAMENTALS_DATABASE = 6;

// Bars: the first block and two more.
constexpr int32_t BAR_BLOCKS = 3;

// The security record of a bar series is the feed's own: a mark, then the bar key it was
// read with. Block reads refuse a key without the mark.
constexpr char SECURITY_MARK[] = "SECR";
constexpr size_t SECURITY_MARK_SIZE = 4;
constexpr size_t SECURITY_KEY_COPY_OFFSET = SECURITY_MARK_SIZE;

// The four prices of a bar record, in their column order.
constexpr size_t BAR_PRICE_OFFSETS[] = {BAR_OPEN_OFFSET, BAR_HIGH_OFFSET, BAR_LOW_OFFSET,
                                        BAR_CLOSE_OFFSET};

int32_t openAttachments = 0;

// The feed's state of one attachment, kept in the control block the caller lends it.
struct Attachment {
    char magic[4];
    int32_t database;
    int32_t barBlocks;  // bar blocks served since the security read
    int32_t deliveries; // history deliveries made since the positioning read
    unsigned char key[SECURITY_KEY_SIZE];
};
static_assert(sizeof(Attachment) <= sizeof(FeedControlBlock), "state fits the control block");

Attachment *attachment(void *controlBlock) {
    auto *state = static_cast<Attachment *>(controlBlock);
    return std::memcmp(state->magic, "FXAT", 4) == 0 ? state : nullptr;
}

// The call of the history callback in a function of its own, kept apart from dbax (whose
// frame pointer would repair a stack pointer left off by a callback of the other convention).
// Built without a frame pointer, as MSVC often builds, it then returns through a wrong
// address: a mismatch crashes instead of passing by luck.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
void deliver(HistoryScanBlock *scan, int32_t event, const unsigned char *key,
             const unsigned char *block) {
    scan->callback(0, event, key, block, 0, 0, scan);
    if (event != SCAN_EVENT_IGNORED) {
        scan->started = 1;
    }
}

void putText(unsigned char *record, size_t offset, const char *text) {
    std::memcpy(record + offset, text, std::strlen(text) + 1);
}

void putDate(unsigned char *record, size_t offset, unsigned year, unsigned month, unsigned day) {
    writeU8(record, offset + DATE_CENTURY_AT, year / 100);
    writeU8(record, offset + DATE_YEAR_AT, year % 100);
    writeU8(record, offset + DATE_MONTH_AT, month);
    writeU8(record, offset + DATE_DAY_AT, day);
}

bool keyNamed(const unsigned char *key, const char *symbol) {
    size_t length = std::strlen(symbol);
    return std::memcmp(key + KEY_SYMBOL_OFFSET, symbol, length) == 0 &&
           key[KEY_SYMBOL_OFFSET + length] == ' ';
}

void writeVersion(unsigned char *record) {
    writeU16(record, VERSION_MAJOR_OFFSET, 3);
    writeU16(record, VERSION_MINOR_OFFSET, 0xFFFF); // minor version -1
    putText(record, VERSION_RELEASE_OFFSET, "B");
    putText(record, VERSION_SERIAL_OFFSET, "00012345");
}

void writeQuote(const unsigned char *key, unsigned char *record) {
    std::memset(record, 0, RECORD_BUFFER_SIZE);
    // The symbol as sent, its trailing spaces turned into zeros.
    unsigned char *symbol = record + QUOTE_SYMBOL_OFFSET;
    std::memcpy(symbol, key + KEY_SYMBOL_OFFSET, KEY_SYMBOL_SIZE);
    symbol[KEY_SYMBOL_SIZE] = 0;
    for (size_t i = KEY_SYMBOL_SIZE; i > 1 && symbol[i - 1] == ' '; --i) {
        symbol[i - 1] = 0;
    }
    writeU16(record, QUOTE_FLAGS_OFFSET, 1u << QUOTE_STATUS_BIT);
    writeU16(record, QUOTE_PRICE_TYPE_OFFSET, 12); // hundredths
    // LastTick -1, BidTick +1.
    writeU16(record, QUOTE_TICK_WORD_OFFSET,
             (1u << QUOTE_LAST_TICK_BIT) | (1u << (QUOTE_BID_TICK_BIT - 1)));
    std::memcpy(record + QUOTE_PRIMARY_EXCHANGE_OFFSET, "NQ",
                QUOTE_EXCHANGE_ROOM); // room filled, no terminator
    const size_t last = QUOTE_LAST_GROUP_OFFSET;
    writeI32(record, last + QUOTE_GROUP_PRICE_AT, 12345);      // LastPrice 123.45
    writeU32(record, last + QUOTE_GROUP_SIZE_AT, 0x80000000u); // LastSize 2^31
    std::memcpy(record + last + QUOTE_GROUP_EXCHANGE_AT, "NY", QUOTE_EXCHANGE_ROOM);
    writeU8(record, last + QUOTE_GROUP_HOURS_AT, 9); // 09:30
    writeU8(record, last + QUOTE_GROUP_MINUTES_AT, 30);
    writeI32(record, QUOTE_BID_GROUP_OFFSET + QUOTE_GROUP_PRICE_AT, -250); // BidPrice -2.5
    writeU32(record, QUOTE_CLOSE_RANGE_OFFSET, 7);
    writeU32(record, QUOTE_CLOSE_RANGE_SECOND_OFFSET, 8);
    writeU16(record, QUOTE_TRADE_INDICATOR_OFFSET, 0xBEEF);
}

void writeFundamentals(unsigned char *record) {
    std::memset(record, 0, RECORD_BUFFER_SIZE);
    putText(record, FUNDAMENTALS_BASE_ITEM_OFFSET, "BASE");
    writeU16(record, FUNDAMENTALS_PRICE_TYPE_OFFSET, 0);        // divisor 256
    writeU16(record, FUNDAMENTALS_BETA_OFFSET, 125);            // Beta 1.25
    writeU16(record, FUNDAMENTALS_DIV_EXPONENT_OFFSET, 2);      // dividend exponent
    writeU16(record, FUNDAMENTALS_DIV_LAST_OFFSET, 65535);      // DivLast 655.35
    writeU16(record, FUNDAMENTALS_DIV_EXP_OFFSET, 150);         // DivExp 1.5
    putDate(record, FUNDAMENTALS_DIV_DATE_OFFSET, 2002, 6, 30); // DivDate 2002-06-30
    writeI32(record, FUNDAMENTALS_CLOSE_PRICE_OFFSET, 512);     // ClosePrice 2.0
    writeU32(record, FUNDAMENTALS_VOLUME_OFFSET, 0xFFFFFFFFu);
    writeI32(record, FUNDAMENTALS_OPEN_INTEREST_OFFSET, -1);
    putText(record, FUNDAMENTALS_NAME_OFFSET, "Fixed Answer Co");
    writeU16(record, FUNDAMENTALS_EPS_EXPONENT_OFFSET, 2);
    writeU16(record, FUNDAMENTALS_EPS_MANTISSA_OFFSET, static_cast<uint32_t>(-150)); // EPS -1.5
    putText(record, FUNDAMENTALS_CUSIP_OFFSET, "123456789");
}

// Record k of bar block b: price type 1 (divisor 64), row number n = 8b + k in every column.
void writeBarBlock(int32_t block, unsigned char *out) {
    std::memset(out, 0, BAR_BLOCK_SIZE);
    for (size_t k = 0; k < BAR_BLOCK_RECORDS; ++k) {
        unsigned char *bar = out + BAR_RECORD_SIZE * k;
        auto n = static_cast<uint32_t>(BAR_BLOCK_RECORDS * static_cast<size_t>(block) + k);
        writeU8(bar, BAR_PRICE_TYPE_OFFSET, 1);
        writeU32(bar, BAR_STAMP_OFFSET, 1000 + n);
        for (uint32_t column = 0; column < 4; ++column) {
            writeU32(bar, BAR_PRICE_OFFSETS[column], 64 * n + 16 * column);
        }
        writeI32(bar, BAR_VOLUME_OFFSET, -static_cast<int32_t>(n));
    }
}

// Block `block` of the history: record r carries price 100 * (8 * block + r) in hundredths
// (price type 12 in record 0 only) and its row number in the byte columns.
void writeHistoryBlock(int32_t block, unsigned char *out) {
    std::memset(out, 0, HISTORY_BLOCK_SIZE);
    for (size_t r = 0; r < HISTORY_BLOCK_RECORDS; ++r) {
        unsigned char *record = out + HISTORY_RECORD_SIZE * r;
        auto n = static_cast<uint32_t>(HISTORY_BLOCK_RECORDS * static_cast<size_t>(block) + r);
        writeU32(record, HISTORY_PRICE_OFFSET, 100 * n);
        writeU32(record, HISTORY_SIZE_OFFSET, 0xFFFFFF00u + n);
        writeU8(record, HISTORY_DAY_OFFSET, n);
        writeU8(record, HISTORY_PRICE_TYPE_OFFSET, r == 0 ? 12 : 1);
        writeU8(record, HISTORY_CONDITION_OFFSET, 200 + n);
        writeU8(record, HISTORY_HOUR_OFFSET, 1);
        writeU8(record, HISTORY_MINUTE_OFFSET, 2);
        writeU8(record, HISTORY_SECOND_OFFSET, 3);
    }
}

// One history event per wait: ignored, two blocks, then a key of another security.
void deliverHistory(Attachment *state, HistoryScanBlock *scan) {
    unsigned char key[SECURITY_KEY_SIZE];
    unsigned char block[HISTORY_BLOCK_SIZE];
    std::memcpy(key, state->key, sizeof key);
    int32_t event = SCAN_EVENT_BLOCK;
    switch (state->deliveries) {
    case 0:
        event = SCAN_EVENT_IGNORED;
        std::memset(block, 0, sizeof block);
        break;
    case 1:
    case 2:
        writeHistoryBlock(state->deliveries - 1, block);
        break;
    default:
        std::memcpy(key + KEY_SYMBOL_OFFSET, "ZZZ", 3);
        writeHistoryBlock(9, block);
        break;
    }
    ++state->deliveries;
    deliver(scan, event, key, block);
}

int32_t serve(Attachment *state, int32_t operation, unsigned char *key, unsigned char *record,
              HistoryScanBlock *scan) {
    switch (operation) {
    case DBA_GET_VERSION:
        writeVersion(record);
        return 0;
    case DBA_GET_RECORD:
        if (keyNamed(key, "NOPE")) {
            return STATUS_NOT_FOUND;
        }
        if (state->database == BAR_DATABASE) {
            // The security record of a bar series: opaque to the module, handed back as key.
            std::memset(record, 0, SECURITY_RECORD_SIZE);
            std::memcpy(record, SECURITY_MARK, SECURITY_MARK_SIZE);
            std::memcpy(record + SECURITY_KEY_COPY_OFFSET, key, BAR_KEY_SIZE);
            state->barBlocks = 0;
        } else if (state->database == FUNDAMENTALS_DATABASE) {
            writeFundamentals(record);
        } else {
            writeQuote(key, record);
        }
        return 0;
    case DBA_GET_FIRST_BLOCK:
    case DBA_GET_NEXT_BLOCK:
        if (std::memcmp(key, SECURITY_MARK, SECURITY_MARK_SIZE) != 0) {
            return STATUS_BAD_SECURITY_RECORD;
        }
        if (operation == DBA_GET_FIRST_BLOCK) {
            state->barBlocks = 0;
        }
        if (state->barBlocks >= BAR_BLOCKS) {
            return STATUS_END_OF_DATA;
        }
        writeBarBlock(state->barBlocks++, record);
        return 0;
    case DBA_GET_RECORD_EXT:
        if (std::memcmp(key + KEY_TAG_OFFSET, KEY_TAG, KEY_TAG_SIZE) != 0) {
            return STATUS_BAD_TAG;
        }
        // The record echoes the tagged key it was read with.
        std::memset(record, 0, RECORD_BUFFER_SIZE);
        std::memcpy(record + CANT_KEY_OFFSET, key, TAGGED_KEY_SIZE);
        return 0;
    case DBA_GET_APPROX:
        if (scan->mode == SCAN_MODE_POSITION) {
            std::memcpy(state->key, key, sizeof state->key);
            state->deliveries = 0;
            scan->started = 0;
        }
        return 0;
    case DBA_WAIT_APPROX:
        deliverHistory(state, scan);
        return 0;
    default:
        return 1;
    }
}

} // namespace

FIXED_FEED_API int32_t DBA_CALL dbax(void *controlBlock, int32_t operation, void *key, void *record,
                                     int32_t parameter) {
    if (operation == DBA_ATTACH) {
        if (parameter < 0) {
            return STATUS_ATTACH_REFUSED;
        }
        Attachment state{};
        std::memcpy(state.magic, "FXAT", 4);
        state.database = parameter;
        std::memcpy(controlBlock, &state, sizeof state);
        ++openAttachments;
        return 0;
    }
    Attachment *state = attachment(controlBlock);
    if (state == nullptr) {
        return STATUS_NOT_ATTACHED;
    }
    if (operation == DBA_DETACH) {
        std::memset(state->magic, 0, sizeof state->magic);
        --openAttachments;
        return 0;
    }
    return serve(state, operation, static_cast<unsigned char *>(key),
                 static_cast<unsigned char *>(record), static_cast<HistoryScanBlock *>(record));
}

// Attachments made and not yet detached, for the driver's checks.
FIXED_FEED_API int32_t fixed_feed_open_attachments(void) {
    return openAttachments;
}
