// The simulated PCQW32 feed library: `dbax` serves every operation from the SQLite store of
// the attached database, and the query API beside it reports and steers what happens.
//
// State lives per control block: the attachment made by DBA_ATTACH on a block address holds
// the open store, the per-operation call counters used by nth-call faults, the history scan
// position and the bar cursor. Nothing is kept inside the caller's 256 control block bytes.

#include "dbax.h"
#include "faults.h"
#include "pcqw32_sim.h"
#include "recorder.h"
#include "records.h"
#include "store.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

using namespace pcqw32;

namespace {

struct Attachment {
    int32_t db = 0;
    std::unique_ptr<StoreReader> store;
    std::map<int32_t, int32_t> calls; // per operation, within this attachment
    int32_t deliveries = 0;           // block and status deliveries, 52 events excluded

    // History scan.
    bool scanPositioned = false;
    bool scanPending = false;     // a get-approx read waits for its delivery
    bool scanHasSecurity = false; // false once the data has run out
    bool scanFailed = false;      // the store could not be read: every delivery reports it
    std::string scanError;
    SecurityInfo scanSecurity;
    unsigned char scanKey[SECURITY_KEY_SIZE] =
        {}; // key of the last delivery (or of the positioning)

    // Bar cursor.
    bool barsStarted = false;
    int64_t barSecurity = 0;
    int32_t barBlocks = 0;
};

struct State {
    std::recursive_mutex mutex;
    std::map<const void *, std::unique_ptr<Attachment>> attachments;
    int32_t abandoned = 0;
    int32_t attachCalls = 0; // for nth faults on DBA_ATTACH, counted for the process
    std::map<int32_t, int32_t> callCounts;
    int32_t totalCalls = 0;
    std::vector<FaultRule> apiFaults;
    std::vector<FaultRule> envFaults;
    bool hasDataDir = false;
    std::string dataDir;
    std::string lastError;

    ~State() {
        const char *report = std::getenv("PCQW32_REPORT");
        if (report && *report) {
            std::fprintf(stderr, "PCQW32: %d attachment(s) open at exit (%d abandoned)\n",
                         static_cast<int>(openCount()), static_cast<int>(abandoned));
        }
    }
    int32_t openCount() const {
        return static_cast<int32_t>(attachments.size()) + abandoned + recorderOpenAttachments();
    }
};

State &state() {
    static State s;
    return s;
}

int32_t fail(int32_t status, const std::string &message) {
    state().lastError = message;
    return status;
}

std::string libraryFolder() {
#if defined(_WIN32)
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&libraryFolder), &module)) {
        return ".";
    }
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
    std::string p(path, n);
#else
    Dl_info info;
    if (!dladdr(reinterpret_cast<void *>(&libraryFolder), &info) || !info.dli_fname) {
        return ".";
    }
    std::string p(info.dli_fname);
#endif
    const std::size_t slash = p.find_last_of("/\\");
    return slash == std::string::npos ? std::string(".") : p.substr(0, slash);
}

std::string dataFolder() {
    State &s = state();
    if (s.hasDataDir) {
        return s.dataDir;
    }
    const char *env = std::getenv("PCQW32_DATA_DIR");
    if (env && *env) {
        return env;
    }
    return libraryFolder() + "/pcqw32-data";
}

// The status of the first fault that matches this call, or 0. Faults from code come first,
// then those of PCQW32_FAULTS.
int32_t findFault(int32_t point, int32_t nth, const std::string *symbol,
                  const std::string *qualifier, int32_t *event = nullptr) {
    const State &s = state();
    for (const std::vector<FaultRule> *list : {&s.apiFaults, &s.envFaults}) {
        if (const FaultRule *f = matchFault(*list, point, nth, symbol, qualifier)) {
            if (event) {
                *event = f->event;
            }
            return f->status;
        }
    }
    return 0;
}

