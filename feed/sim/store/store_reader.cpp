#include "store_reader.h"

#include "pcqw32_sim.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>

namespace pcqw32 {

namespace {
const char SECURITY_COLUMNS[] = "id, symbol, qualifier, category, key";

// Why a store file could not be opened, in the words of the one who has to mend it: SQLite
// says "unable to open database file" for a missing file, a missing folder and a file it may
// not read alike.
std::string whyUnopened(const std::string &path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    struct stat info;
    if (::stat(folder.c_str(), &info) != 0 || (info.st_mode & S_IFDIR) == 0) {
        return "the data folder " + folder + " does not exist";
    }
    if (::stat(path.c_str(), &info) != 0) {
        return "there is no such file in the data folder";
    }
    if (std::FILE *file = std::fopen(path.c_str(), "rb")) {
        std::fclose(file);
        return "the file exists and can be read, but SQLite cannot open it";
    }
    return std::string("the file cannot be read: ") + std::strerror(errno);
}
} // namespace

StoreReader::~StoreReader() {
    for (sqlite3_stmt *st : statements_) {
        sqlite3_finalize(st);
    }
    if (db_) {
        sqlite3_close(db_);
    }
}

sqlite3_stmt *StoreReader::prepare(const char *sql) {
    sqlite3_stmt *st = nullptr;
    const int rc = sqlite3_prepare_v2(db_, sql, -1, &st, nullptr);
    if (rc != SQLITE_OK) {
        if (error_.empty()) {
            error_ = sqlite3_errmsg(db_);
            prepareError_ = rc & 0xFF;
        }
        return nullptr;
    }
    statements_.push_back(st);
    return st;
}

void StoreReader::stepFailed(int rc) {
    error_ = path_ + ": " + sqlite3_errmsg(db_) + " (SQLite error " + std::to_string(rc) + ")";
}

int32_t StoreReader::open(const std::string &path) {
    path_ = path;
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        error_ = "cannot open " + path + ": " + whyUnopened(path) +
                 " (SQLite: " + (db_ ? sqlite3_errmsg(db_) : "out of memory") + ")";
        return PCQW32_STORE_ABSENT;
    }
    QuoteValues q;
    FundamentalsValues fu;
    HistoryRow h;
    BarRow b;
    CantValues c;
    VersionValues v;
    const std::string sec = SECURITY_COLUMNS;
    const std::vector<FieldRef> qf = quoteFields(q);
    std::string quoteSelect = "SELECT COALESCE(q.symbol_text, s.symbol)";
    for (std::size_t i = 1; i < qf.size(); ++i) {
        quoteSelect += std::string(", q.") + qf[i].name;
    }
    quoteSelect += " FROM quotes q JOIN securities s ON s.id = q.security_id"
                   " WHERE q.security_id = ?1";
    const std::string from = "SELECT " + sec +
                             " FROM securities s WHERE key >= ?1 AND EXISTS "
                             "(SELECT 1 FROM history h WHERE h.security_id = s.id) ORDER BY "
                             "key LIMIT 1";
    std::string after = from;
    after.replace(after.find(">="), 2, ">");

    findSecurity_ = prepare(("SELECT " + sec + " FROM securities WHERE key = ?1").c_str());
    securityById_ = prepare(("SELECT " + sec + " FROM securities WHERE id = ?1").c_str());
    historyFrom_ = prepare(from.c_str());
    historyAfter_ = prepare(after.c_str());
    quote_ = prepare(quoteSelect.c_str());
    fundamentals_ = prepare(("SELECT " + columnList(fundamentalsFields(fu)) +
                             " FROM fundamentals WHERE security_id = ?1")
                                .c_str());
    cant_ = prepare(
        ("SELECT " + columnList(cantFields(c)) + " FROM cant_records WHERE security_id = ?1")
            .c_str());
    version_ =
        prepare(("SELECT " + columnList(versionFields(v)) + " FROM version LIMIT 1").c_str());
    history_ = prepare(("SELECT " + columnList(historyFields(h)) +
                        " FROM history WHERE security_id = ?1 ORDER BY seq")
                           .c_str());
    bars_ = prepare(
        ("SELECT " + columnList(barFields(b)) + " FROM bars WHERE security_id = ?1 ORDER BY seq")
            .c_str());
    sqlite3_stmt *settings = prepare("SELECT name, value FROM settings");
    if (!error_.empty()) {
        // A missing table or column, or a file that is no database at all, is not a store;
        // anything else (a damaged page, an I/O error, a lock) keeps SQLite from reading one.
        if (prepareError_ != SQLITE_ERROR && prepareError_ != SQLITE_NOTADB) {
            error_ = path + ": " + error_ + " (SQLite error " + std::to_string(prepareError_) + ")";
            return PCQW32_STORE_UNREADABLE;
        }
        error_ = path + " is not a simulator store: " + error_;
        return PCQW32_STORE_INVALID;
    }
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(settings)) == SQLITE_ROW) {
        const std::string name = columnString(settings, 0);
        const std::string value = columnString(settings, 1);
        if (name == "record_kind") {
            if (value == "quote") {
                kind_ = RecordKind::QUOTE;
            } else if (value == "fundamentals") {
                kind_ = RecordKind::FUNDAMENTALS;
            } else {
                error_ = path + ": unknown record_kind \"" + value + "\"";
                return PCQW32_STORE_INVALID;
            }
        } else if (name == "event52_every") {
            event52Every_ = static_cast<int32_t>(std::atoi(value.c_str()));
        }
    }
    if (rc != SQLITE_DONE) {
        stepFailed(rc);
        return PCQW32_STORE_UNREADABLE;
    }
    sqlite3_reset(settings);
    return PCQW32_OK;
}

