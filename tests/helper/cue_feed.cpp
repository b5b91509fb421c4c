// A feed library that misbehaves on a cue, to prove that a feed crashing or hanging takes only
// the feed helper down: the symbol of the key says what it does.
//   CRASH   DBA_GET_RECORD reads through a null pointer
//   KILL    the history scan delivers two blocks, then the library ends its own process
//   HANG    DBA_GET_RECORD never returns
//   FULL    a history and a bar series that never end (the module's capacities end them)
//   QUIET   a history scan whose reads are accepted and never answered (the module's stall
//           bound ends it)
//   E52     a history of an ignorable event 52, two blocks, then the end of the data
//   any other symbol: a record of marked bytes; a history of one block, then the end of the
//   data (status 9, event 3); a bar series of two blocks, then status 9.
// The rows are marked, so that two runs that must agree can be compared. Attach and detach
// always succeed; every other operation answers 0. A test feed of the feed helper's tests,
// built for each target, so that the same cues give the same answers in every process.
#include "dbax.h"
#include "pcqw32_layout.h"

#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#define CUE_FEED_API extern "C" __declspec(dllexport)
#else
#include <signal.h>
#include <unistd.h>
#define CUE_FEED_API extern "C" __attribute__((visibility("default")))
#endif

namespace {

// What the positioning read asked for, and how far the scan is.
char scanSymbol[KEY_SYMBOL_SIZE + 1];
int scanDeliveries = 0;

bool keyNames(const void *key, const char *symbol) {
    const auto *bytes = static_cast<const unsigned char *>(key);
    const size_t length = std::strlen(symbol);
    return key != nullptr && std::memcmp(bytes + KEY_SYMBOL_OFFSET, symbol, length) == 0 &&
           bytes[KEY_SYMBOL_OFFSET + length] == ' ';
}

[[noreturn]] void endOwnProcess() {
#if defined(_WIN32)
    TerminateProcess(GetCurrentProcess(), 9);
#else
    kill(getpid(), SIGKILL);
#endif
    std::abort();
}

[[noreturn]] void hang() {
    for (;;) {
#if defined(_WIN32)
        Sleep(1000);
#else
        sleep(1);
#endif
    }
}

bool scanIs(const char *symbol) {
    return std::strcmp(scanSymbol, symbol) == 0;
}

// A block whose records carry the delivery's number, so that rows can be told apart.
void markedBlock(unsigned char *block, int delivery) {
    for (size_t r = 0; r < HISTORY_BLOCK_RECORDS; ++r) {
        unsigned char *record = block + r * HISTORY_RECORD_SIZE;
        writeI32(record, HISTORY_PRICE_OFFSET, delivery * 100 + static_cast<int32_t>(r));
        writeU32(record, HISTORY_SIZE_OFFSET, static_cast<uint32_t>(delivery));
        writeU8(record, HISTORY_DAY_OFFSET, static_cast<uint32_t>(r + 1));
        writeU8(record, HISTORY_PRICE_TYPE_OFFSET, 12);
        writeU8(record, HISTORY_HOUR_OFFSET, 10);
    }
}

void deliver(HistoryScanBlock *scan) {
    unsigned char block[HISTORY_BLOCK_SIZE] = {};
    unsigned char key[SECURITY_KEY_SIZE];
    std::memset(key, ' ', sizeof key);
    key[0] = key[1] = 0;
    std::memcpy(key + KEY_SYMBOL_OFFSET, scanSymbol, std::strlen(scanSymbol));
    ++scanDeliveries;
    if (scanIs("QUIET") && scanDeliveries > 1) {
        return; // the reads go on unanswered
    }
    if (scanIs("KILL") && scanDeliveries > 2) {
        endOwnProcess();
    }
    if (scanIs("E52") && scanDeliveries == 1) {
        scan->callback(0, SCAN_EVENT_IGNORED, key, block, 0, 0, scan);
    }
    const int blocks = scanIs("E52") ? 2 : 1;
    const bool more = scanIs("KILL") || scanIs("FULL") || scanDeliveries <= blocks;
    markedBlock(block, scanDeliveries);
    scan->callback(0, more ? SCAN_EVENT_BLOCK : SCAN_EVENT_END_OF_DATA, key, block, 0, more ? 0 : 9,
                   scan);
    scan->started = 1;
}

// The bar series' position.
bool barsEndless = false;
int barBlock = 0;

void barRecords(unsigned char *block) {
    std::memset(block, 0, BAR_BLOCK_SIZE);
    for (size_t r = 0; r < BAR_BLOCK_RECORDS; ++r) {
        unsigned char *record = block + r * BAR_RECORD_SIZE;
        writeU8(record, BAR_PRICE_TYPE_OFFSET, r % 2 == 0 ? 1 : 12);
        writeU32(record, BAR_STAMP_OFFSET,
                 static_cast<uint32_t>(barBlock * 8) + static_cast<uint32_t>(r));
        writeI32(record, BAR_CLOSE_OFFSET, 1000 + barBlock);
        writeI32(record, BAR_VOLUME_OFFSET, -barBlock);
    }
}

} // namespace

CUE_FEED_API int32_t DBA_CALL dbax(void *, int32_t operation, void *key, void *record, int32_t) {
    switch (operation) {
    case DBA_GET_RECORD:
        if (keyNames(key, "CRASH")) {
            volatile int *nowhere = nullptr;
            return *nowhere;
        }
        if (keyNames(key, "HANG")) {
            hang();
        }
        // Marked bytes, and the key's symbol as the record's, so a bar read knows its series.
        for (size_t i = 0; i < SECURITY_RECORD_SIZE; ++i) {
            static_cast<unsigned char *>(record)[i] = static_cast<unsigned char>(i * 7 + 1);
        }
        std::memcpy(static_cast<unsigned char *>(record) + QUOTE_SYMBOL_OFFSET,
                    static_cast<const unsigned char *>(key) + KEY_SYMBOL_OFFSET, KEY_SYMBOL_SIZE);
        static_cast<unsigned char *>(record)[QUOTE_SYMBOL_OFFSET + KEY_SYMBOL_SIZE] = 0;
        return 0;
    case DBA_GET_FIRST_BLOCK:
        barsEndless = std::memcmp(static_cast<const unsigned char *>(key) + QUOTE_SYMBOL_OFFSET,
                                  "FULL ", 5) == 0;
        barBlock = 0;
        barRecords(static_cast<unsigned char *>(record));
        return 0;
    case DBA_GET_NEXT_BLOCK:
        if (!barsEndless && barBlock >= 1) {
            return 9;
        }
        ++barBlock;
        barRecords(static_cast<unsigned char *>(record));
        return 0;
    case DBA_GET_APPROX: {
        auto *scan = static_cast<HistoryScanBlock *>(record);
        if (scan->mode == SCAN_MODE_POSITION) {
            const auto *bytes = static_cast<const unsigned char *>(key);
            size_t length = 0;
            while (length < KEY_SYMBOL_LENGTH && bytes[KEY_SYMBOL_OFFSET + length] != ' ') {
                scanSymbol[length] = static_cast<char>(bytes[KEY_SYMBOL_OFFSET + length]);
                ++length;
            }
            scanSymbol[length] = '\0';
            scanDeliveries = 0;
            scan->started = 0;
        }
        return 0;
    }
    case DBA_WAIT_APPROX:
        deliver(static_cast<HistoryScanBlock *>(record));
        return 0;
    default:
        return 0;
    }
}