// A read that SQLite failed (a damaged, unreadable or locked file), with the file and SQLite's
// message; `what` names the data the read was after.
int32_t unreadable(const Attachment &a, const std::string &what) {
    return fail(PCQW32_STORE_UNREADABLE,
                "the store cannot be read (" + what + "): " + a.store->error());
}

int32_t injected(int32_t status, int32_t operation) {
    return fail(status, "fault injected on operation " + std::to_string(operation));
}

int32_t attach(void *block, int32_t db) {
    State &s = state();
    auto existing = s.attachments.find(block);
    if (existing != s.attachments.end()) {
        // The caller reuses a block it never detached: that attachment stays open for good.
        ++s.abandoned;
        s.attachments.erase(existing);
    }
    ++s.attachCalls;
    const char *env = std::getenv("PCQW32_FAULTS");
    s.envFaults.clear();
    std::string parseError;
    if (env && !parseFaultList(env, s.envFaults, parseError)) {
        std::fprintf(stderr, "PCQW32: PCQW32_FAULTS: %s\n", parseError.c_str());
        s.envFaults.clear();
        return fail(PCQW32_BAD_ARGUMENT, "PCQW32_FAULTS: " + parseError);
    }
    if (int32_t st = findFault(DBA_ATTACH, s.attachCalls, nullptr, nullptr)) {
        return injected(st, DBA_ATTACH);
    }
    auto a = std::make_unique<Attachment>();
    a->db = db;
    a->store = std::make_unique<StoreReader>();
    if (int32_t st = a->store->open(databasePath(dataFolder(), db))) {
        return fail(st, a->store->error());
    }
    s.attachments[block] = std::move(a);
    return PCQW32_OK;
}

int32_t countCall(Attachment &a, int32_t operation) {
    return ++a.calls[operation];
}

int32_t detach(void *block, Attachment &a) {
    const int32_t nth = countCall(a, DBA_DETACH);
    if (int32_t st = findFault(DBA_DETACH, nth, nullptr, nullptr)) {
        return injected(st, DBA_DETACH);
    }
    state().attachments.erase(block);
    return PCQW32_OK;
}

int32_t getVersion(Attachment &a, void *record) {
    const int32_t nth = countCall(a, DBA_GET_VERSION);
    if (!record) {
        return fail(PCQW32_BAD_ARGUMENT, "DBA_GET_VERSION without a record buffer");
    }
    if (int32_t st = findFault(DBA_GET_VERSION, nth, nullptr, nullptr)) {
        return injected(st, DBA_GET_VERSION);
    }
    VersionValues v;
    const Lookup found = a.store->readVersion(v);
    if (found == Lookup::FAILED) {
        return unreadable(a, "the version");
    }
    if (found == Lookup::ABSENT) {
        return fail(PCQW32_KEY_NOT_FOUND, "the store holds no version");
    }
    unsigned char out[RECORD_BUFFER_SIZE];
    if (EncodeError e = encodeVersion(v, out)) {
        return fail(PCQW32_VALUE_RANGE, "version: " + e.message);
    }
    std::memcpy(record, out, sizeof out);
    return PCQW32_OK;
}

