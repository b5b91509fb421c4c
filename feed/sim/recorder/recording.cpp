#include "recording.h"

#include "dbax.h"
#include "store.h"

#include <sqlite3.h>

#include <filesystem>

namespace pcqw32 {

namespace {

// The recording tables. Calls that can be asked for again are found through
// recorded_requests; the calls of a run through recorded_runs. Both indexes are partial, so
// the many calls of a long scan or bar read only touch the one they need.
const char RECORDING_SCHEMA[] =
    "CREATE TABLE IF NOT EXISTS recordings(id INTEGER PRIMARY KEY, started TEXT NOT NULL,"
    " target TEXT NOT NULL, mode TEXT NOT NULL, version_status INTEGER, version_major INTEGER,"
    " version_minor INTEGER, version_release TEXT, version_serial TEXT, version_record BLOB);\n"
    "CREATE TABLE IF NOT EXISTS recorded_calls(id INTEGER PRIMARY KEY,"
    " recording_id INTEGER NOT NULL, session INTEGER NOT NULL, run INTEGER,"
    " operation INTEGER NOT NULL, parameter INTEGER NOT NULL, attached INTEGER NOT NULL,"
    " mode INTEGER, request BLOB NOT NULL, key BLOB, status INTEGER NOT NULL, record BLOB,"
    " scan_reserved4 INTEGER, scan_reserved8 INTEGER, scan_started INTEGER);\n"
    "CREATE INDEX IF NOT EXISTS recorded_requests ON recorded_calls(operation, request)"
    " WHERE run IS NULL;\n"
    "CREATE INDEX IF NOT EXISTS recorded_runs ON recorded_calls(run) WHERE run IS NOT NULL;\n"
    "CREATE TABLE IF NOT EXISTS recorded_deliveries(call_id INTEGER NOT NULL,"
    " seq INTEGER NOT NULL, argument1 INTEGER NOT NULL, event INTEGER NOT NULL, key BLOB,"
    " block BLOB, argument5 INTEGER NOT NULL, status INTEGER NOT NULL,"
    " scan_reserved4 INTEGER NOT NULL, scan_reserved8 INTEGER NOT NULL,"
    " scan_started INTEGER NOT NULL, result INTEGER NOT NULL,"
    " PRIMARY KEY(call_id, seq)) WITHOUT ROWID;\n";

const char CALL_COLUMNS[] =
    "SELECT id, recording_id, session, run, operation, parameter, attached, mode, request, key,"
    " status, record, scan_reserved4, scan_reserved8, scan_started FROM recorded_calls ";

// The calls of a request recorded before call ?3, and of the runs they started.
const char OLDER_REQUEST[] =
    "SELECT id FROM recorded_calls WHERE operation = ?1 AND request = ?2 AND run IS NULL"
    " AND id < ?3";

void bindBytes(sqlite3_stmt *st, int index, const Bytes &bytes) {
    if (bytes.empty()) {
        sqlite3_bind_null(st, index);
    } else {
        sqlite3_bind_blob(st, index, bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT);
    }
}

Bytes columnBytes(sqlite3_stmt *st, int column) {
    const auto *p = static_cast<const unsigned char *>(sqlite3_column_blob(st, column));
    const int n = sqlite3_column_bytes(st, column);
    return p && n > 0 ? Bytes(p, p + n) : Bytes();
}

std::string columnText(sqlite3_stmt *st, int column) {
    const unsigned char *p = sqlite3_column_text(st, column);
    return p ? std::string(reinterpret_cast<const char *>(p)) : std::string();
}

int32_t columnI32(sqlite3_stmt *st, int column) {
    return static_cast<int32_t>(sqlite3_column_int64(st, column));
}

// A row of CALL_COLUMNS.
void callFromColumns(sqlite3_stmt *st, RecordedCall &out) {
    out = RecordedCall{};
    out.id = sqlite3_column_int64(st, 0);
    out.recording = sqlite3_column_int64(st, 1);
    out.session = columnI32(st, 2);
    out.run = sqlite3_column_int64(st, 3);
    out.operation = columnI32(st, 4);
    out.parameter = columnI32(st, 5);
    out.attached = sqlite3_column_int64(st, 6) != 0;
    out.hasMode = sqlite3_column_type(st, 7) != SQLITE_NULL;
    out.mode = columnI32(st, 7);
    out.request = columnBytes(st, 8);
    out.key = columnBytes(st, 9);
    out.status = columnI32(st, 10);
    out.record = columnBytes(st, 11);
    out.hasScan = sqlite3_column_type(st, 12) != SQLITE_NULL;
    out.scan.reserved4 = columnI32(st, 12);
    out.scan.reserved8 = columnI32(st, 13);
    out.scan.started = columnI32(st, 14);
}

// Appends a 32-bit value, little-endian like every number the feed exchanges.
void appendI32(Bytes &out, int32_t value) {
    const std::size_t at = out.size();
    out.resize(at + sizeof value);
    writeI32(out.data(), at, value);
}

} // namespace

std::size_t recordedKeySize(int32_t operation) {
    switch (operation) {
    case DBA_GET_RECORD:
    case DBA_GET_APPROX:
        return SECURITY_KEY_SIZE;
    case DBA_GET_RECORD_EXT:
        return TAGGED_KEY_SIZE;
    case DBA_GET_FIRST_BLOCK:
    case DBA_GET_NEXT_BLOCK:
        return SECURITY_RECORD_SIZE; // the security record
    default:
        return 0;
    }
}

std::size_t recordedRecordSize(int32_t operation) {
    switch (operation) {
    case DBA_GET_RECORD:
        return SECURITY_RECORD_SIZE;
    case DBA_GET_RECORD_EXT:
    case DBA_GET_VERSION:
        return RECORD_BUFFER_SIZE;
    case DBA_GET_FIRST_BLOCK:
    case DBA_GET_NEXT_BLOCK:
        return BAR_BLOCK_BUFFER_SIZE;
    default:
        return 0;
    }
}

Bytes requestBytes(bool attached, int32_t parameter, bool hasMode, int32_t mode,
                   const Bytes &keyPart) {
    Bytes out;
    out.reserve(2 + 2 * sizeof(int32_t) + keyPart.size());
    out.push_back(attached ? 1 : 0);
    appendI32(out, parameter);
    out.push_back(hasMode ? 1 : 0);
    if (hasMode) {
        appendI32(out, mode);
    }
    out.insert(out.end(), keyPart.begin(), keyPart.end());
    return out;
}

ScanFields scanFieldsOf(const HistoryScanBlock *sb) {
    ScanFields f;
    f.reserved4 = sb->reserved4;
    f.reserved8 = sb->reserved8;
    f.started = sb->started;
    return f;
}

std::string operationName(int32_t operation) {
    switch (operation) {
    case DBA_ATTACH:
        return "DBA_ATTACH";
    case DBA_GET_RECORD:
        return "DBA_GET_RECORD";
    case DBA_GET_RECORD_EXT:
        return "DBA_GET_RECORD_EXT";
    case DBA_DETACH:
        return "DBA_DETACH";
    case DBA_GET_VERSION:
        return "DBA_GET_VERSION";
    case DBA_GET_FIRST_BLOCK:
        return "DBA_GET_FIRST_BLOCK";
    case DBA_GET_NEXT_BLOCK:
        return "DBA_GET_NEXT_BLOCK";
    case DBA_GET_APPROX:
        return "DBA_GET_APPROX";
    case DBA_WAIT_APPROX:
        return "DBA_WAIT_APPROX";
    default:
        return "operation " + std::to_string(operation);
    }
}

RecordingStore::~RecordingStore() {
    for (sqlite3_stmt *st : statements_) {
        sqlite3_finalize(st);
    }
    if (db_) {
        if (writable_) {
            // Back to a single file, so the store can be copied elsewhere on its own; when
            // another connection still has it open the store simply stays in WAL mode.
            sqlite3_exec(db_, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
        }
        sqlite3_close(db_);
    }
}

bool RecordingStore::fail(const std::string &what) {
    error_ = path_ + ": " + what + (db_ ? std::string(": ") + sqlite3_errmsg(db_) : "");
    return false;
}

bool RecordingStore::exec(const char *sql) {
    char *message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        error_ = path_ + ": " + (message ? message : "unknown error");
        sqlite3_free(message);
        return false;
    }
    return true;
}

sqlite3_stmt *RecordingStore::prepare(const char *sql) {
    sqlite3_stmt *st = nullptr;
    const int rc = sqlite3_prepare_v2(db_, sql, -1, &st, nullptr);
    if (rc != SQLITE_OK) {
        if (error_.empty()) {
            error_ = path_ + ": " + sqlite3_errmsg(db_);
            prepareError_ = rc & 0xFF;
        }
        return nullptr;
    }
    statements_.push_back(st);
    return st;
}

bool RecordingStore::open(const std::string &path, bool writable) {
    path_ = path;
    writable_ = writable;
    const int flags = writable ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        return fail("cannot open");
    }
    // The recorded library may be a second copy of the simulator reading the same file.
    sqlite3_busy_timeout(db_, 5000);
    // A long scan reads thousands of small rows in order: pages mapped into memory spare
    // a read call for each of them.
    exec("PRAGMA mmap_size=268435456");
    if (writable) {
        // Every call is committed before it returns to the caller, so that a host killed in
        // the middle of a session leaves every completed call behind. With a write-ahead log
        // and no sync per commit that costs one append to the log; the log is only synced at
        // checkpoints, which protects against the process dying, not against power loss.
        // A sample that holds a recording is no longer the sample generator's to replace.
        const std::string unmark =
            std::string("DELETE FROM settings WHERE name = '") + SAMPLE_SETTING + "'";
        if (!exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;") || !exec("BEGIN") ||
            !exec(schemaSql().c_str()) || !exec(RECORDING_SCHEMA) || !exec(unmark.c_str()) ||
            !exec("COMMIT")) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            return false;
        }
        insertCall_ = prepare(
            "INSERT INTO recorded_calls(recording_id, session, run, operation, parameter,"
            " attached, mode, request, key, status, record, scan_reserved4, scan_reserved8,"
            " scan_started) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14)");
        insertDelivery_ =
            prepare("INSERT INTO recorded_deliveries(call_id, seq, argument1, event, key, block,"
                    " argument5, status, scan_reserved4, scan_reserved8, scan_started, result)"
                    " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)");
        begin_ = prepare("BEGIN IMMEDIATE");
        commit_ = prepare("COMMIT");
        rollback_ = prepare("ROLLBACK");
        const std::string older = OLDER_REQUEST;
        dropRunDeliveries_ =
            prepare(("DELETE FROM recorded_deliveries WHERE call_id IN (SELECT id FROM "
                     "recorded_calls WHERE run IN (" +
                     older + "))")
                        .c_str());
        dropRuns_ = prepare(("DELETE FROM recorded_calls WHERE run IN (" + older + ")").c_str());
        dropDeliveries_ =
            prepare(("DELETE FROM recorded_deliveries WHERE call_id IN (" + older + ")").c_str());
        dropCalls_ = prepare(("DELETE FROM recorded_calls WHERE id IN (" + older + ")").c_str());
    }
    findRequest_ =
        prepare((std::string(CALL_COLUMNS) + "WHERE operation = ?1 AND request = ?2 AND run IS NULL"
                                             " ORDER BY id DESC LIMIT 1")
                    .c_str());
    nextInRun_ = prepare(
        (std::string(CALL_COLUMNS) + "WHERE run = ?1 AND id > ?2 ORDER BY id LIMIT ?3").c_str());
    deliveries_ = prepare("SELECT argument1, event, key, block, argument5, status, scan_reserved4,"
                          " scan_reserved8, scan_started, result FROM recorded_deliveries"
                          " WHERE call_id = ?1 ORDER BY seq");
    return error_.empty();
}

