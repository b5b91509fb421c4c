#include "fuzz_feed.h"

#include "expected_results.h"
#include "pcqw32_layout.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace fuzzfeed {
namespace {

constexpr int32_t BAR_REQUEST = 5;             // its record read returns the security record
constexpr int32_t END_OF_DATA = 9;             // what a healthy feed says when data runs out
constexpr int32_t EVENT_OTHER = 1;             // an event neither to ignore nor a block's
constexpr size_t SHARED_SYMBOL_CHARACTERS = 3; // of a delivered key like the scan's own
constexpr int64_t CALLBACK_BUDGET = 160000;    // deliveries per module call, > 2x capacity
constexpr int32_t LONGEST_HISTORY_RUN = 70000; // one repeated delivery: 560,000 rows
constexpr int32_t LONGEST_BAR_RUN = 12000;     // repeated next blocks: 96,000 rows
// Repeats and runs are short unless the input asks for one of the long ones, which reach a
// capacity and cost a large result: rare, so that most inputs run in microseconds.
constexpr int32_t SHORT_RUN = 512;
constexpr uint8_t FIRST_LONG_RUN = 0xFC; // of the byte that chooses a run's length

struct State {
    FuzzedDataProvider *data = nullptr;
    int32_t request = 0;
    int32_t calls = 0;
    // Kept as vectors that are cleared, never freed: after the first inputs a call allocates
    // nothing here, so libFuzzer sees as many frees as mallocs in a run and keeps its leak
    // check for the runs that do leak.
    std::vector<std::pair<void *, bool>> attached;
    std::vector<int32_t> statuses;
    std::vector<int32_t> approxFailures;
    bool inCallback = false;
    bool startedStuck = false;
    unsigned char firstKey[SECURITY_KEY_SIZE] = {};
    int64_t callbacksLeft = CALLBACK_BUDGET;
    int32_t barRepeatsLeft = 0;
    // Per module call: blocks offered (history deliveries with status 0, bar blocks read).
    int64_t historyBlocks = 0;
    int64_t barBlocks = 0;
    // Deliveries the callback answered with 0, "stored".
    int64_t storedBlocks = 0;
};

// How often a module call was offered more than a capacity's worth of blocks; printed at exit
// when QUORVEX_FUZZ_STATS is set, to show that the fuzzer gets there.
struct Totals {
    int64_t calls = 0;
    int64_t historyPastCapacity = 0;
    int64_t barsPastCapacity = 0;
    int64_t longestHistory = 0;
    int64_t longestBars = 0;
    int64_t barSeries = 0;
};
Totals totals;
constexpr int64_t HISTORY_CAPACITY_BLOCKS = expected::HISTORY_CAPACITY / HISTORY_BLOCK_RECORDS;
constexpr int64_t BAR_CAPACITY_BLOCKS = BAR_MAX_BLOCKS;

void printTotals() {
    std::fprintf(
        stderr,
        "fuzz feed: %lld module calls; history past capacity in %lld (longest %lld "
        "blocks), bars past capacity in %lld (longest %lld blocks); %lld bar series\n",
        static_cast<long long>(totals.calls), static_cast<long long>(totals.historyPastCapacity),
        static_cast<long long>(totals.longestHistory),
        static_cast<long long>(totals.barsPastCapacity), static_cast<long long>(totals.longestBars),
        static_cast<long long>(totals.barSeries));
}

State state;

// Exact-size buffers for the key and block of a delivery, so that a callback reading past
// either is caught. Allocated once and kept for the process.
unsigned char *deliveryKey() {
    static unsigned char *key = static_cast<unsigned char *>(std::malloc(SECURITY_KEY_SIZE));
    return key;
}
unsigned char *deliveryBlock() {
    static unsigned char *block = static_cast<unsigned char *>(std::malloc(HISTORY_BLOCK_SIZE));
    return block;
}

volatile unsigned char touchedSum = 0;
// The largest buffer the module hands the feed.
constexpr size_t TOUCHED_MOST = 4096;

void copyBytes(unsigned char *to, const std::vector<uint8_t> &bytes) {
    if (!bytes.empty()) {
        std::memcpy(to, bytes.data(), bytes.size());
    }
}

bool exhausted() {
    return state.data == nullptr || state.data->remaining_bytes() == 0;
}

// Reads every byte of a buffer the module hands over, so that one shorter than the size the
// operation implies is reported by the sanitizer: the copy is checked whole by the sanitizer's
// memcpy, in one step rather than byte by byte.
void touch(const void *buffer, size_t size) {
    static unsigned char copy[TOUCHED_MOST];
    if (size > sizeof copy) {
        fail("a buffer larger than the fuzz feed knows of");
    }
    if (size > 0) {
        std::memcpy(copy, buffer, size);
        touchedSum = touchedSum + copy[size - 1];
    }
}

int32_t pickFailure() {
    static constexpr int32_t TABLE[] = {1,   -1,  2,     3,     4,  5,         6,
                                        9,   10,  11,    12,    13, 14,        -32768,
                                        255, 256, 32767, 65535, -2, INT32_MIN, INT32_MAX};
    uint8_t which = state.data->ConsumeIntegral<uint8_t>();
    if (which < sizeof TABLE / sizeof TABLE[0]) {
        return TABLE[which];
    }
    int32_t any = state.data->ConsumeIntegral<int32_t>();
    return any == 0 ? 1 : any;
}

// Mostly success; sometimes a failure.
int32_t pickStatus() {
    if (exhausted()) {
        return 0;
    }
    return state.data->ConsumeIntegral<uint8_t>() < 192 ? 0 : pickFailure();
}

bool holds(const std::vector<int32_t> &values, int32_t value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

void noteStatus(int32_t status) {
    if (status != 0 && !holds(state.statuses, status)) {
        state.statuses.push_back(status);
    }
}

// Whether the control block is attached, as a flag the caller may set.
bool &attachmentOf(void *controlBlock) {
    for (auto &entry : state.attached) {
        if (entry.first == controlBlock) {
            return entry.second;
        }
    }
    state.attached.emplace_back(controlBlock, false);
    return state.attached.back().second;
}

// The length of a long run: short mostly; one of `longRuns` (a capacity's edges and past it)
// when the choosing byte is one of the last four.
int32_t runLength(int32_t shortest, const int32_t (&longRuns)[4]) {
    const uint8_t choice = state.data->ConsumeIntegral<uint8_t>();
    if (choice >= FIRST_LONG_RUN) {
        return longRuns[choice - FIRST_LONG_RUN];
    }
    return state.data->ConsumeIntegralInRange<int32_t>(shortest, SHORT_RUN);
}

// Writes what the fuzzer says into a record buffer of `room` bytes, never past it.
void fillRecord(unsigned char *record, size_t room) {
    if (exhausted()) {
        std::memset(record, 0, room);
        return;
    }
    uint8_t mode = state.data->ConsumeIntegral<uint8_t>();
    switch (mode % 5) {
    case 0:
    case 1: {
        if (mode % 5 == 0) {
            std::memset(record, 0, room);
        }
        size_t length = state.data->ConsumeIntegralInRange<size_t>(0, room);
        std::vector<uint8_t> bytes = state.data->ConsumeBytes<uint8_t>(length);
        copyBytes(record, bytes);
        break;
    }
    case 2: // one byte everywhere: with a nonzero byte no text of the record has an end
        std::memset(record, state.data->ConsumeIntegral<uint8_t>(), room);
        break;
    case 3: // the buffer stays as it was
        break;
    default: { // a few bytes at a chosen offset of a zeroed record
        std::memset(record, 0, room);
        size_t at = state.data->ConsumeIntegralInRange<size_t>(0, room - 1);
        size_t length = state.data->ConsumeIntegralInRange<size_t>(0, room - at);
        std::vector<uint8_t> bytes = state.data->ConsumeBytes<uint8_t>(length);
        copyBytes(record + at, bytes);
        break;
    }
    }
}

int32_t deliver(HistoryScanBlock *scan, int32_t event, int32_t status) {
    HistoryCallbackFunction callback = scan->callback;
    if (callback == nullptr) {
        fail("history delivery due but the scan block names no callback");
    }
    --state.callbacksLeft;
    noteStatus(status);
    if (status == 0 && event != SCAN_EVENT_IGNORED) {
        ++state.historyBlocks;
    }
    if (status != 0 && (event & 0xFF) == SCAN_EVENT_BLOCK && !holds(state.approxFailures, status)) {
        state.approxFailures.push_back(status);
    }
    state.inCallback = true;
    int32_t result = callback(0, event, deliveryKey(), deliveryBlock(), 0, status, scan);
    state.inCallback = false;
    if (result != 0 && result != 1) {
        fail("the history callback returned neither 0 nor 1");
    }
    if (result == 0) {
        ++state.storedBlocks;
    }
    if (!state.startedStuck) {
        scan->started = 1;
    }
    return result;
}

// The deliveries made from inside one operation 50 or 53.
void makeDeliveries(HistoryScanBlock *scan) {
    if (exhausted()) {
        // A healthy feed that has run out of data says so, which ends the scan; this one
        // delivery is made even when the budget is spent, or the scan could never end.
        std::memcpy(deliveryKey(), state.firstKey, SECURITY_KEY_SIZE);
        std::memset(deliveryBlock(), 0, HISTORY_BLOCK_SIZE);
        if (scan->done == 0) {
            deliver(scan, EVENT_OTHER, END_OF_DATA);
        }
        return;
    }
    FuzzedDataProvider &data = *state.data;
    int descriptors = data.ConsumeIntegralInRange<int>(0, 3);
    for (int d = 0; d < descriptors && !exhausted(); ++d) {
        uint8_t shape = data.ConsumeIntegral<uint8_t>();
        int32_t event = EVENT_OTHER;
        switch (shape & 7) {
        case 4:
            event = SCAN_EVENT_IGNORED;
            break;
        case 5:
            event = SCAN_EVENT_BLOCK;
            break;
        case 6:
            event = 0x100 | SCAN_EVENT_BLOCK; // a block's event in the low byte only
            break;
        case 7:
            event = data.ConsumeIntegral<int32_t>();
            break;
        default:
            break;
        }
        int32_t status = ((shape >> 3) & 3) == 3 ? pickFailure() : 0;
        int32_t repeat = 1;
        bool ignoreDone = false;
        switch (shape >> 5) {
        case 7: {
            static constexpr int32_t LONG_RUNS[] = {
                HISTORY_CAPACITY_BLOCKS - 1, HISTORY_CAPACITY_BLOCKS, HISTORY_CAPACITY_BLOCKS + 1,
                LONGEST_HISTORY_RUN};
            repeat = runLength(2, LONG_RUNS);
            break;
        }
        case 6:
            ignoreDone = true;
            repeat = data.ConsumeIntegralInRange<int32_t>(1, 4);
            break;
        default:
            break;
        }

        // The key: the scan's own, one that shares its first three symbol characters, or any.
        std::memcpy(deliveryKey(), state.firstKey, SECURITY_KEY_SIZE);
        uint8_t keyKind = data.ConsumeIntegral<uint8_t>() % 4;
        if (keyKind == 2) {
            constexpr size_t SHARED = KEY_SYMBOL_OFFSET + SHARED_SYMBOL_CHARACTERS;
            std::vector<uint8_t> tail = data.ConsumeBytes<uint8_t>(SECURITY_KEY_SIZE - SHARED);
            copyBytes(deliveryKey() + SHARED, tail);
        } else if (keyKind == 3) {
            std::vector<uint8_t> any = data.ConsumeBytes<uint8_t>(SECURITY_KEY_SIZE);
            copyBytes(deliveryKey(), any);
        }
        if (data.ConsumeBool()) {
            std::memset(deliveryBlock(), 0, HISTORY_BLOCK_SIZE);
            std::vector<uint8_t> block = data.ConsumeBytes<uint8_t>(
                data.ConsumeIntegralInRange<size_t>(0, HISTORY_BLOCK_SIZE));
            copyBytes(deliveryBlock(), block);
        } else {
            std::memset(deliveryBlock(), data.ConsumeIntegral<uint8_t>(), HISTORY_BLOCK_SIZE);
        }

        for (int32_t r = 0; r < repeat && state.callbacksLeft > 0; ++r) {
            if (scan->done != 0 && !ignoreDone) {
                break;
            }
            deliver(scan, event, status);
        }
    }
}

int32_t scanOperation(int32_t operation, void *key, void *record) {
    if (record == nullptr) {
        fail("history scan operation without its scan block");
    }
    touch(record, sizeof(HistoryScanBlock));
    auto *scan = static_cast<HistoryScanBlock *>(record);
    if (operation == DBA_GET_APPROX) {
        if (scan->mode == SCAN_MODE_POSITION) {
            if (key == nullptr) {
                fail("positioning read without a key");
            }
            touch(key, SECURITY_KEY_SIZE);
            std::memcpy(state.firstKey, key, SECURITY_KEY_SIZE);
            scan->started = 0;
        } else if (key != nullptr) {
            touch(key, SCAN_NEXT_KEY_SIZE);
        }
    }
    int32_t status = pickStatus();
    if (status == 0) {
        makeDeliveries(scan);
    }
    return status;
}

int32_t barNextBlock(void *key, void *record) {
    if (key == nullptr || record == nullptr) {
        fail("bar block read without its key or block buffer");
    }
    touch(key, SECURITY_RECORD_SIZE);
    touch(record, BAR_BLOCK_BUFFER_SIZE);
    if (state.barRepeatsLeft > 0) {
        --state.barRepeatsLeft;
        ++state.barBlocks;
        return 0;
    }
    if (exhausted()) {
        return END_OF_DATA;
    }
    uint8_t shape = state.data->ConsumeIntegral<uint8_t>();
    if (shape >= 0xF0) {
        // A long run of blocks: this one and the next ones leave the buffer as it is.
        static constexpr int32_t LONG_RUNS[] = {BAR_CAPACITY_BLOCKS - 2, BAR_CAPACITY_BLOCKS - 1,
                                                BAR_CAPACITY_BLOCKS, LONGEST_BAR_RUN};
        state.barRepeatsLeft = runLength(1, LONG_RUNS);
        ++state.barBlocks;
        return 0;
    }
    if (shape >= 0xC0) {
        return pickFailure();
    }
    fillRecord(static_cast<unsigned char *>(record), BAR_BLOCK_BUFFER_SIZE);
    ++state.barBlocks;
    return 0;
}

} // namespace

void fail(const char *what) {
    std::fprintf(stderr, "fuzz feed: %s (request %d, feed call %d)\n", what,
                 static_cast<int>(state.request), static_cast<int>(state.calls));
    std::abort();
}

void beginCall(FuzzedDataProvider *data, int32_t requestCode) {
    state.data = data;
    state.request = requestCode;
    state.calls = 0;
    state.attached.clear();
    state.statuses.clear();
    state.approxFailures.clear();
    state.inCallback = false;
    state.startedStuck =
        data != nullptr && data->remaining_bytes() > 0 && data->ConsumeIntegral<uint8_t>() == 0xA5;
    std::memset(state.firstKey, ' ', SECURITY_KEY_SIZE);
    state.callbacksLeft = CALLBACK_BUDGET;
    state.barRepeatsLeft = 0;
    state.historyBlocks = 0;
    state.barBlocks = 0;
    state.storedBlocks = 0;
    static bool statsWanted =
        std::getenv("QUORVEX_FUZZ_STATS") != nullptr && std::atexit(printTotals) == 0;
    (void)statsWanted;
}

int32_t endCall() {
    if (state.inCallback) {
        fail("the module left the feed's callback frame without returning (raised inside it)");
    }
    for (const auto &entry : state.attached) {
        if (entry.second) {
            fail("the call ended with the feed still attached");
        }
    }
    state.data = nullptr;
    ++totals.calls;
    if (state.request == BAR_REQUEST && state.calls > 0) {
        ++totals.barSeries;
    }
    if (state.historyBlocks > HISTORY_CAPACITY_BLOCKS) {
        ++totals.historyPastCapacity;
    }
    if (state.barBlocks > BAR_CAPACITY_BLOCKS) {
        ++totals.barsPastCapacity;
    }
    if (state.historyBlocks > totals.longestHistory) {
        totals.longestHistory = state.historyBlocks;
    }
    if (state.barBlocks > totals.longestBars) {
        totals.longestBars = state.barBlocks;
    }
    return state.calls;
}

bool statusWasReturned(int32_t status) {
    return holds(state.statuses, status);
}

bool approxFailureDelivered(int32_t status) {
    return holds(state.approxFailures, status);
}

int32_t callCount() {
    return state.calls;
}

int64_t storedHistoryBlocks() {
    return state.storedBlocks;
}

int64_t deliveredBarBlocks() {
    return state.barBlocks;
}

int32_t DBA_CALL dbax(void *controlBlock, int32_t operation, void *key, void *record,
                      int32_t parameter) {
    (void)parameter;
    if (state.inCallback) {
        fail("the callback called the feed");
    }
    if (controlBlock == nullptr) {
        fail("feed call without a control block");
    }
    touch(controlBlock, sizeof(FeedControlBlock));
    ++state.calls;
    bool &attached = attachmentOf(controlBlock);

    if (operation == DBA_ATTACH) {
        if (attached) {
            fail("attach on a control block that is already attached");
        }
        int32_t status = pickStatus();
        noteStatus(status);
        attached = status == 0;
        return status;
    }
    if (operation == DBA_DETACH) {
        // Whatever the feed then says, the attachment is closed.
        attached = false;
        int32_t status = pickStatus();
        noteStatus(status);
        return status;
    }
    if (!attached) {
        fail("feed call on a control block that is not attached");
    }

    int32_t status = 0;
    switch (operation) {
    case DBA_GET_RECORD:
    case DBA_GET_RECORD_EXT:
    case DBA_GET_VERSION:
    case DBA_GET_FIRST_BLOCK: {
        size_t room = operation == DBA_GET_FIRST_BLOCK ? BAR_BLOCK_BUFFER_SIZE : RECORD_BUFFER_SIZE;
        if (operation == DBA_GET_RECORD && state.request == BAR_REQUEST) {
            room = SECURITY_RECORD_SIZE;
        }
        size_t keySize = 0;
        if (operation == DBA_GET_RECORD) {
            keySize = state.request == BAR_REQUEST ? BAR_KEY_SIZE : SECURITY_KEY_SIZE;
        } else if (operation == DBA_GET_RECORD_EXT) {
            keySize = TAGGED_KEY_SIZE;
        } else if (operation == DBA_GET_FIRST_BLOCK) {
            keySize = SECURITY_RECORD_SIZE;
        }
        if (record == nullptr || (keySize > 0 && key == nullptr)) {
            fail("record read without its key or record buffer");
        }
        touch(key, keySize);
        touch(record, room);
        status = pickStatus();
        fillRecord(static_cast<unsigned char *>(record), room);
        if (operation == DBA_GET_FIRST_BLOCK && status == 0) {
            ++state.barBlocks;
        }
        break;
    }
    case DBA_GET_NEXT_BLOCK:
        status = barNextBlock(key, record);
        break;
    case DBA_GET_APPROX:
    case DBA_WAIT_APPROX:
        status = scanOperation(operation, key, record);
        break;
    default:
        fail("unknown operation code");
    }
    noteStatus(status);
    return status;
}

} // namespace fuzzfeed
