// The simulator's CSV import over a file a user hands it: the first byte picks the kind of
// file, the rest is the file's text. Every input imports into a fresh store, and the target
// aborts when the import breaks its word:
// - it fails with anything but a std::runtime_error, or with a message that does not name
//   the file (or, for an unknown kind, the kind);
// - a failed import leaves anything in the store (all or nothing);
// - a successful one imports more rows than the file has lines, or leaves a record, history
//   block, bar block or version in the store that the feed could not encode to serve it.
#include "csv_import.h"
#include "records.h"
#include "scratch_folder.h"
#include "store_fields.h"
#include "store_reader.h"
#include "store_writer.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int32_t DATABASE = 1;
const char *const FILE_NAME = "fuzz.csv";
const char *const KINDS[] = {"quotes", "fundamentals", "history", "bars",
                             "cant",   "securities",   "version"};
constexpr size_t KIND_COUNT = sizeof KINDS / sizeof KINDS[0];

[[noreturn]] void fail(const std::string &what) {
    std::fprintf(stderr, "csv import check: %s\n", what.c_str());
    std::abort();
}

// The store's folder, and the bytes of an empty store, written over the store before every
// input: cheaper than creating its tables each time.
struct Scratch {
    std::string folder;
    std::string store;
    std::string emptyStore;
};

Scratch &scratch() {
    static Scratch s;
    if (s.folder.empty()) {
        s.folder = fuzzscratch::folder("csv_import_fuzzer");
        s.store = pcqw32::databasePath(s.folder, DATABASE);
        { pcqw32::StoreWriter empty(s.folder, DATABASE, true); }
        s.emptyStore = fuzzscratch::readFile(s.store);
    }
    return s;
}

void freshStore() {
    Scratch &s = scratch();
    std::error_code ec;
    std::filesystem::remove(s.store + "-journal", ec);
    if (!fuzzscratch::writeFile(s.store, s.emptyStore)) {
        fail("cannot write the empty store");
    }
}

// The store's file is still the empty store's bytes: a failed import that rolled back wrote
// nothing, and then the rows need no count (opening the store would parse its schema again).
bool storeUntouched() {
    return fuzzscratch::readFile(scratch().store) == scratch().emptyStore;
}

// Rows of every table that an import fills.
int64_t storedRows() {
    if (storeUntouched()) {
        return 0;
    }
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(scratch().store.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        fail("cannot open the store after a failed import");
    }
    sqlite3_stmt *st = nullptr;
    const char *sql = "SELECT (SELECT COUNT(*) FROM securities) + (SELECT COUNT(*) FROM quotes) +"
                      " (SELECT COUNT(*) FROM fundamentals) + (SELECT COUNT(*) FROM history) +"
                      " (SELECT COUNT(*) FROM bars) + (SELECT COUNT(*) FROM cant_records)";
    int64_t rows = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
        rows = sqlite3_column_int64(st, 0);
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    if (rows < 0) {
        fail("cannot count the rows of the store after a failed import");
    }
    return rows;
}

void requireEncoded(const pcqw32::EncodeError &error, const char *what) {
    if (error) {
        fail(std::string("an imported ") + what + " cannot be served: " + error.message);
    }
}

// Everything the import wrote, read back as the feed reads it and encoded as it serves it.
void serveEverything() {
    pcqw32::StoreReader reader;
    if (reader.open(scratch().store) != 0) {
        fail("the store an import wrote cannot be opened: " + reader.error());
    }
    pcqw32::VersionValues version;
    unsigned char record[RECORD_BUFFER_SIZE];
    if (reader.readVersion(version) == pcqw32::Lookup::FOUND) {
        requireEncoded(pcqw32::encodeVersion(version, record), "version");
    }
    pcqw32::SecurityInfo security;
    for (int64_t id = 1; reader.securityById(id, security) == pcqw32::Lookup::FOUND; ++id) {
        pcqw32::QuoteValues quote;
        if (reader.readQuote(id, quote) == pcqw32::Lookup::FOUND) {
            requireEncoded(pcqw32::encodeQuote(quote, record), "quote");
        }
        pcqw32::FundamentalsValues fundamentals;
        if (reader.readFundamentals(id, fundamentals) == pcqw32::Lookup::FOUND) {
            requireEncoded(pcqw32::encodeFundamentals(fundamentals, record), "fundamentals record");
        }
        pcqw32::CantValues cant;
        unsigned char cantRecord[CANT_RECORD_SIZE];
        if (reader.readCant(id, cant) == pcqw32::Lookup::FOUND) {
            requireEncoded(pcqw32::encodeCant(security.key, cant, cantRecord), "CANT record");
        }
        pcqw32::HistoryRow trades[HISTORY_BLOCK_RECORDS];
        unsigned char historyBlock[HISTORY_BLOCK_SIZE];
        reader.startHistory(id);
        for (int got; (got = reader.nextHistory(trades, HISTORY_BLOCK_RECORDS)) > 0;) {
            requireEncoded(pcqw32::encodeHistoryBlock(trades, got, historyBlock), "history block");
        }
        pcqw32::BarRow bars[BAR_BLOCK_RECORDS];
        unsigned char barBlock[BAR_BLOCK_SIZE];
        reader.startBars(id);
        for (int got; (got = reader.nextBars(bars, BAR_BLOCK_RECORDS)) > 0;) {
            requireEncoded(pcqw32::encodeBarBlock(bars, got, barBlock), "bar block");
        }
    }
}

bool startsWith(const std::string &text, const std::string &start) {
    return text.compare(0, start.size(), start) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    if (size == 0) {
        return 0;
    }
    // One byte value in 256 names a kind the import does not know.
    const bool unknownKind = bytes[0] == 0xFF;
    const std::string kind = unknownKind ? "trades" : KINDS[bytes[0] % KIND_COUNT];
    std::string text(reinterpret_cast<const char *>(bytes) + 1, size - 1);
    // Lines as the reader ends them: at a line feed, a carriage return and line feed, or a
    // carriage return alone.
    int64_t lines = 1;
    for (size_t i = 0; i < text.size(); ++i) {
        lines +=
            text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'));
    }

    freshStore();
    std::vector<std::string> warnings;
    int64_t imported = -1;
    try {
        imported = pcqw32::importCsvText(scratch().folder, DATABASE, kind, std::move(text),
                                         FILE_NAME, warnings);
    } catch (const std::runtime_error &e) {
        const std::string message = e.what();
        if (!startsWith(message, unknownKind ? "unknown kind" : std::string(FILE_NAME) + ":")) {
            fail("an import failed with a message that names neither the file nor the kind: " +
                 message);
        }
        if (storedRows() != 0) {
            fail("a failed import left rows in the store: " + message);
        }
        return 0;
    }
    if (unknownKind) {
        fail("a file of an unknown kind was imported");
    }
    if (imported < 0 || imported >= lines) {
        fail("the import counts " + std::to_string(imported) + " rows in a file of " +
             std::to_string(lines) + " lines, its header among them");
    }
    for (const std::string &warning : warnings) {
        if (!startsWith(warning, FILE_NAME)) {
            fail("a warning does not name the file: " + warning);
        }
    }
    serveEverything();
    return 0;
}