std::unique_ptr<RecordingStore>
RecordingStore::openForReplay(const std::string &path, std::string &error, bool *unreadable) {
    std::unique_ptr<RecordingStore> store(new RecordingStore());
    std::error_code ec;
    if (unreadable) {
        *unreadable = false;
    }
    if (!std::filesystem::exists(path, ec)) {
        error = path + " does not exist";
        return nullptr;
    }
    // A missing table, or a file that is no database, holds no recording; any other error
    // (a damaged page, an I/O error, a lock) leaves that unknown.
    auto failed = [&](int code) {
        const bool absent = code == SQLITE_ERROR || code == SQLITE_NOTADB || code == SQLITE_DONE;
        if (unreadable) {
            *unreadable = !absent;
        }
        error = absent ? path + " holds no recording" : store->error_;
        return nullptr;
    };
    if (!store->open(path, false)) {
        return failed(store->prepareError_ ? store->prepareError_ : SQLITE_CANTOPEN);
    }
    sqlite3_stmt *any = store->prepare("SELECT 1 FROM recordings LIMIT 1");
    if (!any) {
        return failed(store->prepareError_);
    }
    const int rc = sqlite3_step(any);
    if (rc != SQLITE_ROW) {
        if (rc != SQLITE_DONE) {
            store->fail("cannot read the recordings");
        }
        return failed(rc);
    }
    sqlite3_reset(any);
    return store;
}

