// Loads users' CSV files into a store. The header line names the columns with the store's
// column names; every row goes through the same value structures and range checks as the
// sample generator, so whatever is imported can be served.

#include "csv_import.h"

#include "store_writer.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <utility>

namespace pcqw32 {

namespace {

// A failure that concerns one line of the file.
struct LineError : std::runtime_error {
    LineError(int64_t l, const std::string &message) : std::runtime_error(message), line(l) {}
    int64_t line;
};

// Reads CSV records as RFC 4180 writes them: fields separated by commas, records by CRLF or
// LF; a field in double quotes may hold commas, line breaks and doubled quotes (""). Blanks
// around a field are dropped (inside the quotes they stay), blank lines are skipped, and a
// UTF-8 byte-order mark before the first record is dropped.
class CsvReader {
  public:
    explicit CsvReader(std::string text) : text_(std::move(text)) {
        if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            at_ = 3;
        }
    }

    // The next record that is not blank, and the line it starts on; false at the end.
    bool next(std::vector<std::string> &fields, int64_t &line) {
        while (at_ < text_.size()) {
            line = line_;
            fields.clear();
            bool quotedAny = false;
            bool more = true;
            while (more) {
                bool quoted = false;
                fields.push_back(field(quoted));
                quotedAny = quotedAny || quoted;
                more = at_ < text_.size() && text_[at_] == ',';
                if (more) {
                    ++at_;
                }
            }
            endOfRecord();
            if (fields.size() > 1 || quotedAny || !fields[0].empty()) {
                return true;
            }
        }
        return false;
    }

  private:
    static bool blank(char c) { return c == ' ' || c == '\t'; }
    bool atLineEnd() const {
        return at_ >= text_.size() || text_[at_] == '\n' || text_[at_] == '\r';
    }
    void skipBlanks() {
        while (at_ < text_.size() && blank(text_[at_])) {
            ++at_;
        }
    }

    // One field, leaving the position on the comma or line end after it.
    std::string field(bool &quoted) {
        skipBlanks();
        std::string out;
        if (at_ < text_.size() && text_[at_] == '"') {
            quoted = true;
            const int64_t opened = line_;
            ++at_;
            for (;;) {
                if (at_ >= text_.size()) {
                    throw LineError(opened, "a quoted field opened here is never closed");
                }
                const char c = text_[at_++];
                if (c == '"') {
                    if (at_ < text_.size() && text_[at_] == '"') {
                        out += '"';
                        ++at_;
                        continue;
                    }
                    break;
                }
                if (c == '\n') {
                    ++line_;
                }
                out += c;
            }
            skipBlanks();
            if (!atLineEnd() && text_[at_] != ',') {
                throw LineError(line_, "text after the closing quote of a field");
            }
            return out;
        }
        while (!atLineEnd() && text_[at_] != ',') {
            if (text_[at_] == '"') {
                throw LineError(line_, "a double quote inside a field that does not start "
                                       "with one (quote the whole field and double the quote)");
            }
            out += text_[at_++];
        }
        while (!out.empty() && blank(out.back())) {
            out.pop_back();
        }
        return out;
    }

    void endOfRecord() {
        if (at_ >= text_.size()) {
            return;
        }
        if (text_[at_] == '\r') {
            ++at_;
        }
        if (at_ < text_.size() && text_[at_] == '\n') {
            ++at_;
        }
        ++line_;
    }

