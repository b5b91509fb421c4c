#include "store_writer.h"

#include <sqlite3.h>

#include <filesystem>
#include <stdexcept>

namespace pcqw32 {

StoreWriter::StoreWriter(const std::string &folder, int32_t db, bool fresh)
    : path_(databasePath(folder, db)) {
    if (db < 0) {
        throw std::runtime_error("database number " + std::to_string(db) +
                                 " is negative; a store is db<N>.sqlite for N = 0 and up");
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (fresh) {
        std::filesystem::remove(path_, ec);
        std::filesystem::remove(path_ + "-journal", ec);
    }
    if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw std::runtime_error("cannot open " + path_ + ": " + message);
    }
    exec(schemaSql());
    exec("INSERT OR IGNORE INTO settings(name, value) VALUES ('record_kind', 'quote')");
    // Every store answers the version read; setVersion replaces this row.
    exec("INSERT INTO version(major, minor, release, serial) SELECT 1, 0, '', 'PCQW32 simulator'"
         " WHERE NOT EXISTS (SELECT 1 FROM version)");
}

StoreWriter::~StoreWriter() {
    for (auto &entry : statements_) {
        sqlite3_finalize(entry.second);
    }
    if (db_) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db_);
    }
}

void StoreWriter::exec(const std::string &sql) {
    char *message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string text = message ? message : "unknown error";
        sqlite3_free(message);
        throw std::runtime_error(path_ + ": " + text);
    }
}

// Statements are prepared once per text and kept for the writer's life, so bulk writes pay
// for parsing only once.
sqlite3_stmt *StoreWriter::prepare(const std::string &sql) {
    auto found = statements_.find(sql);
    if (found != statements_.end()) {
        return found->second;
    }
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        throw std::runtime_error(path_ + ": " + sqlite3_errmsg(db_));
    }
    statements_.emplace(sql, st);
    return st;
}

namespace {
// Runs a prepared statement to completion and resets it for reuse.
void run(sqlite3 *db, sqlite3_stmt *st, const std::string &path) {
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
        throw std::runtime_error(path + ": " + sqlite3_errmsg(db));
    }
}

// Steps a query that gives at most one row: true on its row, false at its end. Anything else
// SQLite returns (a damaged page, an I/O error, a lock) is a failure, never taken for no row.
bool stepRow(sqlite3 *db, sqlite3_stmt *st, const std::string &path) {
    const int rc = sqlite3_step(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        const std::string message = sqlite3_errmsg(db);
        sqlite3_reset(st);
        throw std::runtime_error(path + ": " + message);
    }
    return rc == SQLITE_ROW;
}

void check(const EncodeError &e, const std::string &what) {
    if (e) {
        throw std::runtime_error(what + ": " + e.message);
    }
}
} // namespace

void StoreWriter::begin() {
    exec("BEGIN");
}
void StoreWriter::commit() {
    exec("COMMIT");
}
void StoreWriter::rollback() {
    exec("ROLLBACK");
}

void StoreWriter::setSetting(const std::string &name, const std::string &value) {
    sqlite3_stmt *st = prepare("INSERT OR REPLACE INTO settings(name, value) VALUES (?1, ?2)");
    sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, value.c_str(), -1, SQLITE_TRANSIENT);
    run(db_, st, path_);
}

void StoreWriter::markSampleImported() {
    sqlite3_stmt *st = prepare("UPDATE settings SET value = ?1 WHERE name = ?2");
    sqlite3_bind_text(st, 1, SAMPLE_IMPORTED, -1, SQLITE_STATIC);
    sqlite3_bind_text(st, 2, SAMPLE_SETTING, -1, SQLITE_STATIC);
    run(db_, st, path_);
}

void StoreWriter::setKind(RecordKind kind) {
    setSetting("record_kind", kind == RecordKind::QUOTE ? "quote" : "fundamentals");
}

