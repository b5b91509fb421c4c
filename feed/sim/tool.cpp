// pcqw32-sim: builds and examines the simulated feed's stores, and replays reads through the
// feed library itself to show what a client receives and how long it takes.

#include "dbax.h"
#include "pcqw32_sim.h"
#include "store.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

void usage() {
    std::fprintf(stderr, "usage:\n"
                         "  pcqw32-sim generate <folder>\n"
                         "  pcqw32-sim import <folder> <db> <kind> <file.csv>\n"
                         "      kind: quotes fundamentals history bars cant securities version\n"
                         "  pcqw32-sim set <folder> <db> <setting> <value>\n"
                         "      setting: record_kind (quote|fundamentals), event52_every (n)\n"
                         "  pcqw32-sim info <folder> <db>\n"
                         "  pcqw32-sim scan <folder> <db> <symbol> [qualifier]\n"
                         "  pcqw32-sim bars <folder> <db> <symbol> [qualifier]\n");
}

int32_t to_int(const char *text) {
    char *end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0') {
        throw std::runtime_error(std::string("\"") + text + "\" is not a number");
    }
    return static_cast<int32_t>(v);
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void info(const std::string &folder, int32_t db) {
    if (!std::filesystem::exists(pcqw32::store_path(folder, db))) {
        throw std::runtime_error(pcqw32::store_path(folder, db) + " does not exist");
    }
    pcqw32::StoreWriter w(folder, db, false);
    static const char *const queries[][2] = {
        {"record kind", "SELECT value FROM settings WHERE name = 'record_kind'"},
        {"securities", "SELECT COUNT(*) FROM securities"},
        {"quotes", "SELECT COUNT(*) FROM quotes"},
        {"fundamentals", "SELECT COUNT(*) FROM fundamentals"},
        {"history rows", "SELECT COUNT(*) FROM history"},
        {"bar rows", "SELECT COUNT(*) FROM bars"},
        {"CANT records", "SELECT COUNT(*) FROM cant_records"}};
    std::printf("%s\n", pcqw32::store_path(folder, db).c_str());
    for (const auto &q : queries) {
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(w.handle(), q[1], -1, &st, nullptr);
        const char *value = st && sqlite3_step(st) == SQLITE_ROW
                                ? reinterpret_cast<const char *>(sqlite3_column_text(st, 0))
                                : "-";
        std::printf("  %-14s %s\n", q[0], value ? value : "-");
        sqlite3_finalize(st);
    }
}

// What the scan callback has seen; one scan runs at a time.
struct ScanCount {
    int64_t rows = 0;
    int32_t status = 0;
    unsigned char first[18] = {};
} scanCount;

int32_t DBA_CALL count_rows(int32_t, int32_t event, const void *key, const void *, int32_t,
                            int32_t status, void *scanBlock) {
    auto *sb = static_cast<HistoryScanBlock *>(scanBlock);
    ScanCount *count = &scanCount;
    if (event == 52) {
        return 1;
    }
    if (status != 0) {
        count->status = status;
        sb->done = 1;
        return 1;
    }
    if (sb->started == 0) {
        std::memcpy(count->first, key, 18);
    }
    if (std::memcmp(count->first + 2, static_cast<const unsigned char *>(key) + 2, 3) != 0) {
        sb->done = 1;
        return 1;
    }
    count->rows += 8;
    return 0;
}

void open_for_read(const std::string &folder, int32_t db, FeedControlBlock &cb) {
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
void scan(const std::string &folder, int32_t db, const std::string &symbol,
          const std::string &qualifier) {
    FeedControlBlock cb;
    open_for_read(folder, db, cb);
    unsigned char key[18];
    if (!pcqw32::make_key(symbol, qualifier, key)) {
        throw std::runtime_error("symbol or qualifier too long");
    }
    HistoryScanBlock sb = {};
    scanCount = ScanCount{};
    unsigned char next[24] = {};
    const auto start = std::chrono::steady_clock::now();
    sb.callback = count_rows;
    sb.mode = 1;
    int32_t st = dbax(&cb, DBA_GET_APPROX, key, &sb, 0);
    if (st == 0) {
        dbax(&cb, DBA_WAIT_APPROX, nullptr, &sb, -1);
        sb.mode = 4;
        while (sb.done == 0 && st == 0) {
            st = dbax(&cb, DBA_GET_APPROX, next, &sb, 0);
            dbax(&cb, DBA_WAIT_APPROX, nullptr, &sb, -1);
        }
    }
    const double elapsed = seconds_since(start);
    dbax(&cb, DBA_DETACH, nullptr, nullptr, 0);
    std::printf("%lld history rows in %.3f s (%d feed calls)%s\n",
                static_cast<long long>(scanCount.rows), elapsed, pcqw32_call_count(-1),
                scanCount.status
                    ? (", ended with status " + std::to_string(scanCount.status)).c_str()
                    : "");
}

void bars(const std::string &folder, int32_t db, const std::string &symbol,
          const std::string &qualifier) {
    FeedControlBlock cb;
    open_for_read(folder, db, cb);
    unsigned char key[32];
    std::memset(key, ' ', sizeof key);
    if (!pcqw32::make_key(symbol, qualifier, key)) {
        throw std::runtime_error("symbol or qualifier too long");
    }
    unsigned char record[256];
    unsigned char block[260];
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
    const double elapsed = seconds_since(start);
    dbax(&cb, DBA_DETACH, nullptr, nullptr, 0);
    std::printf("%lld bar blocks (%lld rows) in %.3f s, ended with status %d\n",
                static_cast<long long>(blocks), static_cast<long long>(blocks * 8), elapsed,
                static_cast<int>(st));
}

int run(int argc, char **argv) {
    if (argc < 3) {
        usage();
        return 2;
    }
    const std::string command = argv[1];
    const std::string folder = argv[2];
    if (command == "generate" && argc == 3) {
        const auto start = std::chrono::steady_clock::now();
        std::vector<std::string> log;
        pcqw32::generate_sample(folder, log);
        for (const std::string &line : log) {
            std::printf("%s\n", line.c_str());
        }
        std::printf("generated in %.2f s\n", seconds_since(start));
        return 0;
    }
    if (argc < 4) {
        usage();
        return 2;
    }
    const int32_t db = to_int(argv[3]);
    if (command == "import" && argc == 6) {
        std::vector<std::string> warnings;
        const int64_t n = pcqw32::import_csv(folder, db, argv[4], argv[5], warnings);
        for (const std::string &w : warnings) {
            std::fprintf(stderr, "warning: %s\n", w.c_str());
        }
        std::printf("imported %lld rows into %s\n", static_cast<long long>(n),
                    pcqw32::store_path(folder, db).c_str());
        return 0;
    }
    if (command == "set" && argc == 6) {
        pcqw32::StoreWriter w(folder, db, false);
        const std::string name = argv[4], value = argv[5];
        if (name == "record_kind" && value != "quote" && value != "fundamentals") {
            throw std::runtime_error("record_kind is quote or fundamentals");
        }
        if (name != "record_kind" && name != "event52_every") {
            throw std::runtime_error("unknown setting " + name);
        }
        w.set_setting(name, value);
        return 0;
    }
    if (command == "info" && argc == 4) {
        info(folder, db);
        return 0;
    }
    if ((command == "scan" || command == "bars") && (argc == 5 || argc == 6)) {
        const std::string qualifier = argc == 6 ? argv[5] : "";
        if (command == "scan") {
            scan(folder, db, argv[4], qualifier);
        } else {
            bars(folder, db, argv[4], qualifier);
        }
        return 0;
    }
    usage();
    return 2;
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