    std::string text_;
    std::size_t at_ = 0;
    int64_t line_ = 1;
};

bool leapYear(int32_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// A day of the Gregorian calendar in years 1 to 9999, or no date at all.
bool calendarDate(const FeedDate &d) {
    if (d.year == 0 && d.month == 0 && d.day == 0) {
        return true;
    }
    static const int32_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (d.year < 1 || d.year > 9999 || d.month < 1 || d.month > 12 || d.day < 1) {
        return false;
    }
    return d.day <= days[d.month - 1] + (d.month == 2 && leapYear(d.year) ? 1 : 0);
}

bool endsWith(const std::string &text, const char *end) {
    const std::size_t n = std::strlen(end);
    return text.size() >= n && text.compare(text.size() - n, n, end) == 0;
}

// The times a clock can show, for the time fields of a kind: the record could carry any byte,
// but a client would show 25:61 as it stands. A quote time of -1 is the feed's mark of no time.
bool timeBounds(const std::string &kind, const std::string &name, int64_t &lo, int64_t &hi,
                const char *&note) {
    note = "";
    if (kind == "history") {
        lo = 0;
        hi = name == "hour" ? 23 : name == "minute" ? 59 : name == "second" ? 60 : -1;
        return hi >= 0;
    }
    if (kind == "quotes" && (endsWith(name, "_hour") || endsWith(name, "_minute"))) {
        lo = -1;
        hi = endsWith(name, "_hour") ? 23 : 59;
        note = " (-1: no time)";
        return true;
    }
    return false;
}

// Parses a CSV cell into a field of the file's kind; returns an empty string or the reason.
std::string parseField(const std::string &kind, const FieldRef &f, const std::string &text) {
    switch (f.kind) {
    case FieldKind::INT32:
    case FieldKind::INT64: {
        int64_t v = 0;
        if (!parseInt(text, v)) {
            return std::string(f.name) + ": \"" + text + "\" is not an integer";
        }
        if (f.kind == FieldKind::INT32) {
            if (v < INT32_MIN || v > INT32_MAX) {
                return std::string(f.name) + ": " + text + " is out of range";
            }
            *static_cast<int32_t *>(f.ptr) = static_cast<int32_t>(v);
            int64_t lo = 0, hi = 0;
            const char *note = "";
            if (timeBounds(kind, f.name, lo, hi, note) && (v < lo || v > hi)) {
                return std::string(f.name) + ": " + text + " is outside " + std::to_string(lo) +
                       ".." + std::to_string(hi) + note;
            }
        } else {
            *static_cast<int64_t *>(f.ptr) = v;
        }
        return {};
    }
    case FieldKind::DOUBLE: {
        if (text.empty()) {
            *static_cast<double *>(f.ptr) = 0;
            return {};
        }
        char *end = nullptr;
        const double v = std::strtod(text.c_str(), &end);
        if (end == text.c_str() || *end != '\0' || !std::isfinite(v)) {
            return std::string(f.name) + ": \"" + text + "\" is not a number";
        }
        *static_cast<double *>(f.ptr) = v;
        return {};
    }
    case FieldKind::TEXT:
        *static_cast<std::string *>(f.ptr) = text;
        return {};
    case FieldKind::DATE:
        if (!parseDate(text, *static_cast<FeedDate *>(f.ptr))) {
            return std::string(f.name) + ": \"" + text + "\" is not a YYYY-MM-DD date";
        }
        if (!calendarDate(*static_cast<FeedDate *>(f.ptr))) {
            return std::string(f.name) + ": \"" + text + "\" is not a day of the calendar";
        }
        return {};
    }
    return {};
}

// The record kind follows the snapshot data imported: a store serves quotes or fundamentals.
void settleKind(StoreWriter &w, const std::string &kind, int32_t db) {
    if (kind != "quotes" && kind != "fundamentals") {
        return;
    }
    const std::string other = kind == "quotes" ? "fundamentals" : "quotes";
    if (w.queryInt("SELECT COUNT(*) FROM " + other) > 0) {
        throw std::runtime_error("database " + std::to_string(db) + " already serves " + other +
                                 "; import " + kind + " into another database number");
    }
    w.setKind(kind == "quotes" ? RecordKind::QUOTE : RecordKind::FUNDAMENTALS);
}

// The values of one row of any kind; the field list of the file's kind points into them, so
// they are reset in place for every row.
struct RowValues {
    std::string symbol, qualifier, category;
    QuoteValues quote;
    FundamentalsValues fundamentals;
    HistoryRow history;
    BarRow bar;
    CantValues cant;
    VersionValues version;

    void reset() { *this = RowValues{}; }
    std::vector<FieldRef> fields(const std::string &kind) {
        if (kind == "quotes") {
            return quoteFields(quote);
        }
        if (kind == "fundamentals") {
            return fundamentalsFields(fundamentals);
        }
        if (kind == "history") {
            return historyFields(history);
        }
        if (kind == "bars") {
            return barFields(bar);
        }
        if (kind == "cant") {
            return cantFields(cant);
        }
        if (kind == "version") {
            return versionFields(version);
        }
        return {};
    }
};

// Which value a column of the file fills.
struct Column {
    enum Target { SYMBOL, QUALIFIER, CATEGORY, FIELD } target;
    FieldRef field;
};

// Maps the header's names onto the kind's columns; the error names the first that is
// unknown or repeated.
std::vector<Column> mapHeader(const std::vector<std::string> &header, const std::string &kind,
                              const std::vector<FieldRef> &fields, int64_t line) {
    const bool namesSecurities = kind != "version";
    std::vector<Column> columns;
    for (std::size_t i = 0; i < header.size(); ++i) {
        const std::string &name = header[i];
        for (std::size_t j = 0; j < i; ++j) {
            if (header[j] == name) {
                throw LineError(line, "column \"" + name + "\" appears twice");
            }
        }
        Column c{Column::FIELD, {nullptr, FieldKind::TEXT, nullptr}};
        if (namesSecurities && name == "symbol") {
            c.target = Column::SYMBOL;
        } else if (namesSecurities && name == "qualifier") {
            c.target = Column::QUALIFIER;
        } else if (namesSecurities && name == "category") {
            c.target = Column::CATEGORY;
        } else {
            for (const FieldRef &f : fields) {
                if (name == f.name) {
                    c.field = f;
                }
            }
            if (!c.field.name) {
                std::string known = namesSecurities ? "symbol, qualifier, category" : "";
                for (const FieldRef &f : fields) {
                    known += (known.empty() ? "" : ", ") + std::string(f.name);
                }
                throw LineError(line,
                                "unknown column \"" + name + "\" for " + kind + " (" + known + ")");
            }
        }
        columns.push_back(c);
    }
    if (namesSecurities) {
        bool symbol = false;
        for (const Column &c : columns) {
            symbol = symbol || c.target == Column::SYMBOL;
        }
        if (!symbol) {
            throw LineError(line, "the header names no symbol column");
        }
    }
    return columns;
}

// Warns about each price of the row that a client would read back as another value, because
// it does not lie on the grid of the row's price type. Returns how many it found.
int offGridPrices(const std::vector<Column> &columns, const std::vector<std::string> &cells,
                  const std::vector<FieldRef> &fields, const std::string &where,
                  std::vector<std::string> *warnings) {
    int32_t code = 0;
    for (const FieldRef &f : fields) {
        if (std::string(f.name) == "price_type") {
            code = *static_cast<int32_t *>(f.ptr);
        }
    }
    int found = 0;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const FieldRef &f = columns[i].field;
        if (columns[i].target != Column::FIELD || !f.price) {
            continue;
        }
        const double price = *static_cast<double *>(f.ptr);
        const double read = clientPrice(price, code);
        if (read == price) {
            continue;
        }
        ++found;
        if (warnings) {
            char text[96];
            std::snprintf(text, sizeof text, " (steps of %.15g); a client reads %.15g",
                          1.0 / priceTypeDivisor(code), read);
            warnings->push_back(where + f.name + " " + cells[i] +
                                " is off the grid of price type " + std::to_string(code) + text);
        }
    }
    return found;
}

// Grid warnings beyond this many are counted, not listed.
constexpr int LISTED_GRID_WARNINGS = 20;
// Securities named in a warning about several, before the rest are counted.
constexpr std::size_t LISTED_SECURITIES = 5;

// The warning about securities of this import that lack the record the store serves (a quote
// or fundamentals): DBA_GET_RECORD finds nothing for them, and a bar read starts from that
// record. Empty when every one has it.
std::string missingRecords(StoreWriter &w, const std::string &kind,
                           const std::vector<int64_t> &order, std::map<int64_t, std::string> &names,
                           const std::string &csvPath) {
    const bool quote = w.kind() == RecordKind::QUOTE;
    std::vector<std::string> missing;
    for (int64_t id : order) {
        if (!w.holdsRecord(id)) {
            missing.push_back(names[id]);
        }
    }
    if (missing.empty()) {
        return {};
    }
    std::string list;
    for (std::size_t i = 0; i < missing.size() && i < LISTED_SECURITIES; ++i) {
        list += (i == 0 ? "" : ", ") + missing[i];
    }
    if (missing.size() > LISTED_SECURITIES) {
        list += " and " + std::to_string(missing.size() - LISTED_SECURITIES) + " more";
    }
    const std::string record = quote ? "quote" : "fundamentals";
    const bool one = missing.size() == 1;
    std::string text = csvPath + ": " + std::to_string(missing.size()) +
                       (one ? " security" : " securities") + " of this import " +
                       (one ? "has" : "have") + " no " + record + ", the record this " +
                       (quote ? "quote" : "fundamentals") + " store serves: " + list + "; ";
    if (kind == "bars") {
        return text + "no client can read " + (one ? "its" : "their") +
               " bars, since a bar read starts from that record";
    }
    return text + "a client reads " + (one ? "its " : "their ") +
           (kind == "history" ? "history" : "CANT records") + " but no " + record +
           " and no bars (status 4)";
}

// Refuses a kind of file the import does not know.
void checkKind(const std::string &kind) {
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
}

} // namespace

