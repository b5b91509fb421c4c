// pcqw32-sim: builds and examines the simulated feed's stores, and replays reads through the
// feed library itself to show what a client receives and how long it takes.

#include "dbax.h"
#include "pcqw32_sim.h"
#include "recording_tool.h"
#include "store.h"

#include <sqlite3.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Arguments = std::vector<std::string>;

// Arguments the command cannot take: exit status 2, with the command's usage.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

int32_t toInt(const std::string &text) {
    errno = 0;
    char *end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || v < INT32_MIN || v > INT32_MAX) {
        throw std::runtime_error("\"" + text + "\" is not a 32-bit integer");
    }
    return static_cast<int32_t>(v);
}

// A database number, which names the file db<N>.sqlite: digits only.
int32_t toDb(const std::string &text) {
    int32_t db = 0;
    if (!pcqw32::parseDatabaseNumber(text, db)) {
        throw UsageError("the database number is a non-negative integer, not \"" + text + "\"");
    }
    return db;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// An existing store, opened read-only for the commands that only look.
class ReadOnlyStore {
  public:
    ReadOnlyStore(const std::string &folder, int32_t db) : path_(pcqw32::databasePath(folder, db)) {
        if (!std::filesystem::exists(path_)) {
            throw std::runtime_error(path_ + " does not exist");
        }
        if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
            sqlite3_close(db_);
            throw std::runtime_error("cannot open " + path_ + ": " + message);
        }
    }
    ~ReadOnlyStore() { sqlite3_close(db_); }
    ReadOnlyStore(const ReadOnlyStore &) = delete;
    ReadOnlyStore &operator=(const ReadOnlyStore &) = delete;

    const std::string &path() const { return path_; }
    // Runs a query; `row` gets each result row's columns as texts (NULL as "").
    template <typename Row> void query(const char *sql, Row row) {
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &st, nullptr) != SQLITE_OK) {
            const std::string message = sqlite3_errmsg(db_);
            sqlite3_finalize(st);
            throw std::runtime_error(path_ + " is not a simulator store: " + message);
        }
        std::vector<std::string> columns(static_cast<std::size_t>(sqlite3_column_count(st)));
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            for (std::size_t i = 0; i < columns.size(); ++i) {
                columns[i] = pcqw32::columnString(st, static_cast<int>(i));
            }
            row(columns);
        }
        const std::string message = rc == SQLITE_DONE ? "" : sqlite3_errmsg(db_);
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE) {
            throw std::runtime_error(path_ + " cannot be read: " + message);
        }
    }

  private:
    std::string path_;
    sqlite3 *db_ = nullptr;
};

// generate [--force] <folder>, the option before or after the folder.
int generate(const Arguments &a) {
    bool force = false;
    std::vector<std::string> folders;
    for (const std::string &arg : a) {
        if (arg == "--force") {
            force = true;
        } else if (arg.compare(0, 2, "--") == 0) {
            throw UsageError("unknown option \"" + arg + "\"");
        } else {
            folders.push_back(arg);
        }
    }
    if (folders.size() != 1) {
        throw UsageError("generate takes one folder");
    }
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> log;
    pcqw32::generateSample(folders[0], log, force);
    for (const std::string &line : log) {
        std::printf("%s\n", line.c_str());
    }
    std::printf("generated in %.2f s\n", secondsSince(start));
    return 0;
}

int import(const Arguments &a) {
    const int32_t db = toDb(a[1]);
    std::vector<std::string> warnings;
    const int64_t n = pcqw32::importCsv(a[0], db, a[2], a[3], warnings);
    for (const std::string &w : warnings) {
        std::fprintf(stderr, "warning: %s\n", w.c_str());
    }
    std::printf("imported %lld rows into %s\n", static_cast<long long>(n),
                pcqw32::databasePath(a[0], db).c_str());
    return 0;
}

