// The recording store's reader over a file copied from another desk. The input describes the
// file: rows of the three recording tables whose every column holds a value of any SQLite
// type (integers, texts, blobs of any length, reals, nulls), written into an empty recording
// store, and then, when the input says so, bytes of the file overwritten anywhere, as a
// damaged copy would have them. The store is opened for replay as the simulator opens it; its
// recordings and calls are read, every call replayed into buffers of exactly the size its
// operation's caller offers and to a callback that reads the whole key and block it is
// handed; every request is looked up again and every run read. The target aborts when:
// - a refusal says nothing of why;
// - a replay reports a status other than the one its call recorded, or writes past a buffer,
//   or hands the callback a key or block shorter than the callback reads (the sanitizer);
// - a request looked up comes back as another operation or another request.
#include "recording.h"
#include "replay.h"
#include "scratch_folder.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

using pcqw32::Bytes;

[[noreturn]] void fail(const std::string &what) {
    std::fprintf(stderr, "recording check: %s\n", what.c_str());
    std::abort();
}

// The store the input is written into and the copy the reader opens. The writer's connection
// stays open for the whole run, so that the schema is parsed and the inserts prepared once:
// each input starts from the empty store's bytes written back over its file (the connection
// sees the file changed at its next transaction and rereads its pages; the schema is the same,
// so it is not parsed again), and the reader opens a fresh copy.
struct Scratch {
    std::string written;
    std::string copied;
    std::string emptyStore;
    sqlite3 *db = nullptr;
    sqlite3_stmt *inserts[3] = {};
};

const char *const INSERTS[3] = {
    "INSERT INTO recordings(id, started, target, mode, version_status, version_major,"
    " version_minor, version_release, version_serial, version_record)"
    " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)",
    "INSERT INTO recorded_calls(id, recording_id, session, run, operation, parameter,"
    " attached, mode, request, key, status, record, scan_reserved4, scan_reserved8,"
    " scan_started) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13,"
    " ?14, ?15)",
    "INSERT INTO recorded_deliveries(call_id, seq, argument1, event, key, block,"
    " argument5, status, scan_reserved4, scan_reserved8, scan_started, result)"
    " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)"};

