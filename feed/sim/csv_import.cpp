// Loads users' CSV files into a store. The header line names the columns with the store's
// column names; every row goes through the same value structures and range checks as the
// sample generator, so whatever is imported can be served.

#include "csv_import.h"

#include "store_writer.h"

#include <sqlite3.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace pcqw32 {

namespace {

// Parses a CSV cell into a field; returns an empty string or the reason.
std::string parse_field(const FieldRef &f, const std::string &text) {
    switch (f.kind) {
    case FieldKind::Int32:
    case FieldKind::Int64: {
        int64_t v = 0;
        if (!parse_int(text, v)) {
            return std::string(f.name) + ": \"" + text + "\" is not an integer";
        }
        if (f.kind == FieldKind::Int32) {
            if (v < INT32_MIN || v > INT32_MAX) {
                return std::string(f.name) + ": " + text + " is out of range";
            }
            *static_cast<int32_t *>(f.ptr) = static_cast<int32_t>(v);
        } else {
            *static_cast<int64_t *>(f.ptr) = v;
        }
        return {};
    }
    case FieldKind::Double: {
        if (text.empty()) {
            *static_cast<double *>(f.ptr) = 0;
            return {};
        }
        char *end = nullptr;
        const double v = std::strtod(text.c_str(), &end);
        if (end == text.c_str() || *end != '\0') {
            return std::string(f.name) + ": \"" + text + "\" is not a number";
        }
        *static_cast<double *>(f.ptr) = v;
        return {};
    }
    case FieldKind::Text:
        *static_cast<std::string *>(f.ptr) = text;
        return {};
    case FieldKind::Date:
        if (!parse_date(text, *static_cast<FeedDate *>(f.ptr))) {
            return std::string(f.name) + ": \"" + text + "\" is not a YYYY-MM-DD date";
        }
        return {};
    }
    return {};
}

// Splits one CSV record; double quotes enclose fields holding commas or quotes ("").
// Returns false when a quoted field is not closed on this line.
bool split_csv(const std::string &line, std::vector<std::string> &fields) {
    fields.clear();
    std::string current;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char ch = line[i];
        if (quoted) {
            if (ch == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                current += '"';
                ++i;
            } else if (ch == '"') {
                quoted = false;
            } else {
                current += ch;
            }
        } else if (ch == '"') {
            quoted = true;
        } else if (ch == ',') {
            fields.push_back(current);
            current.clear();
        } else {
            current += ch;
        }
    }
    fields.push_back(current);
    return !quoted;
}

std::string trim(const std::string &s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) {
        ++b;
    }
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) {
        --e;
    }
    return s.substr(b, e - b);
}

int64_t count(sqlite3 *db, const std::string &sql) {
    sqlite3_stmt *st = nullptr;
    int64_t n = 0;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
        n = sqlite3_column_int64(st, 0);
    }
    sqlite3_finalize(st);
    return n;
}

// The record kind follows the snapshot data imported: a store serves quotes or fundamentals.
void settle_kind(StoreWriter &w, const std::string &kind, int32_t db) {
    if (kind != "quotes" && kind != "fundamentals") {
        return;
    }
    const std::string other = kind == "quotes" ? "fundamentals" : "quotes";
    if (count(w.handle(), "SELECT COUNT(*) FROM " + other) > 0) {
        throw std::runtime_error("database " + std::to_string(db) + " already serves " + other +
                                 "; import " + kind + " into another database number");
    }
    w.set_kind(kind == "quotes" ? RecordKind::Quote : RecordKind::Fundamentals);
}

// Histories end on a block of eight.
void history_warnings(sqlite3 *db, std::vector<std::string> &warnings) {
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT s.symbol, s.qualifier, COUNT(*) FROM securities s JOIN history h "
                       "ON h.security_id = s.id GROUP BY s.id ORDER BY s.key",
                       -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW) {
        const std::string symbol = reinterpret_cast<const char *>(sqlite3_column_text(st, 0));
        const std::string qualifier = reinterpret_cast<const char *>(sqlite3_column_text(st, 1));
        const int64_t rows = sqlite3_column_int64(st, 2);
        if (rows % 8 != 0) {
            warnings.push_back("history of " + symbol + "/" + qualifier + " has " +
                               std::to_string(rows) +
                               " rows; its last block is completed with zero records");
        }
    }
    sqlite3_finalize(st);
}

} // namespace