int set(const Arguments &a) {
    const std::string &name = a[2], &value = a[3];
    if (name == "record_kind") {
        if (value != "quote" && value != "fundamentals") {
            throw std::runtime_error("record_kind is quote or fundamentals, not \"" + value + "\"");
        }
    } else if (name == "event52_every") {
        if (toInt(value) < 0) {
            throw std::runtime_error("event52_every is 0 (never) or a positive count");
        }
    } else {
        throw std::runtime_error("unknown setting \"" + name + "\" (record_kind, event52_every)");
    }
    pcqw32::StoreWriter w(a[0], toDb(a[1]), false);
    w.setSetting(name, value);
    return 0;
}

int info(const Arguments &a) {
    ReadOnlyStore store(a[0], toDb(a[1]));
    static const char *const queries[][2] = {
        {"record kind", "SELECT value FROM settings WHERE name = 'record_kind'"},
        {"securities", "SELECT COUNT(*) FROM securities"},
        {"quotes", "SELECT COUNT(*) FROM quotes"},
        {"fundamentals", "SELECT COUNT(*) FROM fundamentals"},
        {"history rows", "SELECT COUNT(*) FROM history"},
        {"bar rows", "SELECT COUNT(*) FROM bars"},
        {"CANT records", "SELECT COUNT(*) FROM cant_records"}};
    std::printf("%s\n", store.path().c_str());
    for (const auto &q : queries) {
        std::string value = "-";
        store.query(q[1], [&](const std::vector<std::string> &row) { value = row[0]; });
        std::printf("  %-14s %s\n", q[0], value.c_str());
    }
    return 0;
}

// The securities of a store in key order (the order of the history scan), with what each
// holds.
int list(const Arguments &a) {
    ReadOnlyStore store(a[0], toDb(a[1]));
    std::printf("%-12s %-9s %-8s %-5s %-12s %9s %9s %s\n", "symbol", "qualifier", "category",
                "quote", "fundamentals", "history", "bars", "CANT");
    store.query("SELECT s.symbol, s.qualifier, s.category,"
                " EXISTS (SELECT 1 FROM quotes q WHERE q.security_id = s.id),"
                " EXISTS (SELECT 1 FROM fundamentals f WHERE f.security_id = s.id),"
                " (SELECT COUNT(*) FROM history h WHERE h.security_id = s.id),"
                " (SELECT COUNT(*) FROM bars b WHERE b.security_id = s.id),"
                " EXISTS (SELECT 1 FROM cant_records c WHERE c.security_id = s.id)"
                " FROM securities s ORDER BY s.key",
                [](const std::vector<std::string> &r) {
                    auto yes = [](const std::string &flag) { return flag == "1" ? "yes" : "-"; };
                    std::printf("%-12s %-9s %-8s %-5s %-12s %9s %9s %s\n", r[0].c_str(),
                                r[1].c_str(), r[2].c_str(), yes(r[3]), yes(r[4]), r[5].c_str(),
                                r[6].c_str(), yes(r[7]));
                });
    return 0;
}

// What the scan callback has seen; one scan runs at a time.
struct ScanCount {
    int64_t rows = 0;
    int32_t status = 0;
    int32_t event = 0; // of the delivery that reported a status
    unsigned char request[SECURITY_KEY_SIZE] = {};
    unsigned char first[SECURITY_KEY_SIZE] = {};
} scanCount;

int32_t DBA_CALLBACK_CALL countRows(int32_t, int32_t event, const void *key, const void *, int32_t,
                                    int32_t status, void *scanBlock) {
    auto *sb = static_cast<HistoryScanBlock *>(scanBlock);
    ScanCount *count = &scanCount;
    if (event == SCAN_EVENT_IGNORED) {
        return 1;
    }
    if (status != 0) {
        count->status = status;
        count->event = event;
        sb->done = 1;
        return 1;
    }
    const auto *k = static_cast<const unsigned char *>(key);
    if (sb->started == 0) {
        std::memcpy(count->first, k, SECURITY_KEY_SIZE);
    }
    // Rows belong to the scan while the whole symbol is the requested one, and the qualifier
    // too: the requested one, or the first delivery's when the request names none.
    static const std::string noQualifier(KEY_QUALIFIER_SIZE, ' ');
    const bool anyQualifier = std::memcmp(count->request + KEY_QUALIFIER_OFFSET, noQualifier.data(),
                                          KEY_QUALIFIER_SIZE) == 0;
    if (std::memcmp(count->request + KEY_SYMBOL_OFFSET, k + KEY_SYMBOL_OFFSET, KEY_SYMBOL_SIZE) !=
            0 ||
        std::memcmp((anyQualifier ? count->first : count->request) + KEY_QUALIFIER_OFFSET,
                    k + KEY_QUALIFIER_OFFSET, KEY_QUALIFIER_SIZE) != 0) {
        sb->done = 1;
        return 1;
    }
    count->rows += HISTORY_BLOCK_RECORDS;
    return 0;
}