int32_t getRecord(Attachment &a, const unsigned char *key, void *record) {
    const int32_t nth = countCall(a, DBA_GET_RECORD);
    if (!key || !record) {
        return fail(PCQW32_BAD_ARGUMENT, "DBA_GET_RECORD without a key or record buffer");
    }
    const std::string symbol = keySymbol(key), qualifier = keyQualifier(key);
    if (int32_t st = findFault(DBA_GET_RECORD, nth, &symbol, &qualifier)) {
        return injected(st, DBA_GET_RECORD);
    }
    SecurityInfo sec;
    const Lookup known = a.store->findSecurity(key, sec);
    if (known == Lookup::FAILED) {
        return unreadable(a, "security \"" + symbol + "\"/\"" + qualifier + "\"");
    }
    if (known == Lookup::ABSENT) {
        return fail(PCQW32_KEY_NOT_FOUND, "no security \"" + symbol + "\"/\"" + qualifier + "\"");
    }
    unsigned char out[SECURITY_RECORD_SIZE];
    std::size_t handle = 0;
    if (a.store->kind() == RecordKind::QUOTE) {
        QuoteValues v;
        const Lookup found = a.store->readQuote(sec.id, v);
        if (found == Lookup::FAILED) {
            return unreadable(a, "the quote of \"" + symbol + "\"");
        }
        if (found == Lookup::ABSENT) {
            return fail(PCQW32_KEY_NOT_FOUND, "no quote for \"" + symbol + "\"");
        }
        if (EncodeError e = encodeQuote(v, out)) {
            return fail(PCQW32_VALUE_RANGE, "quote of \"" + symbol + "\": " + e.message);
        }
        handle = QUOTE_HANDLE_OFFSET;
    } else {
        FundamentalsValues v;
        const Lookup found = a.store->readFundamentals(sec.id, v);
        if (found == Lookup::FAILED) {
            return unreadable(a, "the fundamentals of \"" + symbol + "\"");
        }
        if (found == Lookup::ABSENT) {
            return fail(PCQW32_KEY_NOT_FOUND, "no fundamentals for \"" + symbol + "\"");
        }
        if (EncodeError e = encodeFundamentals(v, out)) {
            return fail(PCQW32_VALUE_RANGE, "fundamentals of \"" + symbol + "\": " + e.message);
        }
        handle = FUNDAMENTALS_HANDLE_OFFSET;
    }
    writeU32(out, handle + HANDLE_ID_AT, static_cast<uint32_t>(sec.id));
    std::memcpy(record, out, sizeof out);
    return PCQW32_OK;
}

int32_t getRecordExt(Attachment &a, const unsigned char *key, void *record) {
    const int32_t nth = countCall(a, DBA_GET_RECORD_EXT);
    if (!key || !record) {
        return fail(PCQW32_BAD_ARGUMENT, "DBA_GET_RECORD_EXT without a key or record buffer");
    }
    if (std::memcmp(key + KEY_TAG_OFFSET, KEY_TAG, KEY_TAG_SIZE) != 0) {
        return fail(PCQW32_BAD_TAG, "extended key without the tag CANT");
    }
    const std::string symbol = keySymbol(key), qualifier = keyQualifier(key);
    if (int32_t st = findFault(DBA_GET_RECORD_EXT, nth, &symbol, &qualifier)) {
        return injected(st, DBA_GET_RECORD_EXT);
    }
    SecurityInfo sec;
    CantValues v;
    Lookup found = a.store->findSecurity(key, sec);
    if (found == Lookup::FOUND) {
        found = a.store->readCant(sec.id, v);
    }
    if (found == Lookup::FAILED) {
        return unreadable(a, "the CANT record of \"" + symbol + "\"");
    }
    if (found == Lookup::ABSENT) {
        return fail(PCQW32_KEY_NOT_FOUND, "no CANT record for \"" + symbol + "\"");
    }
    unsigned char out[CANT_RECORD_SIZE];
    if (EncodeError e = encodeCant(sec.key, v, out)) {
        return fail(PCQW32_VALUE_RANGE, "CANT record of \"" + symbol + "\": " + e.message);
    }
    std::memcpy(record, out, sizeof out);
    return PCQW32_OK;
}

// The security a block read names through the security record it is given.
Lookup recordSecurity(Attachment &a, const unsigned char *record, SecurityInfo &sec) {
    const bool quote = a.store->kind() == RecordKind::QUOTE;
    const std::size_t at = quote ? QUOTE_HANDLE_OFFSET : FUNDAMENTALS_HANDLE_OFFSET;
    if (std::memcmp(record + at, quote ? QUOTE_HANDLE_TAG : FUNDAMENTALS_HANDLE_TAG,
                    HANDLE_TAG_SIZE) != 0) {
        return Lookup::ABSENT;
    }
    return a.store->securityById(readU32(record, at + HANDLE_ID_AT), sec);
}