std::unique_ptr<RecordingStore> RecordingStore::openForRecording(const std::string &path,
                                                                 std::string &error) {
    std::unique_ptr<RecordingStore> store(new RecordingStore());
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code ec;
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, ec);
    }
    if (!store->open(path, true)) {
        error = store->error_;
        return nullptr;
    }
    return store;
}

int64_t RecordingStore::startRecording(const RecordingInfo &info) {
    sqlite3_stmt *st =
        prepare("INSERT INTO recordings(started, target, mode, version_status, version_major,"
                " version_minor, version_release, version_serial, version_record)"
                " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    if (!st) {
        return 0;
    }
    sqlite3_bind_text(st, 1, info.started.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, info.target.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 3, info.mode.c_str(), -1, SQLITE_TRANSIENT);
    if (info.versionAsked) {
        sqlite3_bind_int64(st, 4, info.versionStatus);
        if (info.versionStatus == 0) {
            sqlite3_bind_int64(st, 5, info.version.major);
            sqlite3_bind_int64(st, 6, info.version.minor);
            sqlite3_bind_text(st, 7, info.version.release.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 8, info.version.serial.c_str(), -1, SQLITE_TRANSIENT);
            bindBytes(st, 9, info.versionRecord);
        }
    }
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) {
        fail("cannot add the recording");
        return 0;
    }
    return sqlite3_last_insert_rowid(db_);
}