void openForRead(const std::string &folder, int32_t db, FeedControlBlock &cb) {
    pcqw32_set_data_dir(folder.c_str());
    if (int32_t st = dbax(&cb, DBA_ATTACH, nullptr, nullptr, db)) {
        char message[512];
        pcqw32_last_error(message, sizeof message);
        throw std::runtime_error("attach failed with status " + std::to_string(st) + ": " +
                                 message);
    }
}

// Runs a history scan the way a client does: position, wait, then get-next and wait until
// the callback ends it.
int scan(const Arguments &a) {
    const std::string &folder = a[0], &symbol = a[2];
    const std::string qualifier = a.size() > 3 ? a[3] : "";
    const int32_t db = toDb(a[1]);
    FeedControlBlock cb;
    openForRead(folder, db, cb);
    unsigned char key[SECURITY_KEY_SIZE];
    if (!pcqw32::makeKey(symbol, qualifier, key)) {
        throw std::runtime_error("symbol or qualifier too long");
    }
    HistoryScanBlock sb = {};
    scanCount = ScanCount{};
    std::memcpy(scanCount.request, key, sizeof key);
    unsigned char next[SCAN_NEXT_KEY_SIZE] = {};
    const auto start = std::chrono::steady_clock::now();
    sb.callback = countRows;
    sb.mode = SCAN_MODE_POSITION;
    int32_t st = dbax(&cb, DBA_GET_APPROX, key, &sb, 0);
    if (st == 0) {
        dbax(&cb, DBA_WAIT_APPROX, nullptr, &sb, SCAN_WAIT_PARAMETER);
        sb.mode = SCAN_MODE_NEXT;
        while (sb.done == 0 && st == 0) {
            st = dbax(&cb, DBA_GET_APPROX, next, &sb, 0);
            dbax(&cb, DBA_WAIT_APPROX, nullptr, &sb, SCAN_WAIT_PARAMETER);
        }
    }
    const double elapsed = secondsSince(start);
    dbax(&cb, DBA_DETACH, nullptr, nullptr, 0);
    std::string ending;
    if (st != 0) {
        ending = ", DBA_GET_APPROX failed with status " + std::to_string(st);
    } else if (scanCount.status != 0) {
        ending = ", ended by a delivery with status " + std::to_string(scanCount.status) +
                 " and event " + std::to_string(scanCount.event) +
                 (scanCount.event == SCAN_EVENT_END_OF_DATA ? " (end of data)" : "");
    }
    std::printf("%lld history rows in %.3f s (%d feed calls)%s\n",
                static_cast<long long>(scanCount.rows), elapsed, pcqw32_call_count(-1),
                ending.c_str());
    return 0;
}