int32_t barBlock(Attachment &a, int32_t operation, const unsigned char *key, void *record) {
    const int32_t nth = countCall(a, operation);
    if (!key || !record) {
        return fail(PCQW32_BAD_ARGUMENT, "block read without a key or block buffer");
    }
    SecurityInfo sec;
    const Lookup found = recordSecurity(a, key, sec);
    if (found == Lookup::FAILED) {
        return unreadable(a, "the security of a block read");
    }
    if (found == Lookup::ABSENT) {
        return fail(PCQW32_BAD_SECURITY_RECORD, "block read key is not a security record");
    }
    if (int32_t st = findFault(operation, nth, &sec.symbol, &sec.qualifier)) {
        return injected(st, operation);
    }
    if (operation == DBA_GET_FIRST_BLOCK) {
        a.store->startBars(sec.id);
        a.barsStarted = true;
        a.barSecurity = sec.id;
        a.barBlocks = 0;
    } else if (!a.barsStarted || a.barSecurity != sec.id) {
        return fail(PCQW32_NOT_POSITIONED, "DBA_GET_NEXT_BLOCK without DBA_GET_FIRST_BLOCK");
    }
    if (static_cast<std::size_t>(a.barBlocks) >= BAR_MAX_BLOCKS) {
        return fail(PCQW32_END_OF_DATA, "bar series at its 75000-row limit");
    }
    BarRow rows[BAR_BLOCK_RECORDS];
    const int n = a.store->nextBars(rows, static_cast<int>(BAR_BLOCK_RECORDS));
    if (n < 0) {
        return unreadable(a, "the bars of \"" + sec.symbol + "\"");
    }
    if (n == 0) {
        return fail(PCQW32_END_OF_DATA, "no further bars for \"" + sec.symbol + "\"");
    }
    unsigned char out[BAR_BLOCK_SIZE];
    if (EncodeError e = encodeBarBlock(rows, n, out)) {
        return fail(PCQW32_VALUE_RANGE, "bars of \"" + sec.symbol + "\": " + e.message);
    }
    ++a.barBlocks;
    std::memcpy(record, out, sizeof out);
    return PCQW32_OK;
}

// A function of its own, so that in a build without a frame pointer a callback of the other
// convention leaves it a wrong stack pointer to return through (a crash, as with the feeds
// MSVC builds) rather than one that the caller's frame pointer repairs.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
int32_t
callBack(HistoryScanBlock *sb, int32_t event, const unsigned char *key, const unsigned char *block,
         int32_t status) {
    return sb->callback(0, event, key, block, 0, status, sb);
}