// An empty recording store, made once with the recorder's own schema.
Scratch &scratch() {
    static Scratch s;
    if (s.db == nullptr) {
        const std::string folder = fuzzscratch::folder("recording_fuzzer");
        s.written = folder + "/written.sqlite";
        s.copied = folder + "/copied.sqlite";
        std::string error;
        if (!pcqw32::RecordingStore::openForRecording(s.written, error)) {
            fail("cannot make an empty recording store: " + error);
        }
        // The recorder's store keeps a write-ahead log; the written file is whole without one.
        sqlite3 *db = nullptr;
        if (sqlite3_open_v2(s.written.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
            sqlite3_exec(db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr) !=
                SQLITE_OK) {
            fail("cannot take the empty store out of its log");
        }
        sqlite3_close(db);
        s.emptyStore = fuzzscratch::readFile(s.written);
        if (sqlite3_open_v2(s.written.c_str(), &s.db, SQLITE_OPEN_READWRITE, nullptr) !=
                SQLITE_OK ||
            sqlite3_exec(s.db, "PRAGMA synchronous=OFF; PRAGMA journal_mode=MEMORY", nullptr,
                         nullptr, nullptr) != SQLITE_OK) {
            fail("cannot open the written store to fill it");
        }
        for (int t = 0; t < 3; ++t) {
            if (sqlite3_prepare_v2(s.db, INSERTS[t], -1, &s.inserts[t], nullptr) != SQLITE_OK) {
                fail(std::string("cannot prepare ") + INSERTS[t] + ": " + sqlite3_errmsg(s.db));
            }
        }
    }
    return s;
}

// Column values: mostly the small integers ids and codes are made of, then anything.
void bindAny(sqlite3_stmt *st, int index, FuzzedDataProvider &data) {
    switch (data.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:
    case 1:
    case 2:
        sqlite3_bind_int64(st, index, data.ConsumeIntegralInRange<int64_t>(-1, 9));
        break;
    case 3:
        sqlite3_bind_int64(st, index, data.ConsumeIntegral<int64_t>());
        break;
    case 4: {
        const Bytes blob =
            data.ConsumeBytes<unsigned char>(data.ConsumeIntegralInRange<size_t>(0, 300));
        sqlite3_bind_blob(st, index, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
        break;
    }
    case 5: {
        const std::string text = data.ConsumeRandomLengthString(40);
        sqlite3_bind_text(st, index, text.c_str(), -1, SQLITE_TRANSIENT);
        break;
    }
    case 6:
        sqlite3_bind_double(st, index, data.ConsumeFloatingPoint<double>());
        break;
    default:
        sqlite3_bind_null(st, index);
        break;
    }
}

// Operation codes come from the feed's own table most of the time, so that calls read their
// deliveries and replay into the record buffers the feed's callers offer.
void bindOperation(sqlite3_stmt *st, int index, FuzzedDataProvider &data) {
    static constexpr int32_t OPERATIONS[] = {
        DBA_ATTACH,         DBA_GET_RECORD,  DBA_GET_RECORD_EXT,
        DBA_DETACH,         DBA_GET_VERSION, DBA_GET_FIRST_BLOCK,
        DBA_GET_NEXT_BLOCK, DBA_GET_APPROX,  DBA_WAIT_APPROX};
    const uint8_t which = data.ConsumeIntegral<uint8_t>();
    if (which < 224) {
        sqlite3_bind_int64(st, index,
                           OPERATIONS[which % (sizeof OPERATIONS / sizeof OPERATIONS[0])]);
    } else {
        bindAny(st, index, data);
    }
}

void insertRows(sqlite3_stmt *st, int columns, int operationColumn, int most,
                FuzzedDataProvider &data) {
    const int rows = data.ConsumeIntegralInRange<int>(0, most);
    for (int r = 0; r < rows; ++r) {
        for (int c = 1; c <= columns; ++c) {
            if (c == operationColumn) {
                bindOperation(st, c, data);
            } else {
                bindAny(st, c, data);
            }
        }
        sqlite3_step(st); // a row the constraints refuse is simply not there
        sqlite3_reset(st);
        sqlite3_clear_bindings(st);
    }
}

void writeStore(FuzzedDataProvider &data) {
    Scratch &s = scratch();
    // An input that inserted nothing left the file as it was.
    static int lastChanges = 0;
    if (sqlite3_total_changes(s.db) != lastChanges) {
        fuzzscratch::writeFile(s.written, s.emptyStore);
        lastChanges = sqlite3_total_changes(s.db);
    }
    if (sqlite3_exec(s.db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) {
        fail(std::string("cannot begin to fill the store: ") + sqlite3_errmsg(s.db));
    }
    insertRows(s.inserts[0], 10, 0, 3, data);
    insertRows(s.inserts[1], 15, 5, 10, data);
    insertRows(s.inserts[2], 12, 0, 12, data);
    if (sqlite3_exec(s.db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        fail(std::string("cannot commit the filled store: ") + sqlite3_errmsg(s.db));
    }
    std::string bytes = sqlite3_total_changes(s.db) != lastChanges
                            ? fuzzscratch::readFile(s.written)
                            : s.emptyStore;

    // A damaged copy: bytes overwritten anywhere in the file.
    const int damaged =
        data.ConsumeIntegralInRange<int>(0, 255) < 32 ? data.ConsumeIntegralInRange<int>(1, 8) : 0;
    for (int d = 0; d < damaged && !bytes.empty(); ++d) {
        bytes[data.ConsumeIntegralInRange<size_t>(0, bytes.size() - 1)] =
            static_cast<char>(data.ConsumeIntegral<uint8_t>());
    }
    if (!fuzzscratch::writeFile(s.copied, bytes)) {
        fail("cannot write the copied store");
    }
}

// The callback of a replayed scan: reads the whole key and block, as the module's does.
int32_t DBA_CALLBACK_CALL readWhole(int32_t, int32_t, const void *key, const void *block, int32_t,
                                    int32_t, void *) {
    static unsigned char copy[HISTORY_BLOCK_SIZE];
    if (key != nullptr) {
        std::memcpy(copy, key, SECURITY_KEY_SIZE);
    }
    if (block != nullptr) {
        std::memcpy(copy, block, HISTORY_BLOCK_SIZE);
    }
    return 0;
}

void replay(const pcqw32::RecordedCall &call) {
    const bool scan = call.operation == DBA_GET_APPROX || call.operation == DBA_WAIT_APPROX;
    HistoryScanBlock scanBlock{};
    scanBlock.callback = readWhole;
    const size_t room = pcqw32::recordedRecordSize(call.operation);
    std::vector<unsigned char> record(room);
    std::string error;
    const int32_t status = pcqw32::replayRecorded(call, scan ? &scanBlock : nullptr,
                                                  room > 0 ? record.data() : nullptr, error);
    if (status != call.status) {
        fail("a replayed call answered " + std::to_string(status) + ", recorded " +
             std::to_string(call.status) + ": " + error);
    }
}

} // namespace

// SQLite keeps no count of its memory here: every one of its allocations would take a lock for
// it, and nothing reads the count.
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    writeStore(data);

    std::string error;
    bool unreadable = false;
    std::unique_ptr<pcqw32::RecordingStore> store =
        pcqw32::RecordingStore::openForReplay(scratch().copied, error, &unreadable);
    if (!store) {
        if (error.empty()) {
            fail("a store was refused without saying why");
        }
        return 0;
    }
    std::vector<pcqw32::RecordingInfo> recordings;
    store->recordings(recordings);

    struct Asked {
        int32_t operation;
        Bytes request;
        int64_t id;
    };
    std::vector<Asked> asked;
    store->forEachCall(0, [&](const pcqw32::RecordedCall &call) {
        replay(call);
        if (asked.size() < 16) {
            asked.push_back({call.operation, call.request, call.id});
        }
    });
    for (const Asked &a : asked) {
        pcqw32::RecordedCall found;
        if (store->findRequest(a.operation, a.request, found) == pcqw32::Lookup::FOUND) {
            if (found.operation != a.operation || found.request != a.request) {
                fail("a request was looked up and another came back");
            }
            replay(found);
        }
        std::deque<pcqw32::RecordedCall> run;
        store->runCalls(a.id, 0, 8, run);
        for (const pcqw32::RecordedCall &call : run) {
            replay(call);
        }
    }
    return 0;
}
