// A feed library with fixed answers, built as PCQW32.dll / libPCQW32.so for the end-to-end
// run: the module loads it by name like the real library and calls `dbax` with the real
// calling convention, and the history scan calls back into the module from inside `dbax`.
// Which records a keyed read returns depends on the database attached:
//   2 quotes, 3 history, 5 bars (security record and bar blocks), 6 fundamentals;
// any other database number from 0 up attaches and answers version and CANT reads. A negative
// database number fails to attach with status 12, and the symbol "NOPE" is never found
// (status 4). Every value is chosen so that a wrong offset, width, sign or scaling shows.
#include "dbax.h"
#include "little_endian.h"

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

// Bars: the first block and two more; history: the deliveries of one scan in order.
constexpr int32_t BAR_BLOCKS = 3;
constexpr int32_t EVENT_IGNORED = 52;
constexpr int32_t EVENT_DELIVERY = 2;

int32_t openAttachments = 0;

// The feed's state of one attachment, kept in the control block the caller lends it.
struct Attachment {
    char magic[4];
    int32_t database;
    int32_t barBlocks;  // bar blocks served since the security read
    int32_t deliveries; // history deliveries made since the positioning read
    unsigned char key[18];
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
    if (event != EVENT_IGNORED) {
        scan->started = 1;
    }
}

using littleendian::put16;
using littleendian::put32;

void putText(unsigned char *at, const char *text) {
    std::memcpy(at, text, std::strlen(text) + 1);
}

bool keyNamed(const unsigned char *key, const char *symbol) {
    size_t length = std::strlen(symbol);
    return std::memcmp(key + 2, symbol, length) == 0 && key[2 + length] == ' ';
}

void writeVersion(unsigned char *record) {
    put16(record, 3);
    put16(record + 2, 0xFFFF); // minor version -1
    putText(record + 4, "B");
    putText(record + 6, "00012345");
}

void writeQuote(const unsigned char *key, unsigned char *record) {
    std::memset(record, 0, 260);
    std::memcpy(record + 2, key + 2, 12); // the symbol as sent, spaces and all
    record[2 + 12] = 0;
    for (int i = 13; i > 2 && record[i] == ' '; --i) {
        record[i] = 0;
    }
    put16(record + 22, 1u << 5);                // Status
    put16(record + 24, 12);                     // hundredths
    put16(record + 28, (1u << 15) | (1u << 8)); // LastTick -1, BidTick +1
    std::memcpy(record + 36, "NQ", 2);          // room filled, no terminator
    put32(record + 44, 12345);                  // LastPrice 123.45
    put32(record + 48, 0x80000000u);            // LastSize 2^31
    std::memcpy(record + 52, "NY", 2);
    record[54] = 9; // 09:30
    record[55] = 30;
    put32(record + 104, static_cast<uint32_t>(-250)); // BidPrice -2.5
    put32(record + 164, 7);
    put32(record + 168, 8);
    put16(record + 172, 0xBEEF);
}

void writeFundamentals(unsigned char *record) {
    std::memset(record, 0, 260);
    putText(record + 26, "BASE");
    put16(record + 54, 0);     // divisor 256
    put16(record + 58, 125);   // Beta 1.25
    put16(record + 64, 2);     // dividend exponent
    put16(record + 66, 65535); // DivLast 655.35
    put16(record + 70, 150);   // DivExp 1.5
    record[72] = 20;           // DivDate 2002-06-30
    record[73] = 2;
    record[74] = 6;
    record[75] = 30;
    put32(record + 92, 512);          // ClosePrice 2.0
    put32(record + 104, 0xFFFFFFFFu); // Volume
    put32(record + 108, 0xFFFFFFFFu); // OpenInterest -1
    putText(record + 128, "Fixed Answer Co");
    put16(record + 176, 2);
    put16(record + 178, static_cast<uint32_t>(-150)); // EPS -1.5
    putText(record + 186, "123456789");
}

// Record k of bar block b: price type 1 (divisor 64), row number n = 8b + k in every column.
void writeBarBlock(int32_t block, unsigned char *record) {
    std::memset(record, 0, 256);
    for (int k = 0; k < 8; ++k) {
        unsigned char *bar = record + 32 * k;
        auto n = static_cast<uint32_t>(8 * block + k);
        bar[1] = 1;
        put32(bar + 2, 1000 + n);
        for (int column = 0; column < 4; ++column) {
            put32(bar + 6 + 4 * column, 64 * n + static_cast<uint32_t>(16 * column));
        }
        put32(bar + 22, static_cast<uint32_t>(-static_cast<int32_t>(n)));
    }
}

// Block `block` of the history: record r carries price 100 * (8 * block + r) in hundredths
// (price type 12 in record 0 only) and its row number in the byte columns.
void writeHistoryBlock(int32_t block, unsigned char *out) {
    std::memset(out, 0, 144);
    for (int r = 0; r < 8; ++r) {
        unsigned char *record = out + 18 * r;
        auto n = static_cast<uint32_t>(8 * block + r);
        put32(record, 100 * n);
        put32(record + 4, 0xFFFFFF00u + n);
        record[8] = static_cast<unsigned char>(n);
        record[10] = r == 0 ? 12 : 1;
        record[11] = static_cast<unsigned char>(200 + n);
        record[15] = 1;
        record[16] = 2;
        record[17] = 3;
    }
}

// One history event per wait: ignored, two blocks, then a key of another security.
void deliverHistory(Attachment *state, HistoryScanBlock *scan) {
    unsigned char key[18];
    unsigned char block[144];
    std::memcpy(key, state->key, sizeof key);
    int32_t event = EVENT_DELIVERY;
    switch (state->deliveries) {
    case 0:
        event = EVENT_IGNORED;
        std::memset(block, 0, sizeof block);
        break;
    case 1:
    case 2:
        writeHistoryBlock(state->deliveries - 1, block);
        break;
    default:
        std::memcpy(key + 2, "ZZZ", 3);
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
        if (state->database == 5) {
            // The security record of a bar series: opaque to the module, handed back as key.
            std::memset(record, 0, 256);
            std::memcpy(record, "SECR", 4);
            std::memcpy(record + 4, key, 32);
            state->barBlocks = 0;
        } else if (state->database == 6) {
            writeFundamentals(record);
        } else {
            writeQuote(key, record);
        }
        return 0;
    case DBA_GET_FIRST_BLOCK:
    case DBA_GET_NEXT_BLOCK:
        if (std::memcmp(key, "SECR", 4) != 0) {
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
        if (std::memcmp(key + 21, "CANT", 4) != 0) {
            return STATUS_BAD_TAG;
        }
        std::memset(record, 0, 260);
        std::memcpy(record, key, 25);
        return 0;
    case DBA_GET_APPROX:
        if (scan->mode == 1) {
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