// Makes the one delivery a get-approx read is owed: the next block of the current security,
// the first block of the next security with history once it is finished, or end of data.
int32_t deliver(Attachment &a, HistoryScanBlock *sb) {
    a.scanPending = false;
    static const unsigned char EMPTY_BLOCK[HISTORY_BLOCK_SIZE] = {};
    const int32_t every = a.store->event52Every();
    if (every > 0 && a.deliveries % every == 0) {
        callBack(sb, SCAN_EVENT_IGNORED, a.scanKey, EMPTY_BLOCK, 0);
    }
    const int32_t nth = ++a.deliveries;
    int32_t event = 0;
    const std::string *symbol = a.scanHasSecurity ? &a.scanSecurity.symbol : nullptr;
    const std::string *qualifier = a.scanHasSecurity ? &a.scanSecurity.qualifier : nullptr;
    if (int32_t st = findFault(PCQW32_POINT_DELIVERY, nth, symbol, qualifier, &event)) {
        callBack(sb, event, a.scanKey, EMPTY_BLOCK, st);
        sb->started = 1;
        return PCQW32_OK;
    }
    HistoryRow rows[HISTORY_BLOCK_RECORDS];
    int n = 0;
    while (a.scanHasSecurity && !a.scanFailed) {
        n = a.store->nextHistory(rows, static_cast<int>(HISTORY_BLOCK_RECORDS));
        if (n > 0) {
            break;
        }
        SecurityInfo next;
        const Lookup found =
            n < 0 ? Lookup::FAILED : a.store->historySecurityFrom(a.scanSecurity.key, true, next);
        if (found == Lookup::FAILED) {
            a.scanFailed = true;
            a.scanError = "the store cannot be read (the history scan at \"" +
                          a.scanSecurity.symbol + "\"): " + a.store->error();
            break;
        }
        a.scanHasSecurity = found == Lookup::FOUND;
        if (a.scanHasSecurity) {
            a.scanSecurity = next;
            a.store->startHistory(next.id);
        }
    }
    if (a.scanFailed) {
        // Unlike the end of the data, a store that cannot be read is a failed delivery (event
        // 2), and so is every later one: the rows after the damage are not there to deliver.
        fail(PCQW32_STORE_UNREADABLE, a.scanError);
        callBack(sb, SCAN_EVENT_BLOCK, a.scanKey, EMPTY_BLOCK, PCQW32_STORE_UNREADABLE);
        sb->started = 1;
        return PCQW32_OK;
    }
    if (!a.scanHasSecurity) {
        // Running out of data is how a scan of the last security ends, not a failure: a
        // client reports failed deliveries of event 2 only, so this one carries another code.
        callBack(sb, SCAN_EVENT_END_OF_DATA, a.scanKey, EMPTY_BLOCK, PCQW32_END_OF_DATA);
        sb->started = 1;
        return PCQW32_OK;
    }
    std::memcpy(a.scanKey, a.scanSecurity.key, SECURITY_KEY_SIZE);
    unsigned char block[HISTORY_BLOCK_SIZE];
    if (EncodeError e = encodeHistoryBlock(rows, n, block)) {
        fail(PCQW32_VALUE_RANGE, "history of \"" + a.scanSecurity.symbol + "\": " + e.message);
        callBack(sb, SCAN_EVENT_BLOCK, a.scanKey, EMPTY_BLOCK, PCQW32_VALUE_RANGE);
    } else {
        callBack(sb, SCAN_EVENT_BLOCK, a.scanKey, block, 0);
    }
    sb->started = 1;
    return PCQW32_OK;
}

int32_t getApprox(Attachment &a, const unsigned char *key, void *record) {
    const int32_t nth = countCall(a, DBA_GET_APPROX);
    auto *sb = static_cast<HistoryScanBlock *>(record);
    if (!sb) {
        return fail(PCQW32_BAD_ARGUMENT, "DBA_GET_APPROX without a scan block");
    }
    if (sb->mode == SCAN_MODE_POSITION) {
        if (!key) {
            return fail(PCQW32_BAD_ARGUMENT, "positioning DBA_GET_APPROX without a key");
        }
        const std::string symbol = keySymbol(key), qualifier = keyQualifier(key);
        if (int32_t st = findFault(DBA_GET_APPROX, nth, &symbol, &qualifier)) {
            return injected(st, DBA_GET_APPROX);
        }
        const Lookup found = a.store->historySecurityFrom(key, false, a.scanSecurity);
        a.scanPositioned = found != Lookup::FAILED;
        a.scanPending = a.scanPositioned;
        a.scanFailed = false;
        if (found == Lookup::FAILED) {
            return unreadable(a, "the first history at \"" + symbol + "\"/\"" + qualifier + "\"");
        }
        std::memcpy(a.scanKey, key, SECURITY_KEY_SIZE);
        a.scanHasSecurity = found == Lookup::FOUND;
        if (a.scanHasSecurity) {
            a.store->startHistory(a.scanSecurity.id);
        }
        sb->started = 0;
        return PCQW32_OK;
    }
    if (sb->mode != SCAN_MODE_NEXT) {
        return fail(PCQW32_BAD_MODE, "scan block mode " + std::to_string(sb->mode));
    }
    if (!a.scanPositioned) {
        return fail(PCQW32_NOT_POSITIONED, "get-next DBA_GET_APPROX before positioning");
    }
    const std::string *symbol = a.scanHasSecurity ? &a.scanSecurity.symbol : nullptr;
    const std::string *qualifier = a.scanHasSecurity ? &a.scanSecurity.qualifier : nullptr;
    if (int32_t st = findFault(DBA_GET_APPROX, nth, symbol, qualifier)) {
        return injected(st, DBA_GET_APPROX);
    }
    if (a.scanPending) {
        // The previous read was never waited for: its delivery comes first.
        if (!sb->callback) {
            return fail(PCQW32_BAD_ARGUMENT, "scan block without a callback");
        }
        deliver(a, sb);
    }
    a.scanPending = true;
    return PCQW32_OK;
}