bool RecordingStore::append(RecordedCall &call, bool replace) {
    if (!insertCall_ || sqlite3_step(begin_) != SQLITE_DONE) {
        sqlite3_reset(begin_);
        return fail("cannot start a transaction");
    }
    sqlite3_reset(begin_);
    bool ok = true;
    auto run = [&](sqlite3_stmt *st, const char *what) {
        if (ok && sqlite3_step(st) != SQLITE_DONE) {
            ok = fail(what);
        }
        sqlite3_reset(st);
        sqlite3_clear_bindings(st);
    };
    sqlite3_stmt *st = insertCall_;
    sqlite3_bind_int64(st, 1, call.recording);
    sqlite3_bind_int64(st, 2, call.session);
    if (call.run != 0) {
        sqlite3_bind_int64(st, 3, call.run);
    }
    sqlite3_bind_int64(st, 4, call.operation);
    sqlite3_bind_int64(st, 5, call.parameter);
    sqlite3_bind_int64(st, 6, call.attached ? 1 : 0);
    if (call.hasMode) {
        sqlite3_bind_int64(st, 7, call.mode);
    }
    bindBytes(st, 8, call.request);
    bindBytes(st, 9, call.key);
    sqlite3_bind_int64(st, 10, call.status);
    bindBytes(st, 11, call.record);
    if (call.hasScan) {
        sqlite3_bind_int64(st, 12, call.scan.reserved4);
        sqlite3_bind_int64(st, 13, call.scan.reserved8);
        sqlite3_bind_int64(st, 14, call.scan.started);
    }
    run(st, "cannot record a call");
    call.id = sqlite3_last_insert_rowid(db_);
    int64_t seq = 0;
    for (const RecordedDelivery &d : call.deliveries) {
        st = insertDelivery_;
        sqlite3_bind_int64(st, 1, call.id);
        sqlite3_bind_int64(st, 2, seq++);
        sqlite3_bind_int64(st, 3, d.argument1);
        sqlite3_bind_int64(st, 4, d.event);
        bindBytes(st, 5, d.key);
        bindBytes(st, 6, d.block);
        sqlite3_bind_int64(st, 7, d.argument5);
        sqlite3_bind_int64(st, 8, d.status);
        sqlite3_bind_int64(st, 9, d.seen.reserved4);
        sqlite3_bind_int64(st, 10, d.seen.reserved8);
        sqlite3_bind_int64(st, 11, d.seen.started);
        sqlite3_bind_int64(st, 12, d.result);
        run(st, "cannot record a delivery");
    }
    if (replace && call.run == 0) {
        for (sqlite3_stmt *drop : {dropRunDeliveries_, dropRuns_, dropDeliveries_, dropCalls_}) {
            sqlite3_bind_int64(drop, 1, call.operation);
            bindBytes(drop, 2, call.request);
            sqlite3_bind_int64(drop, 3, call.id);
            run(drop, "cannot replace an earlier call");
        }
    }
    if (ok) {
        run(commit_, "cannot commit a call");
    }
    if (!ok) {
        sqlite3_step(rollback_);
        sqlite3_reset(rollback_);
    }
    return ok;
}

Lookup RecordingStore::readCall(sqlite3_stmt *st, RecordedCall &out) {
    const int rc = sqlite3_step(st);
    if (rc != SQLITE_ROW) {
        if (rc != SQLITE_DONE) {
            fail("cannot read a recorded call");
        }
        sqlite3_reset(st);
        return rc == SQLITE_DONE ? Lookup::ABSENT : Lookup::FAILED;
    }
    callFromColumns(st, out);
    sqlite3_reset(st);
    return readDeliveries(out) ? Lookup::FOUND : Lookup::FAILED;
}

