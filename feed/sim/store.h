// The simulator's market-data store: one SQLite file per feed database number. The writer
// builds stores (sample generator, CSV import, tests); the reader serves `dbax`. Both map the
// record value structures onto table columns through one field list per record, so the
// schema, the writer, the reader and the CSV importer always name the same columns.
#ifndef QUORVEX_FEED_SIM_STORE_H
#define QUORVEX_FEED_SIM_STORE_H

#include "records.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace pcqw32 {

// How a field is held in the store and in CSV files.
enum class FieldKind { Int32, Int64, Double, Text, Date };

struct FieldRef {
    const char *name;
    FieldKind kind;
    void *ptr;
};

std::vector<FieldRef> quote_fields(QuoteValues &v);
std::vector<FieldRef> fundamentals_fields(FundamentalsValues &v);
std::vector<FieldRef> history_fields(HistoryRow &v);
std::vector<FieldRef> bar_fields(BarRow &v);
std::vector<FieldRef> cant_fields(CantValues &v);
std::vector<FieldRef> version_fields(VersionValues &v);

// Parses a CSV or settings text into a field; returns an empty string or the reason.
std::string parse_field(const FieldRef &f, const std::string &text);

// The full schema of a store, as SQL statements.
std::string schema_sql();

// File of database number `db` inside `folder`.
std::string store_path(const std::string &folder, int32_t db);

// Record kind of a store (setting "record_kind"): what DBA_GET_RECORD returns.
enum class RecordKind { Quote, Fundamentals };

// A fault as the store's `faults` table, PCQW32_FAULTS or pcqw32_add_fault give it.
struct FaultRule {
    int32_t point = 0; // operation code or PCQW32_POINT_DELIVERY
    int32_t status = 0;
    int32_t nth = 0; // 0: every call
    bool hasSymbol = false, hasQualifier = false;
    std::string symbol, qualifier;
    int32_t event = 2; // event code of a faulted delivery
};

// Operation code for a point given as a number or a name (attach, get_record,
// get_record_ext, detach, version, first_block, next_block, approx, wait, delivery); -1 when
// unknown.
int32_t parse_point(const std::string &text);

// Parses "point:status[:nth[:symbol[:qualifier[:event]]]]" items separated by ',' or ';'.
// Returns false with `error` set when an item is malformed.
bool parse_fault_list(const std::string &text, std::vector<FaultRule> &faults, std::string &error);

struct SecurityInfo {
    int64_t id = 0;
    std::string symbol, qualifier, category;
    unsigned char key[kKeySize] = {};
};

// Read side, used by the feed. Never throws: failures come back as feed status codes.
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
    const std::vector<FaultRule> &faults() const { return faults_; }

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
    std::vector<FaultRule> faults_;
    std::vector<sqlite3_stmt *> statements_;
    sqlite3_stmt *findSecurity_ = nullptr, *securityById_ = nullptr;
    sqlite3_stmt *historyFrom_ = nullptr, *historyAfter_ = nullptr;
    sqlite3_stmt *quote_ = nullptr, *fundamentals_ = nullptr, *cant_ = nullptr;
    sqlite3_stmt *version_ = nullptr, *history_ = nullptr, *bars_ = nullptr;
    bool historyDone_ = true, barsDone_ = true;
};

// Write side, used by the tool and the tests. Throws std::runtime_error on any failure,
// including a value that does not fit its record.
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

    void set_setting(const std::string &name, const std::string &value);
    void set_kind(RecordKind kind);
    void set_version(const VersionValues &v);
    // Id of the security, adding it when absent.
    int64_t add_security(const std::string &symbol, const std::string &qualifier,
                         const std::string &category = "equity");
    void put_quote(int64_t id, const QuoteValues &v);
    void put_fundamentals(int64_t id, const FundamentalsValues &v);
    // Appends rows after the security's stored rows. The rows of one block of eight share
    // one price type, since the client scales a history block by a single code.
    void append_history(int64_t id, const std::vector<HistoryRow> &rows);
    void append_bars(int64_t id, const std::vector<BarRow> &rows);
    void put_cant(int64_t id, const CantValues &v);
    void add_fault(const std::string &point, int32_t status, int32_t nth = 0,
                   const char *symbol = nullptr, const char *qualifier = nullptr,
                   int32_t event = 0);
    int64_t history_rows(int64_t id);
    int64_t bar_rows(int64_t id);

    sqlite3 *handle() const { return db_; }

  private:
    void exec(const std::string &sql);
    sqlite3_stmt *prepare(const std::string &sql);
    int64_t count_rows(const char *table, int64_t id);

    std::string path_;
    sqlite3 *db_ = nullptr;
    std::map<std::string, sqlite3_stmt *> statements_;
};

// Imports a CSV file (header line naming the columns) of one kind ("quotes", "fundamentals",
// "history", "bars", "cant", "securities") into database `db` of `folder`. Every row names
// its security with the columns `symbol` and `qualifier` (and optionally `category`). All or
// nothing: on an error nothing is imported and the error names the line. Returns the number
// of rows imported.
int64_t import_csv(const std::string &folder, int32_t db, const std::string &kind,
                   const std::string &csvPath, std::vector<std::string> &warnings);

// Writes the deterministic sample stores into `folder`. `log` receives one line per store.
void generate_sample(const std::string &folder, std::vector<std::string> &log);

} // namespace pcqw32

#endif