int32_t waitApprox(Attachment &a, void *record) {
    const int32_t nth = countCall(a, DBA_WAIT_APPROX);
    auto *sb = static_cast<HistoryScanBlock *>(record);
    if (!sb || !sb->callback) {
        return fail(PCQW32_BAD_ARGUMENT, "DBA_WAIT_APPROX without a scan block or callback");
    }
    const std::string *symbol = a.scanHasSecurity ? &a.scanSecurity.symbol : nullptr;
    const std::string *qualifier = a.scanHasSecurity ? &a.scanSecurity.qualifier : nullptr;
    if (int32_t st = findFault(DBA_WAIT_APPROX, nth, symbol, qualifier)) {
        return injected(st, DBA_WAIT_APPROX);
    }
    if (!a.scanPositioned || !a.scanPending) {
        return fail(PCQW32_NOT_POSITIONED, "DBA_WAIT_APPROX with no read outstanding");
    }
    return deliver(a, sb);
}

int32_t dispatch(void *block, int32_t operation, void *key, void *record, int32_t parameter) {
    State &s = state();
    if (!block) {
        return fail(PCQW32_BAD_ARGUMENT, "null control block");
    }
    if (operation == DBA_ATTACH) {
        return attach(block, parameter);
    }
    auto found = s.attachments.find(block);
    if (found == s.attachments.end()) {
        return fail(PCQW32_NOT_ATTACHED,
                    "operation " + std::to_string(operation) + " on a block not attached");
    }
    Attachment &a = *found->second;
    const auto *k = static_cast<const unsigned char *>(key);
    switch (operation) {
    case DBA_DETACH:
        return detach(block, a);
    case DBA_GET_VERSION:
        return getVersion(a, record);
    case DBA_GET_RECORD:
        return getRecord(a, k, record);
    case DBA_GET_RECORD_EXT:
        return getRecordExt(a, k, record);
    case DBA_GET_FIRST_BLOCK:
    case DBA_GET_NEXT_BLOCK:
        return barBlock(a, operation, k, record);
    case DBA_GET_APPROX:
        return getApprox(a, k, record);
    case DBA_WAIT_APPROX:
        return waitApprox(a, record);
    default:
        return fail(PCQW32_BAD_OPERATION, "operation " + std::to_string(operation));
    }
}

// Control blocks of recording and replay sessions are answered by the recorder (recorder.h);
// an attach it takes over ends whatever attachment of the simulator's own the block had.
int32_t recordOrDispatch(void *block, int32_t operation, void *key, void *record,
                         int32_t parameter) {
    int32_t status = 0;
    std::string error;
    if (!recorderCall(block, operation, key, record, parameter,
                      operation == DBA_ATTACH ? dataFolder() : std::string(), status, error)) {
        return dispatch(block, operation, key, record, parameter);
    }
    State &s = state();
    auto existing = operation == DBA_ATTACH ? s.attachments.find(block) : s.attachments.end();
    if (existing != s.attachments.end()) {
        ++s.abandoned;
        s.attachments.erase(existing);
    }
    return status == 0 ? status : fail(status, error);
}

