// The store's write side, used by the tool, the sample generator, the CSV import and the
// tests. Throws std::runtime_error on any failure, including a value that does not fit its
// record.
#ifndef QUORVEX_FEED_SIM_STORE_WRITER_H
#define QUORVEX_FEED_SIM_STORE_WRITER_H

#include "records.h"
#include "store_fields.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace pcqw32 {

class StoreWriter {
  public:
    // Opens (creating when absent) the store of database `db` in `folder`, creating the
    // folder too. `fresh` deletes an existing file first.
    StoreWriter(const std::string &folder, int32_t db, bool fresh);
    ~StoreWriter();
    StoreWriter(const StoreWriter &) = delete;
    StoreWriter &operator=(const StoreWriter &) = delete;

    void begin();
    void commit();
    void rollback();

    void setSetting(const std::string &name, const std::string &value);
    // A sample written into is no longer the generator's to replace (SAMPLE_SETTING).
    void markSampleImported();
    void setKind(RecordKind kind);
    void setVersion(const VersionValues &v);
    // Id of the security, adding it when absent.
    int64_t addSecurity(const std::string &symbol, const std::string &qualifier,
                        const std::string &category = "equity");
    void putQuote(int64_t id, const QuoteValues &v);
    void putFundamentals(int64_t id, const FundamentalsValues &v);
    // Appends rows after the security's stored rows. The rows of one block of eight share
    // one price type, since the client scales a history block by a single code.
    void appendHistory(int64_t id, const std::vector<HistoryRow> &rows);
    void appendBars(int64_t id, const std::vector<BarRow> &rows);
    void putCant(int64_t id, const CantValues &v);
    int64_t historyRows(int64_t id);
    int64_t barRows(int64_t id);
    // The integer in the first column of the query's first row, 0 when it gives no row.
    int64_t queryInt(const std::string &sql);
    // The store's record kind, and whether a security has a record of that kind.
    RecordKind kind();
    bool holdsRecord(int64_t id);

    sqlite3 *handle() const { return db_; }

  private:
    void exec(const std::string &sql);
    sqlite3_stmt *prepare(const std::string &sql);
    // The prepared INSERT OR REPLACE of one security's record into `table`, its values bound.
    sqlite3_stmt *bindRecord(const char *table, int64_t id, const std::vector<FieldRef> &f);
    int64_t countRows(const char *table, int64_t id);

    std::string path_;
    sqlite3 *db_ = nullptr;
    std::map<std::string, sqlite3_stmt *> statements_;
};

} // namespace pcqw32

#endif
