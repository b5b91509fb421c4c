#include "scripted_feed.h"

#include "pcqw32_layout.h"

#include <cstring>
#include <deque>
#include <utility>

namespace scripted {
namespace {

struct State {
    std::map<int32_t, std::deque<Answer>> queues;
    std::map<int32_t, Answer> always;
    std::map<int32_t, size_t> keyLengths;
    std::vector<Call> log;
    std::map<void *, int32_t> attached;
    bool cdeclCallback = false;
};

State &state() {
    static State s;
    return s;
}

#if defined(_WIN32) && !defined(_WIN64)
using CdeclCallback = int32_t(__cdecl *)(int32_t, int32_t, const void *, const void *, int32_t,
                                         int32_t, void *);
#endif

int32_t callBack(HistoryScanBlock *scan, int32_t eventCode, const void *key, const void *block,
                 int32_t status) {
#if defined(_WIN32) && !defined(_WIN64)
    if (state().cdeclCallback) {
        CdeclCallback callback;
        std::memcpy(&callback, &scan->callback, sizeof callback);
        return callback(0, eventCode, key, block, 0, status, scan);
    }
#endif
    return scan->callback(0, eventCode, key, block, 0, status, scan);
}

size_t keyLength(int32_t operation, const HistoryScanBlock *scan) {
    auto found = state().keyLengths.find(operation);
    if (found != state().keyLengths.end()) {
        return found->second;
    }
    switch (operation) {
    case DBA_GET_RECORD:
        return SECURITY_KEY_SIZE;
    case DBA_GET_RECORD_EXT:
        return TAGGED_KEY_SIZE;
    case DBA_GET_FIRST_BLOCK:
    case DBA_GET_NEXT_BLOCK:
        return SECURITY_RECORD_SIZE;
    case DBA_GET_APPROX:
        return scan != nullptr && scan->mode == SCAN_MODE_POSITION ? SECURITY_KEY_SIZE : 0;
    default:
        return 0;
    }
}

Answer nextAnswer(int32_t operation) {
    State &s = state();
    auto &queue = s.queues[operation];
    if (!queue.empty()) {
        Answer next = std::move(queue.front());
        queue.pop_front();
        return next;
    }
    auto found = s.always.find(operation);
    return found != s.always.end() ? found->second : Answer{};
}

} // namespace

void setCdeclCallback(bool useCdecl) {
    state().cdeclCallback = useCdecl;
}

void reset() {
    state() = State{};
}

void answer(int32_t operation, Answer next) {
    state().queues[operation].push_back(std::move(next));
}

void answer(int32_t operation, int32_t status, Bytes record) {
    Answer next;
    next.status = status;
    next.record = std::move(record);
    answer(operation, std::move(next));
}

void answerAlways(int32_t operation, Answer every) {
    state().always[operation] = std::move(every);
}

void setKeyLength(int32_t operation, size_t length) {
    state().keyLengths[operation] = length;
}

const std::vector<Call> &calls() {
    return state().log;
}

std::vector<int32_t> operations() {
    std::vector<int32_t> out;
    for (const Call &call : state().log) {
        out.push_back(call.operation);
    }
    return out;
}

int32_t openAttachments() {
    int32_t open = 0;
    for (const auto &entry : state().attached) {
        open += entry.second;
    }
    return open;
}

int32_t DBA_CALL dbax(void *controlBlock, int32_t operation, void *key, void *record,
                      int32_t parameter) {
    State &s = state();
    bool scanning = operation == DBA_GET_APPROX || operation == DBA_WAIT_APPROX;
    auto *scan = scanning ? static_cast<HistoryScanBlock *>(record) : nullptr;

    Call call;
    call.operation = operation;
    call.block = controlBlock;
    call.keyGiven = key != nullptr;
    call.recordGiven = record != nullptr;
    call.parameter = parameter;
    if (key != nullptr) {
        const auto *bytes = static_cast<const unsigned char *>(key);
        call.key.assign(bytes, bytes + keyLength(operation, scan));
    }
    if (scan != nullptr) {
        call.callbackSet = scan->callback != nullptr;
        call.scanReserved4 = scan->reserved4;
        call.scanDone = scan->done;
        call.scanMode = scan->mode;
        call.scanReserved8 = scan->reserved8;
        call.scanStarted = scan->started;
        if (operation == DBA_GET_APPROX && scan->mode == SCAN_MODE_POSITION) {
            scan->started = 0;
        }
    }

    Answer reply = nextAnswer(operation);
    if (reply.status == 0) {
        if (operation == DBA_ATTACH) {
            s.attached[controlBlock] += 1;
        } else if (operation == DBA_DETACH && s.attached[controlBlock] > 0) {
            s.attached[controlBlock] -= 1;
        }
    }
    if (!reply.record.empty() && record != nullptr && !scanning) {
        std::memcpy(record, reply.record.data(), reply.record.size());
    }
    for (const Delivery &delivery : reply.deliveries) {
        if (scan == nullptr || scan->callback == nullptr) {
            break;
        }
        Bytes keyBytes = delivery.key;
        keyBytes.resize(SECURITY_KEY_SIZE, ' ');
        Bytes blockBytes = delivery.block;
        blockBytes.resize(HISTORY_BLOCK_SIZE, 0);
        int32_t result =
            callBack(scan, delivery.eventCode, keyBytes.data(), blockBytes.data(), delivery.status);
        call.callbackResults.push_back(result);
        scan->started = 1;
    }
    s.log.push_back(std::move(call));
    return reply.status;
}

} // namespace scripted