bool RecordingStore::readDeliveries(RecordedCall &call) {
    if (call.operation != DBA_GET_APPROX && call.operation != DBA_WAIT_APPROX) {
        return true;
    }
    sqlite3_stmt *st = deliveries_;
    sqlite3_bind_int64(st, 1, call.id);
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        RecordedDelivery d;
        d.argument1 = columnI32(st, 0);
        d.event = columnI32(st, 1);
        d.key = columnBytes(st, 2);
        d.block = columnBytes(st, 3);
        d.argument5 = columnI32(st, 4);
        d.status = columnI32(st, 5);
        d.seen.reserved4 = columnI32(st, 6);
        d.seen.reserved8 = columnI32(st, 7);
        d.seen.started = columnI32(st, 8);
        d.result = columnI32(st, 9);
        call.deliveries.push_back(std::move(d));
    }
    sqlite3_reset(st);
    return rc == SQLITE_DONE || fail("cannot read the recorded deliveries");
}

Lookup RecordingStore::findRequest(int32_t operation, const Bytes &request, RecordedCall &out) {
    sqlite3_bind_int64(findRequest_, 1, operation);
    bindBytes(findRequest_, 2, request);
    return readCall(findRequest_, out);
}

bool RecordingStore::runCalls(int64_t run, int64_t after, int limit,
                              std::deque<RecordedCall> &out) {
    // One read transaction for the whole batch, rather than one per statement.
    if (!exec("BEGIN")) {
        return false;
    }
    const std::size_t first = out.size();
    sqlite3_bind_int64(nextInRun_, 1, run);
    sqlite3_bind_int64(nextInRun_, 2, after);
    sqlite3_bind_int64(nextInRun_, 3, limit);
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(nextInRun_)) == SQLITE_ROW) {
        out.emplace_back();
        callFromColumns(nextInRun_, out.back());
    }
    sqlite3_reset(nextInRun_);
    bool ok = rc == SQLITE_DONE || fail("cannot read a recorded run");
    for (std::size_t i = first; i < out.size(); ++i) {
        ok = ok && readDeliveries(out[i]);
    }
    sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    return ok;
}

bool RecordingStore::recordings(std::vector<RecordingInfo> &out) {
    out.clear();
    sqlite3_stmt *st = prepare(
        "SELECT r.id, r.started, r.target, r.mode, r.version_status, r.version_major,"
        " r.version_minor, r.version_release, r.version_serial, r.version_record,"
        " (SELECT COUNT(*) FROM recorded_calls c WHERE c.recording_id = r.id),"
        " (SELECT COUNT(*) FROM recorded_deliveries d JOIN recorded_calls c ON c.id = d.call_id"
        "  WHERE c.recording_id = r.id) FROM recordings r ORDER BY r.id");
    if (!st) {
        return false;
    }
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        RecordingInfo r;
        r.id = sqlite3_column_int64(st, 0);
        r.started = columnText(st, 1);
        r.target = columnText(st, 2);
        r.mode = columnText(st, 3);
        r.versionAsked = sqlite3_column_type(st, 4) != SQLITE_NULL;
        r.versionStatus = columnI32(st, 4);
        r.version.major = columnI32(st, 5);
        r.version.minor = columnI32(st, 6);
        r.version.release = columnText(st, 7);
        r.version.serial = columnText(st, 8);
        r.versionRecord = columnBytes(st, 9);
        r.calls = sqlite3_column_int64(st, 10);
        r.deliveries = sqlite3_column_int64(st, 11);
        out.push_back(r);
    }
    if (rc != SQLITE_DONE) {
        fail("cannot read the recordings");
    }
    sqlite3_reset(st);
    return rc == SQLITE_DONE;
}

bool RecordingStore::forEachCall(int64_t recording,
                                 const std::function<void(const RecordedCall &)> &visit) {
    sqlite3_stmt *st = prepare(
        (std::string(CALL_COLUMNS) + "WHERE ?1 = 0 OR recording_id = ?1 ORDER BY id").c_str());
    if (!st) {
        return false;
    }
    sqlite3_bind_int64(st, 1, recording);
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        RecordedCall call;
        callFromColumns(st, call);
        if (!readDeliveries(call)) {
            break;
        }
        visit(call);
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        fail("cannot read the recorded calls");
    }
    sqlite3_reset(st);
    return rc == SQLITE_DONE;
}

} // namespace pcqw32
