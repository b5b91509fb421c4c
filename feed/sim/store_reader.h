// The store's read side, used by the feed: opens a store read-only, prepares every statement
// once and answers the lookups and row cursors that `dbax` needs. Never throws: failures come
// back as feed status codes.
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

struct SecurityInfo {
    int64_t id = 0;
    std::string symbol, qualifier, category;
    unsigned char key[kKeySize] = {};
};

class StoreReader {
  public:
    StoreReader() = default;
    ~StoreReader();
    StoreReader(const StoreReader &) = delete;
    StoreReader &operator=(const StoreReader &) = delete;

    // Opens the file read-only and prepares every statement; PCQW32_STORE_ABSENT when the
    // file cannot be opened, PCQW32_STORE_INVALID when it is not a store.
    int32_t open(const std::string &path);
    const std::string &error() const { return error_; }

    RecordKind kind() const { return kind_; }
    int32_t event52_every() const { return event52Every_; }

    bool find_security(const unsigned char *key, SecurityInfo &out);
    bool security_by_id(int64_t id, SecurityInfo &out);
    // First security with history whose key is at or after (or strictly after) `key`.
    bool history_security_from(const unsigned char *key, bool strictlyAfter, SecurityInfo &out);

    bool read_quote(int64_t id, QuoteValues &out);
    bool read_fundamentals(int64_t id, FundamentalsValues &out);
    bool read_cant(int64_t id, CantValues &out);
    bool read_version(VersionValues &out);

    // Row cursors: start on a security, then take up to eight rows per call.
    void start_history(int64_t id);
    int next_history(HistoryRow *rows, int count);
    void start_bars(int64_t id);
    int next_bars(BarRow *rows, int count);

  private:
    sqlite3_stmt *prepare(const char *sql);
    bool read_security(sqlite3_stmt *st, SecurityInfo &out);

    sqlite3 *db_ = nullptr;
    std::string error_;
    RecordKind kind_ = RecordKind::Quote;
    int32_t event52Every_ = 0;
    std::vector<sqlite3_stmt *> statements_;
    sqlite3_stmt *findSecurity_ = nullptr, *securityById_ = nullptr;
    sqlite3_stmt *historyFrom_ = nullptr, *historyAfter_ = nullptr;
    sqlite3_stmt *quote_ = nullptr, *fundamentals_ = nullptr, *cant_ = nullptr;
    sqlite3_stmt *version_ = nullptr, *history_ = nullptr, *bars_ = nullptr;
    bool historyDone_ = true, barsDone_ = true;
};

} // namespace pcqw32

#endif
