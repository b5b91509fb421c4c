// A feed library that misbehaves on a cue, to prove that a feed crashing or hanging takes only
// the feed helper down: the symbol of the key says what it does.
//   CRASH   DBA_GET_RECORD reads through a null pointer
//   KILL    the history scan delivers two blocks, then the library ends its own process
//   HANG    DBA_GET_RECORD never returns
//   any other symbol: an empty record; a history of one block, then the end of the data.
// Attach and detach always succeed; every other operation answers 0.
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

void deliver(HistoryScanBlock *scan) {
    static const unsigned char block[HISTORY_BLOCK_SIZE] = {};
    unsigned char key[SECURITY_KEY_SIZE];
    std::memset(key, ' ', sizeof key);
    key[0] = key[1] = 0;
    std::memcpy(key + KEY_SYMBOL_OFFSET, scanSymbol, std::strlen(scanSymbol));
    ++scanDeliveries;
    if (std::strcmp(scanSymbol, "KILL") == 0 && scanDeliveries > 2) {
        endOwnProcess();
    }
    const bool more = std::strcmp(scanSymbol, "KILL") == 0 || scanDeliveries == 1;
    scan->callback(0, more ? SCAN_EVENT_BLOCK : SCAN_EVENT_END_OF_DATA, key, block, 0, more ? 0 : 9,
                   scan);
    scan->started = 1;
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
        std::memset(record, 0, SECURITY_RECORD_SIZE);
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
    case DBA_GET_NEXT_BLOCK:
        return 9;
    default:
        return 0;
    }
}