void copyText(const std::string &text, char *buffer, int32_t size) {
    if (buffer && size > 0) {
        const std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
        std::memcpy(buffer, text.data(), n);
        buffer[n] = 0;
    }
}

} // namespace

extern "C" PCQW32_SIM_API int32_t DBA_CALL dbax(void *controlBlock, int32_t operation, void *key,
                                                void *record, int32_t parameter) {
    State &s = state();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    const int32_t status = recordOrDispatch(controlBlock, operation, key, record, parameter);
    ++s.callCounts[operation];
    ++s.totalCalls;
    static const bool trace = [] {
        const char *t = std::getenv("PCQW32_TRACE");
        return t && *t;
    }();
    if (trace) {
        std::fprintf(stderr, "PCQW32: dbax(op %d, parameter %d) = %d%s%s\n",
                     static_cast<int>(operation), static_cast<int>(parameter),
                     static_cast<int>(status), status ? ": " : "",
                     status ? s.lastError.c_str() : "");
    }
    return status;
}

extern "C" PCQW32_SIM_API int32_t pcqw32_open_attachments(void) {
    std::lock_guard<std::recursive_mutex> lock(state().mutex);
    return state().openCount();
}

extern "C" PCQW32_SIM_API int32_t pcqw32_abandoned_attachments(void) {
    std::lock_guard<std::recursive_mutex> lock(state().mutex);
    return state().abandoned + recorderAbandonedAttachments();
}

extern "C" PCQW32_SIM_API int32_t pcqw32_call_count(int32_t operation) {
    State &s = state();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    if (operation < 0) {
        return s.totalCalls;
    }
    auto found = s.callCounts.find(operation);
    return found == s.callCounts.end() ? 0 : found->second;
}

extern "C" PCQW32_SIM_API void pcqw32_reset(void) {
    State &s = state();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    s.attachments.clear();
    s.abandoned = 0;
    s.attachCalls = 0;
    s.callCounts.clear();
    s.totalCalls = 0;
    s.apiFaults.clear();
    s.lastError.clear();
    recorderReset();
}

extern "C" PCQW32_SIM_API void pcqw32_set_data_dir(const char *folder) {
    State &s = state();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    s.hasDataDir = folder != nullptr;
    s.dataDir = folder ? folder : "";
}

extern "C" PCQW32_SIM_API int32_t pcqw32_data_dir(char *buffer, int32_t size) {
    std::lock_guard<std::recursive_mutex> lock(state().mutex);
    const std::string folder = dataFolder();
    copyText(folder, buffer, size);
    return static_cast<int32_t>(folder.size());
}

extern "C" PCQW32_SIM_API int32_t pcqw32_add_fault(int32_t point, int32_t status, int32_t nth,
                                                   const char *symbol, const char *qualifier,
                                                   int32_t event) {
    State &s = state();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    if (parsePoint(std::to_string(point)) < 0 || status == 0 || nth < 0) {
        return PCQW32_BAD_ARGUMENT;
    }
    s.apiFaults.push_back(makeFault(point, status, nth, symbol, qualifier, event));
    return PCQW32_OK;
}

extern "C" PCQW32_SIM_API void pcqw32_clear_faults(void) {
    std::lock_guard<std::recursive_mutex> lock(state().mutex);
    state().apiFaults.clear();
}

extern "C" PCQW32_SIM_API int32_t pcqw32_last_error(char *buffer, int32_t size) {
    std::lock_guard<std::recursive_mutex> lock(state().mutex);
    copyText(state().lastError, buffer, size);
    return static_cast<int32_t>(state().lastError.size());
}