int64_t import_csv(const std::string &folder, int32_t db, const std::string &kind,
                   const std::string &csvPath, std::vector<std::string> &warnings) {
    static const char *const kinds[] = {"quotes", "fundamentals", "history", "bars",
                                        "cant",   "securities",   "version"};
    bool knownKind = false;
    for (const char *k : kinds) {
        knownKind = knownKind || kind == k;
    }
    if (!knownKind) {
        throw std::runtime_error("unknown kind \"" + kind +
                                 "\" (quotes, fundamentals, history, bars, cant, securities, "
                                 "version)");
    }
    std::ifstream in(csvPath, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + csvPath);
    }
    std::string line;
    std::vector<std::string> header;
    if (!std::getline(in, line) || !split_csv(line, header)) {
        throw std::runtime_error(csvPath + ": no header line");
    }
    if (header.size() == 1 && header[0].size() >= 3 &&
        header[0].compare(0, 3, "\xEF\xBB\xBF") == 0) {
        header[0] = header[0].substr(3);
    }
    for (std::string &h : header) {
        h = trim(h);
        if (h.size() >= 3 && h.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            h = h.substr(3);
        }
    }

    StoreWriter w(folder, db, false);
    w.begin();
    int64_t imported = 0;
    int64_t lineNo = 1;
    try {
        settle_kind(w, kind, db);
        std::map<int64_t, std::vector<HistoryRow>> history;
        std::map<int64_t, std::vector<BarRow>> bars;
        std::vector<int64_t> order; // securities in the order they first appear
        std::vector<std::string> cells;
        while (std::getline(in, line)) {
            ++lineNo;
            if (trim(line).empty()) {
                continue;
            }
            if (!split_csv(line, cells)) {
                throw std::runtime_error("unclosed quote");
            }
            if (cells.size() != header.size()) {
                throw std::runtime_error(std::to_string(cells.size()) + " fields, the header has " +
                                         std::to_string(header.size()));
            }
            std::string symbol, qualifier, category = "equity";
            QuoteValues q;
            FundamentalsValues f;
            HistoryRow h;
            BarRow b;
            CantValues c;
            VersionValues v;
            std::vector<FieldRef> fields;
            if (kind == "quotes") {
                fields = quote_fields(q);
            } else if (kind == "fundamentals") {
                fields = fundamentals_fields(f);
            } else if (kind == "history") {
                fields = history_fields(h);
            } else if (kind == "bars") {
                fields = bar_fields(b);
            } else if (kind == "cant") {
                fields = cant_fields(c);
            } else if (kind == "version") {
                fields = version_fields(v);
            }
            bool hasSymbol = false;
            for (std::size_t i = 0; i < header.size(); ++i) {
                const std::string cell = trim(cells[i]);
                const std::string &name = header[i];
                if (name == "symbol") {
                    symbol = cell;
                    hasSymbol = true;
                    continue;
                }
                if (name == "qualifier") {
                    qualifier = cell;
                    continue;
                }
                if (name == "category" && kind != "version") {
                    category = cell.empty() ? "equity" : cell;
                    continue;
                }
                bool known = false;
                for (const FieldRef &field : fields) {
                    if (name == field.name) {
                        known = true;
                        const std::string error = parse_field(field, cell);
                        if (!error.empty()) {
                            throw std::runtime_error(error);
                        }
                    }
                }
                if (!known) {
                    throw std::runtime_error("unknown column \"" + name + "\"");
                }
            }
            if (kind == "version") {
                w.set_version(v);
                ++imported;
                continue;
            }
            if (!hasSymbol) {
                throw std::runtime_error("the file has no symbol column");
            }
            const int64_t id = w.add_security(symbol, qualifier, category);
            if (kind == "quotes") {
                w.put_quote(id, q);
            } else if (kind == "fundamentals") {
                w.put_fundamentals(id, f);
            } else if (kind == "cant") {
                w.put_cant(id, c);
            } else if (kind == "history" || kind == "bars") {
                if (history.find(id) == history.end() && bars.find(id) == bars.end()) {
                    order.push_back(id);
                }
                if (kind == "history") {
                    const EncodeError e = check_history_row(h);
                    if (e) {
                        throw std::runtime_error(e.message);
                    }
                    history[id].push_back(h);
                } else {
                    const EncodeError e = check_bar_row(b);
                    if (e) {
                        throw std::runtime_error(e.message);
                    }
                    bars[id].push_back(b);
                }
            }
            ++imported;
        }
        lineNo = -1; // errors from here on concern whole series, not one line
        for (int64_t id : order) {
            w.append_history(id, history[id]);
            w.append_bars(id, bars[id]);
        }
        if (kind == "history") {
            history_warnings(w.handle(), warnings);
        }
        w.commit();
    } catch (const std::exception &e) {
        w.rollback();
        if (lineNo > 0) {
            throw std::runtime_error(csvPath + ":" + std::to_string(lineNo) + ": " + e.what());
        }
        throw std::runtime_error(csvPath + ": " + e.what());
    }
    return imported;
}

} // namespace pcqw32