Lookup StoreReader::readSecurity(sqlite3_stmt *st, SecurityInfo &out) {
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) {
        out.id = sqlite3_column_int64(st, 0);
        out.symbol = columnString(st, 1);
        out.qualifier = columnString(st, 2);
        out.category = columnString(st, 3);
        makeKey(out.symbol, out.qualifier, out.key);
    } else if (rc != SQLITE_DONE) {
        stepFailed(rc);
    }
    sqlite3_reset(st);
    return rc == SQLITE_ROW ? Lookup::FOUND : rc == SQLITE_DONE ? Lookup::ABSENT : Lookup::FAILED;
}

Lookup StoreReader::findSecurity(const unsigned char *key, SecurityInfo &out) {
    const std::string k = keyBytes(key);
    sqlite3_bind_blob(findSecurity_, 1, k.data(), static_cast<int>(k.size()), SQLITE_TRANSIENT);
    return readSecurity(findSecurity_, out);
}

Lookup StoreReader::securityById(int64_t id, SecurityInfo &out) {
    sqlite3_bind_int64(securityById_, 1, id);
    return readSecurity(securityById_, out);
}

Lookup StoreReader::historySecurityFrom(const unsigned char *key, bool strictlyAfter,
                                        SecurityInfo &out) {
    sqlite3_stmt *st = strictlyAfter ? historyAfter_ : historyFrom_;
    const std::string k = keyBytes(key);
    sqlite3_bind_blob(st, 1, k.data(), static_cast<int>(k.size()), SQLITE_TRANSIENT);
    return readSecurity(st, out);
}

Lookup StoreReader::readOne(sqlite3_stmt *st, int64_t id, const std::vector<FieldRef> &fields) {
    if (id >= 0) {
        sqlite3_bind_int64(st, 1, id);
    }
    const int rc = sqlite3_step(st);
    Lookup found = Lookup::ABSENT;
    if (rc == SQLITE_ROW) {
        found = readFields(st, 0, fields) ? Lookup::FOUND : Lookup::ABSENT;
    } else if (rc != SQLITE_DONE) {
        stepFailed(rc);
        found = Lookup::FAILED;
    }
    sqlite3_reset(st);
    return found;
}

Lookup StoreReader::readQuote(int64_t id, QuoteValues &out) {
    out = QuoteValues{};
    return readOne(quote_, id, quoteFields(out));
}

Lookup StoreReader::readFundamentals(int64_t id, FundamentalsValues &out) {
    out = FundamentalsValues{};
    return readOne(fundamentals_, id, fundamentalsFields(out));
}

Lookup StoreReader::readCant(int64_t id, CantValues &out) {
    out = CantValues{};
    return readOne(cant_, id, cantFields(out));
}

Lookup StoreReader::readVersion(VersionValues &out) {
    out = VersionValues{};
    return readOne(version_, -1, versionFields(out));
}

// A cursor remembers that its statement ran out or failed: stepping it again would start the
// query over and deliver its first rows a second time.
void StoreReader::startHistory(int64_t id) {
    sqlite3_reset(history_);
    sqlite3_bind_int64(history_, 1, id);
    historyDone_ = false;
    historyFailed_ = false;
}

int StoreReader::nextHistory(HistoryRow *rows, int count) {
    int n = 0;
    while (n < count && !historyDone_) {
        const int rc = sqlite3_step(history_);
        if (rc != SQLITE_ROW) {
            historyDone_ = true;
            if (rc != SQLITE_DONE) {
                stepFailed(rc);
                historyFailed_ = true;
            }
            break;
        }
        rows[n] = HistoryRow{};
        readFields(history_, 0, historyFields(rows[n]));
        ++n;
    }
    return historyFailed_ ? -1 : n;
}

void StoreReader::startBars(int64_t id) {
    sqlite3_reset(bars_);
    sqlite3_bind_int64(bars_, 1, id);
    barsDone_ = false;
    barsFailed_ = false;
}

int StoreReader::nextBars(BarRow *rows, int count) {
    int n = 0;
    while (n < count && !barsDone_) {
        const int rc = sqlite3_step(bars_);
        if (rc != SQLITE_ROW) {
            barsDone_ = true;
            if (rc != SQLITE_DONE) {
                stepFailed(rc);
                barsFailed_ = true;
            }
            break;
        }
        rows[n] = BarRow{};
        readFields(bars_, 0, barFields(rows[n]));
        ++n;
    }
    return barsFailed_ ? -1 : n;
}

} // namespace pcqw32
