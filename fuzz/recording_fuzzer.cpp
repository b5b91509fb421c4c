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
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using pcqw32::Bytes;

[[noreturn]] void fail(const std::string &what) {
    std::fprintf(stderr, "recording check: %s\n", what.c_str());
    std::abort();
}

struct Scratch {
    std::string path;
    std::string emptyStore;
};

// An empty recording store, made once with the recorder's own schema.
Scratch &scratch() {
    static Scratch s;
    if (s.path.empty()) {
        s.path = fuzzscratch::folder("recording_fuzzer") + "/copied.sqlite";
        std::string error;
        if (!pcqw32::RecordingStore::openForRecording(s.path, error)) {
            fail("cannot make an empty recording store: " + error);
        }
        std::ifstream in(s.path, std::ios::binary);
        s.emptyStore.assign(std::istreambuf_iterator<char>(in), {});
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

void insertRows(sqlite3 *db, const char *sql, int columns, int operationColumn, int most,
                FuzzedDataProvider &data) {
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) {
        fail(std::string("cannot prepare ") + sql + ": " + sqlite3_errmsg(db));
    }
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
    sqlite3_finalize(st);
}

void writeStore(FuzzedDataProvider &data) {
    const Scratch &s = scratch();
    {
        std::ofstream out(s.path, std::ios::binary | std::ios::trunc);
        out.write(s.emptyStore.data(), static_cast<std::streamsize>(s.emptyStore.size()));
    }
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(s.path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        fail("cannot open the copied store to fill it");
    }
    sqlite3_exec(db, "PRAGMA synchronous=OFF; PRAGMA journal_mode=MEMORY; BEGIN", nullptr, nullptr,
                 nullptr);
    insertRows(db,
               "INSERT INTO recordings(id, started, target, mode, version_status, version_major,"
               " version_minor, version_release, version_serial, version_record)"
               " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)",
               10, 0, 3, data);
    insertRows(db,
               "INSERT INTO recorded_calls(id, recording_id, session, run, operation, parameter,"
               " attached, mode, request, key, status, record, scan_reserved4, scan_reserved8,"
               " scan_started) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13,"
               " ?14, ?15)",
               15, 5, 10, data);
    insertRows(db,
               "INSERT INTO recorded_deliveries(call_id, seq, argument1, event, key, block,"
               " argument5, status, scan_reserved4, scan_reserved8, scan_started, result)"
               " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)",
               12, 0, 12, data);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);

    // A damaged copy: bytes overwritten anywhere in the file.
    const int damaged =
        data.ConsumeIntegralInRange<int>(0, 255) < 32 ? data.ConsumeIntegralInRange<int>(1, 8) : 0;
    if (damaged > 0) {
        std::fstream file(s.path, std::ios::binary | std::ios::in | std::ios::out);
        file.seekg(0, std::ios::end);
        const auto size = static_cast<size_t>(file.tellg());
        for (int d = 0; d < damaged && size > 0; ++d) {
            file.seekp(
                static_cast<std::streamoff>(data.ConsumeIntegralInRange<size_t>(0, size - 1)));
            const char byte = static_cast<char>(data.ConsumeIntegral<uint8_t>());
            file.write(&byte, 1);
        }
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    writeStore(data);

    std::string error;
    bool unreadable = false;
    std::unique_ptr<pcqw32::RecordingStore> store =
        pcqw32::RecordingStore::openForReplay(scratch().path, error, &unreadable);
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