int bars(const Arguments &a) {
    const std::string &folder = a[0], &symbol = a[2];
    const std::string qualifier = a.size() > 3 ? a[3] : "";
    const int32_t db = toDb(a[1]);
    FeedControlBlock cb;
    openForRead(folder, db, cb);
    unsigned char key[BAR_KEY_SIZE];
    std::memset(key, ' ', sizeof key);
    if (!pcqw32::makeKey(symbol, qualifier, key)) {
        throw std::runtime_error("symbol or qualifier too long");
    }
    unsigned char record[SECURITY_RECORD_SIZE];
    unsigned char block[BAR_BLOCK_BUFFER_SIZE];
    const auto start = std::chrono::steady_clock::now();
    int32_t st = dbax(&cb, DBA_GET_RECORD, key, record, 0);
    int64_t blocks = 0;
    if (st == 0) {
        st = dbax(&cb, DBA_GET_FIRST_BLOCK, record, block, 0);
        while (st == 0) {
            ++blocks;
            st = dbax(&cb, DBA_GET_NEXT_BLOCK, record, block, 0);
        }
    }
    const double elapsed = secondsSince(start);
    dbax(&cb, DBA_DETACH, nullptr, nullptr, 0);
    std::printf("%lld bar blocks (%lld rows) in %.3f s, ended with status %d\n",
                static_cast<long long>(blocks),
                static_cast<long long>(blocks * static_cast<int64_t>(BAR_BLOCK_RECORDS)), elapsed,
                static_cast<int>(st));
    return 0;
}

// The tool's commands; `arguments` follow the command's name.
struct Command {
    const char *name;
    const char *arguments;
    std::size_t least, most; // how many arguments it takes
    int (*run)(const Arguments &);
    const char *help;
};

const Command COMMANDS[] = {
    {"generate", "[--force] <folder>", 1, 2, generate,
     "write the sample stores db1 and db2; --force replaces samples imported into, never "
     "other stores"},
    {"import", "<folder> <db> <kind> <file.csv>", 4, 4, import,
     "load a CSV file into a store; kind: quotes fundamentals history bars cant securities "
     "version"},
    {"set", "<folder> <db> <setting> <value>", 4, 4, set,
     "record_kind quote|fundamentals, or event52_every <n>"},
    {"info", "<folder> <db>", 2, 2, info, "how many records of each kind a store holds"},
    {"list", "<folder> <db>", 2, 2, list, "the securities of a store and what each holds"},
    {"scan", "<folder> <db> <symbol> [qualifier]", 3, 4, scan, "a timed history scan through dbax"},
    {"bars", "<folder> <db> <symbol> [qualifier]", 3, 4, bars,
     "a timed bar series read through dbax"},
};

void usage(std::FILE *out) {
    std::fprintf(out, "usage: pcqw32-sim <command> <arguments>\n\n");
    for (const Command &c : COMMANDS) {
        std::fprintf(out, "  pcqw32-sim %s %s\n      %s\n", c.name, c.arguments, c.help);
    }
    std::fprintf(out, "%s      the recordings of a store, and their calls decoded\n",
                 pcqw32::RECORDING_USAGE);
    std::fprintf(out, "\nExit status: 0 on success, 1 when the command failed, 2 on a usage "
                      "error.\n");
}

int usageError(const std::string &what) {
    std::fprintf(stderr, "pcqw32-sim: %s\n", what.c_str());
    usage(stderr);
    return 2;
}

int run(int argc, char **argv) {
    if (argc < 2) {
        return usageError("no command given");
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        usage(stdout);
        return 0;
    }
    const Arguments arguments(argv + 2, argv + argc);
    for (const Command &c : COMMANDS) {
        if (name != c.name) {
            continue;
        }
        if (arguments.size() < c.least || arguments.size() > c.most) {
            std::fprintf(stderr, "pcqw32-sim: usage: pcqw32-sim %s %s\n", c.name, c.arguments);
            return 2;
        }
        try {
            return c.run(arguments);
        } catch (const UsageError &e) {
            std::fprintf(stderr, "pcqw32-sim: %s\npcqw32-sim: usage: pcqw32-sim %s %s\n", e.what(),
                         c.name, c.arguments);
            return 2;
        }
    }
    // The recording's own commands (recordings, calls).
    if (const int rc = pcqw32::recordingCommand(argc, argv); rc >= 0) {
        return rc;
    }
    return usageError("unknown command \"" + name + "\"");
}

} // namespace

int main(int argc, char **argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "pcqw32-sim: %s\n", e.what());
        return 1;
    }
}
