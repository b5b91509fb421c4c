// The store's read side, used by the feed: opens a store read-only, prepares every statement
// once and answers the lookups and row cursors that `dbax` needs. Never throws: failures come
// back as feed status codes, or as Lookup::FAILED and -1 rows with error() saying what SQLite
// reported, so that a damaged or locked file is never mistaken for one without the data.
#ifndef QUORVEX_FEED_SIM_STORE_READER_H
#define QUORVEX_FEED_SIM_STORE_READER_H

#include "records.h"
#include "store_fields.h"

#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace pcqw32 {

// What a lookup found: its row, no row, or a store that SQLite could not read.
enum class Lookup { FOUND, ABSENT, FAILED };

struct SecurityInfo {
    int64_t id = 0;
    std::string symbol, qualifier, category;
    unsigned char key[SECURITY_KEY_SIZE] = {};
};

class StoreReader {
  public:
    StoreReader() = default;
    ~StoreReader();
    StoreReader(const StoreReader &) = delete;
    StoreReader &operator=(const StoreReader &) = delete;

    // Opens the file read-only and prepares every statement; PCQW32_STORE_ABSENT when the
    // file cannot be opened, PCQW32_STORE_INVALID when it is not a store,
    // PCQW32_STORE_UNREADABLE when SQLite cannot read it.
    int32_t open(const std::string &path);
    // Why open() or the last failed read failed: for a read, the file and SQLite's message.
    const std::string &error() const { return error_; }

    RecordKind kind() const { return kind_; }
    int32_t event52Every() const { return event52Every_; }

    Lookup findSecurity(const unsigned char *key, SecurityInfo &out);
    Lookup securityById(int64_t id, SecurityInfo &out);
    // First security with history whose key is at or after (or strictly after) `key`.
    Lookup historySecurityFrom(const unsigned char *key, bool strictlyAfter, SecurityInfo &out);

    Lookup readQuote(int64_t id, QuoteValues &out);
    Lookup readFundamentals(int64_t id, FundamentalsValues &out);
    Lookup readCant(int64_t id, CantValues &out);
    Lookup readVersion(VersionValues &out);

    // Row cursors: start on a security, then take up to `count` rows per call; 0 at the end,
    // -1 when the store cannot be read, and -1 again on every later call until the next start.
    void startHistory(int64_t id);
    int nextHistory(HistoryRow *rows, int count);
    void startBars(int64_t id);
    int nextBars(BarRow *rows, int count);

  private:
    sqlite3_stmt *prepare(const char *sql);
    // Keeps SQLite's message for a step that returned `rc`, neither a row nor the end.
    void stepFailed(int rc);
    Lookup readSecurity(sqlite3_stmt *st, SecurityInfo &out);
    Lookup readOne(sqlite3_stmt *st, int64_t id, const std::vector<FieldRef> &fields);

    sqlite3 *db_ = nullptr;
    std::string path_;
    std::string error_;
    int prepareError_ = 0; // SQLite's code for the first statement that could not be prepared
    RecordKind kind_ = RecordKind::QUOTE;
    int32_t event52Every_ = 0;
    std::vector<sqlite3_stmt *> statements_;
    sqlite3_stmt *findSecurity_ = nullptr, *securityById_ = nullptr;
    sqlite3_stmt *historyFrom_ = nullptr, *historyAfter_ = nullptr;
    sqlite3_stmt *quote_ = nullptr, *fundamentals_ = nullptr, *cant_ = nullptr;
    sqlite3_stmt *version_ = nullptr, *history_ = nullptr, *bars_ = nullptr;
    bool historyDone_ = true, barsDone_ = true;
    bool historyFailed_ = false, barsFailed_ = false;
};

} // namespace pcqw32

#endif