void StoreWriter::setVersion(const VersionValues &v) {
    check(checkVersion(v), "version");
    exec("DELETE FROM version");
    VersionValues copy = v;
    const std::vector<FieldRef> f = versionFields(copy);
    sqlite3_stmt *st = prepare("INSERT INTO version(" + columnList(f) + ") VALUES (" +
                               placeholders(f.size()) + ")");
    bindFields(st, 1, f);
    run(db_, st, path_);
}

int64_t StoreWriter::addSecurity(const std::string &symbol, const std::string &qualifier,
                                 const std::string &category) {
    // Clients send at most KEY_SYMBOL_LENGTH symbol characters, so a store holds no longer
    // symbol: one that fills the key's symbol field could never be asked for, and would stand
    // in a scan beside the shorter one it begins with.
    unsigned char key[SECURITY_KEY_SIZE];
    if (symbol.empty() || symbol.size() > KEY_SYMBOL_LENGTH || !makeKey(symbol, qualifier, key)) {
        throw std::runtime_error("security \"" + symbol + "\"/\"" + qualifier +
                                 "\": the symbol takes 1 to 11 characters (clients send at "
                                 "most 11), the qualifier at most 4");
    }
    if (category != "equity" && category != "option" && category != "index") {
        throw std::runtime_error("security \"" + symbol + "\": category \"" + category +
                                 "\" is not equity, option or index");
    }
    const std::string k = keyBytes(key);
    sqlite3_stmt *find = prepare("SELECT id FROM securities WHERE key = ?1");
    sqlite3_bind_blob(find, 1, k.data(), static_cast<int>(k.size()), SQLITE_TRANSIENT);
    int64_t id = -1;
    if (stepRow(db_, find, path_)) {
        id = sqlite3_column_int64(find, 0);
    }
    sqlite3_reset(find);
    if (id >= 0) {
        return id;
    }
    sqlite3_stmt *st = prepare("INSERT INTO securities(symbol, qualifier, category, key) "
                               "VALUES (?1, ?2, ?3, ?4)");
    sqlite3_bind_text(st, 1, symbol.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, qualifier.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 3, category.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(st, 4, k.data(), static_cast<int>(k.size()), SQLITE_TRANSIENT);
    run(db_, st, path_);
    return sqlite3_last_insert_rowid(db_);
}

sqlite3_stmt *StoreWriter::bindRecord(const char *table, int64_t id,
                                      const std::vector<FieldRef> &f) {
    sqlite3_stmt *st = prepare(std::string("INSERT OR REPLACE INTO ") + table + "(security_id, " +
                               columnList(f) + ") VALUES (?, " + placeholders(f.size()) + ")");
    sqlite3_bind_int64(st, 1, id);
    bindFields(st, 2, f);
    return st;
}

void StoreWriter::putQuote(int64_t id, const QuoteValues &v) {
    check(checkQuote(v), "quote of security " + std::to_string(id));
    QuoteValues copy = v;
    sqlite3_stmt *st = bindRecord("quotes", id, quoteFields(copy));
    if (v.symbol.empty()) {
        sqlite3_bind_null(st, 2); // the security's own symbol
    }
    run(db_, st, path_);
}

void StoreWriter::putFundamentals(int64_t id, const FundamentalsValues &v) {
    check(checkFundamentals(v), "fundamentals of security " + std::to_string(id));
    FundamentalsValues copy = v;
    run(db_, bindRecord("fundamentals", id, fundamentalsFields(copy)), path_);
}

int64_t StoreWriter::countRows(const char *table, int64_t id) {
    sqlite3_stmt *st =
        prepare(std::string("SELECT COUNT(*) FROM ") + table + " WHERE security_id = ?1");
    sqlite3_bind_int64(st, 1, id);
    int64_t n = 0;
    if (stepRow(db_, st, path_)) {
        n = sqlite3_column_int64(st, 0);
    }
    sqlite3_reset(st);
    return n;
}

int64_t StoreWriter::queryInt(const std::string &sql) {
    sqlite3_stmt *st = prepare(sql);
    int64_t n = 0;
    if (stepRow(db_, st, path_)) {
        n = sqlite3_column_int64(st, 0);
    }
    sqlite3_reset(st);
    return n;
}

RecordKind StoreWriter::kind() {
    sqlite3_stmt *st = prepare("SELECT value FROM settings WHERE name = 'record_kind'");
    const bool fundamentals = stepRow(db_, st, path_) && columnString(st, 0) == "fundamentals";
    sqlite3_reset(st);
    return fundamentals ? RecordKind::FUNDAMENTALS : RecordKind::QUOTE;
}

bool StoreWriter::holdsRecord(int64_t id) {
    return countRows(kind() == RecordKind::QUOTE ? "quotes" : "fundamentals", id) > 0;
}

int64_t StoreWriter::historyRows(int64_t id) {
    return countRows("history", id);
}
int64_t StoreWriter::barRows(int64_t id) {
    return countRows("bars", id);
}

void StoreWriter::appendHistory(int64_t id, const std::vector<HistoryRow> &rows) {
    if (rows.empty()) {
        return;
    }
    constexpr int64_t blockRows = static_cast<int64_t>(HISTORY_BLOCK_RECORDS);
    int64_t seq = historyRows(id);
    int32_t blockType = -1;
    if (seq % blockRows != 0) {
        sqlite3_stmt *st =
            prepare("SELECT price_type FROM history WHERE security_id = ?1 AND seq = ?2");
        sqlite3_bind_int64(st, 1, id);
        sqlite3_bind_int64(st, 2, seq - seq % blockRows);
        if (stepRow(db_, st, path_)) {
            blockType = sqlite3_column_int(st, 0);
        }
        sqlite3_reset(st);
    }
    HistoryRow scratch;
    const std::vector<FieldRef> names = historyFields(scratch);
    sqlite3_stmt *st = prepare("INSERT INTO history(security_id, seq, " + columnList(names) +
                               ") VALUES (?, ?, " + placeholders(names.size()) + ")");
    for (const HistoryRow &r : rows) {
        check(checkHistoryRow(r),
              "history row " + std::to_string(seq) + " of security " + std::to_string(id));
        if (seq % blockRows == 0) {
            blockType = r.priceType;
        } else if (r.priceType != blockType) {
            throw std::runtime_error("history row " + std::to_string(seq) + " of security " +
                                     std::to_string(id) + ": price type " +
                                     std::to_string(r.priceType) + " differs from " +
                                     std::to_string(blockType) + " of its block of eight rows");
        }
        HistoryRow copy = r;
        sqlite3_bind_int64(st, 1, id);
        sqlite3_bind_int64(st, 2, seq);
        bindFields(st, 3, historyFields(copy));
        run(db_, st, path_);
        ++seq;
    }
}

void StoreWriter::appendBars(int64_t id, const std::vector<BarRow> &rows) {
    if (rows.empty()) {
        return;
    }
    int64_t seq = barRows(id);
    if (seq + static_cast<int64_t>(rows.size()) > static_cast<int64_t>(BAR_ROWS)) {
        throw std::runtime_error("bars of security " + std::to_string(id) +
                                 ": more than 75000 rows");
    }
    BarRow scratch;
    const std::vector<FieldRef> names = barFields(scratch);
    sqlite3_stmt *st = prepare("INSERT INTO bars(security_id, seq, " + columnList(names) +
                               ") VALUES (?, ?, " + placeholders(names.size()) + ")");
    for (const BarRow &r : rows) {
        check(checkBarRow(r),
              "bar row " + std::to_string(seq) + " of security " + std::to_string(id));
        BarRow copy = r;
        sqlite3_bind_int64(st, 1, id);
        sqlite3_bind_int64(st, 2, seq);
        bindFields(st, 3, barFields(copy));
        run(db_, st, path_);
        ++seq;
    }
}

void StoreWriter::putCant(int64_t id, const CantValues &v) {
    check(checkCant(v), "CANT record of security " + std::to_string(id));
    CantValues copy = v;
    run(db_, bindRecord("cant_records", id, cantFields(copy)), path_);
}

} // namespace pcqw32