int64_t importCsv(const std::string &folder, int32_t db, const std::string &kind,
                  const std::string &csvPath, std::vector<std::string> &warnings) {
    checkKind(kind);
    std::ifstream in(csvPath, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + csvPath);
    }
    return importCsvText(folder, db, kind, std::string(std::istreambuf_iterator<char>(in), {}),
                         csvPath, warnings);
}

int64_t importCsvText(const std::string &folder, int32_t db, const std::string &kind,
                      std::string text, const std::string &csvPath,
                      std::vector<std::string> &warnings) {
    checkKind(kind);
    CsvReader csv(std::move(text));

    int64_t line = 0;
    int64_t imported = 0;
    std::vector<std::string> rowWarnings;
    int offGrid = 0;
    try {
        RowValues row;
        const std::vector<FieldRef> fields = row.fields(kind);
        std::vector<std::string> header, cells;
        if (!csv.next(header, line)) {
            throw std::runtime_error("no header line");
        }
        const std::vector<Column> columns = mapHeader(header, kind, fields, line);

        StoreWriter w(folder, db, false);
        w.begin();
        try {
            settleKind(w, kind, db);
            std::map<int64_t, std::vector<HistoryRow>> history;
            std::map<int64_t, std::vector<BarRow>> bars;
            std::vector<int64_t> order; // securities in the order they first appear
            std::map<int64_t, std::string> names;
            while (csv.next(cells, line)) {
                if (cells.size() != header.size()) {
                    throw LineError(line, std::to_string(cells.size()) +
                                              " fields, the header has " +
                                              std::to_string(header.size()));
                }
                row.reset();
                row.category = "equity";
                for (std::size_t i = 0; i < columns.size(); ++i) {
                    const std::string &cell = cells[i];
                    if (cell.find('\0') != std::string::npos) {
                        throw LineError(line, header[i] + ": the cell holds a NUL byte");
                    }
                    switch (columns[i].target) {
                    case Column::SYMBOL:
                        row.symbol = cell;
                        break;
                    case Column::QUALIFIER:
                        row.qualifier = cell;
                        break;
                    case Column::CATEGORY:
                        row.category = cell.empty() ? "equity" : cell;
                        break;
                    case Column::FIELD: {
                        const std::string error = parseField(kind, columns[i].field, cell);
                        if (!error.empty()) {
                            throw LineError(line, error);
                        }
                    }
                    }
                }
                const std::string where = csvPath + ":" + std::to_string(line) + ": ";
                offGrid += offGridPrices(columns, cells, fields, where,
                                         offGrid < LISTED_GRID_WARNINGS ? &rowWarnings : nullptr);
                try {
                    if (kind == "version") {
                        if (imported > 0) {
                            throw std::runtime_error("a version file holds one row");
                        }
                        w.setVersion(row.version);
                        ++imported;
                        continue;
                    }
                    const int64_t id = w.addSecurity(row.symbol, row.qualifier, row.category);
                    if (names.find(id) == names.end()) {
                        order.push_back(id);
                        names[id] = row.symbol + "/" + row.qualifier;
                    }
                    if (kind == "quotes") {
                        w.putQuote(id, row.quote);
                    } else if (kind == "fundamentals") {
                        w.putFundamentals(id, row.fundamentals);
                    } else if (kind == "cant") {
                        w.putCant(id, row.cant);
                    } else if (kind == "history" || kind == "bars") {
                        const EncodeError e =
                            kind == "history" ? checkHistoryRow(row.history) : checkBarRow(row.bar);
                        if (e) {
                            throw std::runtime_error(e.message);
                        }
                        if (kind == "history") {
                            history[id].push_back(row.history);
                        } else {
                            bars[id].push_back(row.bar);
                        }
                    }
                } catch (const LineError &) {
                    throw;
                } catch (const std::exception &e) {
                    throw LineError(line, e.what());
                }
                ++imported;
            }
            // Whole series are appended at the end, so the writer sees each security's rows
            // together; its errors concern a series, not one line.
            line = 0;
            for (int64_t id : order) {
                w.appendHistory(id, history[id]);
                w.appendBars(id, bars[id]);
                const int64_t rows = kind == "history" ? w.historyRows(id) : 0;
                if (rows % static_cast<int64_t>(HISTORY_BLOCK_RECORDS) != 0) {
                    rowWarnings.push_back(csvPath + ": history of " + names[id] + " has " +
                                          std::to_string(rows) +
                                          " rows; its last block is completed with zero records");
                }
            }
            if (kind == "history" || kind == "bars" || kind == "cant") {
                const std::string warning = missingRecords(w, kind, order, names, csvPath);
                if (!warning.empty()) {
                    rowWarnings.push_back(warning);
                }
            }
            if (imported > 0) {
                w.markSampleImported();
            }
            w.commit();
        } catch (...) {
            w.rollback();
            throw;
        }
    } catch (const LineError &e) {
        throw std::runtime_error(csvPath + ":" + std::to_string(e.line) + ": " + e.what());
    } catch (const std::exception &e) {
        throw std::runtime_error(csvPath + ": " + e.what());
    }
    if (offGrid > LISTED_GRID_WARNINGS) {
        rowWarnings.push_back(csvPath + ": " + std::to_string(offGrid - LISTED_GRID_WARNINGS) +
                              " more prices off the grid of their price type");
    }
    warnings.insert(warnings.end(), rowWarnings.begin(), rowWarnings.end());
    return imported;
}

} // namespace pcqw32
