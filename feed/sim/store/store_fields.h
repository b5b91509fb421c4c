// The store's field lists: one list per record maps the members of its value structure onto
// table columns, so the schema, the writer, the reader and the CSV importer always name the
// same columns. Beside them, the SQL that the lists generate and the value texts (integers,
// dates) that store columns and CSV cells share.
#ifndef QUORVEX_FEED_SIM_STORE_FIELDS_H
#define QUORVEX_FEED_SIM_STORE_FIELDS_H

#include "records.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct sqlite3_stmt;

namespace pcqw32 {

// How a field is held in the store and in CSV files.
enum class FieldKind { INT32, INT64, DOUBLE, TEXT, DATE };

struct FieldRef {
    const char *name;
    FieldKind kind;
    void *ptr;
    // A price: a Double sent scaled by the divisor of its record's price type (the field
    // "price_type" of the same list).
    bool price = false;
};

std::vector<FieldRef> quoteFields(QuoteValues &v);
std::vector<FieldRef> fundamentalsFields(FundamentalsValues &v);
std::vector<FieldRef> historyFields(HistoryRow &v);
std::vector<FieldRef> barFields(BarRow &v);
std::vector<FieldRef> cantFields(CantValues &v);
std::vector<FieldRef> versionFields(VersionValues &v);

// Record kind of a store (setting "record_kind"): what DBA_GET_RECORD returns.
enum class RecordKind { QUOTE, FUNDAMENTALS };

// The full schema of a store, as SQL statements.
std::string schemaSql();

// The settings row that marks a store the sample generator wrote: "untouched" until the
// importer writes into it ("imported"); the recorder removes the row when it adds its tables.
// The generator replaces untouched samples only, and never a store without the row.
constexpr const char SAMPLE_SETTING[] = "sample";
constexpr const char SAMPLE_UNTOUCHED[] = "untouched";
constexpr const char SAMPLE_IMPORTED[] = "imported";

// File of database number `db` inside `folder`.
std::string databasePath(const std::string &folder, int32_t db);
// A database number as the tools take it: decimal digits only, within 32 bits, so that no
// text names a file other than db<N>.sqlite.
bool parseDatabaseNumber(const std::string &text, int32_t &db);

// Value texts. An empty text is 0 or no date; false when the text is malformed.
bool parseInt(const std::string &text, int64_t &out);
bool parseDate(const std::string &text, FeedDate &out); // YYYY-MM-DD

// SQL built from a field list: "a, b, c" (each name after `prefix`) and "?, ?, ?".
std::string columnList(const std::vector<FieldRef> &fields, const char *prefix = "");
std::string placeholders(std::size_t n);

// Binds the fields to consecutive parameters from `first`; a zero date binds NULL.
void bindFields(sqlite3_stmt *st, int first, const std::vector<FieldRef> &fields);
// Reads the fields from consecutive result columns from `first`; false when a date text is
// malformed or a number does not fit its field.
bool readFields(sqlite3_stmt *st, int first, const std::vector<FieldRef> &fields);
// A result column as text; NULL gives an empty text.
std::string columnString(sqlite3_stmt *st, int col);

} // namespace pcqw32

#endif
