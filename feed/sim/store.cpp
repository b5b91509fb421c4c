#include "store.h"

#include "pcqw32_sim.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace pcqw32 {

// ---- field lists ---------------------------------------------------------------------------

namespace {

FieldRef i32(const char *name, int32_t &v) {
    return {name, FieldKind::Int32, &v};
}
FieldRef i64(const char *name, int64_t &v) {
    return {name, FieldKind::Int64, &v};
}
FieldRef dbl(const char *name, double &v) {
    return {name, FieldKind::Double, &v};
}
FieldRef txt(const char *name, std::string &v) {
    return {name, FieldKind::Text, &v};
}
FieldRef date(const char *name, FeedDate &v) {
    return {name, FieldKind::Date, &v};
}

struct GroupNames {
    const char *price, *size, *exchange, *hour, *minute, *tick;
};

void add_group(std::vector<FieldRef> &f, const GroupNames &n, QuoteGroup &g) {
    f.push_back(dbl(n.price, g.price));
    if (n.size) {
        f.push_back(i64(n.size, g.size));
    }
    f.push_back(txt(n.exchange, g.exchange));
    if (n.hour) {
        f.push_back(i32(n.hour, g.hour));
        f.push_back(i32(n.minute, g.minute));
    }
    if (n.tick) {
        f.push_back(i32(n.tick, g.tick));
    }
}

} // namespace

std::vector<FieldRef> quote_fields(QuoteValues &v) {
    std::vector<FieldRef> f = {txt("symbol_text", v.symbol),
                               i32("price_type", v.priceType),
                               i32("sec_category", v.secCategory),
                               i32("status", v.status),
                               i32("news", v.news),
                               i32("ex_dividend_today", v.exDividendToday),
                               i32("split_today", v.splitToday),
                               txt("primary_exchange", v.primaryExchange),
                               i32("quote_indicator", v.quoteIndicator),
                               i32("trade_indicator", v.tradeIndicator)};
    add_group(f,
              {"last_price", "last_size", "last_exchange", "last_hour", "last_minute", "last_tick"},
              v.last);
    add_group(f,
              {"open_price", "open_size", "open_exchange", "open_hour", "open_minute", "open_tick"},
              v.open);
    add_group(f, {"high_price", "high_size", "high_exchange", "high_hour", "high_minute", nullptr},
              v.high);
    add_group(f, {"low_price", "low_size", "low_exchange", "low_hour", "low_minute", nullptr},
              v.low);
    add_group(
        f, {"yesterday_price", nullptr, "yesterday_exchange", nullptr, nullptr, "yesterday_tick"},
        v.yesterday);
    add_group(f, {"bid_price", "bid_size", "bid_exchange", "bid_hour", "bid_minute", "bid_tick"},
              v.bid);
    add_group(f, {"ask_price", "ask_size", "ask_exchange", "ask_hour", "ask_minute", "ask_tick"},
              v.ask);
    f.push_back(i64("open_interest", v.openInterest));
    f.push_back(i64("volume", v.volume));
    f.push_back(i64("open_range", v.openRange));
    f.push_back(i64("close_range_1", v.closeRange1));
    f.push_back(i64("close_range_2", v.closeRange2));
    return f;
}

std::vector<FieldRef> fundamentals_fields(FundamentalsValues &v) {
    return {txt("name", v.name),
            txt("base_item", v.baseItem),
            txt("cusip", v.cusip),
            i32("last_update", v.lastUpdate),
            i32("div_freq", v.divFreq),
            i32("price_type", v.priceType),
            i32("sec_category", v.secCategory),
            i32("volume_flag", v.volumeFlag),
            i32("sp_code", v.spCode),
            dbl("beta", v.beta),
            dbl("div_last", v.divLast),
            dbl("div_exp", v.divExp),
            dbl("eps", v.eps),
            date("div_date", v.divDate),
            date("exp_date", v.expDate),
            date("mat_date", v.matDate),
            dbl("close_price", v.closePrice),
            dbl("hist_high", v.histHigh),
            dbl("hist_low", v.histLow),
            dbl("strike_price", v.strikePrice),
            i64("volume", v.volume),
            i64("open_interest", v.openInterest),
            i64("outstanding", v.outstanding),
            i64("sh_per_contr", v.shPerContr)};
}

std::vector<FieldRef> history_fields(HistoryRow &v) {
    return {i32("day", v.day),
            dbl("price", v.price),
            i64("size", v.size),
            i32("hour", v.hour),
            i32("minute", v.minute),
            i32("second", v.second),
            i32("condition", v.condition),
            i32("price_type", v.priceType)};
}

std::vector<FieldRef> bar_fields(BarRow &v) {
    return {i32("price_type", v.priceType),
            i64("stamp", v.stamp),
            dbl("open", v.open),
            dbl("high", v.high),
            dbl("low", v.low),
            dbl("close", v.close),
            i64("volume", v.volume)};
}

std::vector<FieldRef> cant_fields(CantValues &v) {
    return {i64("value", v.value), txt("text", v.text)};
}

std::vector<FieldRef> version_fields(VersionValues &v) {
    return {i32("major", v.major), i32("minor", v.minor), txt("release", v.release),
            txt("serial", v.serial)};
}

namespace {

bool parse_int(const std::string &text, int64_t &out) {
    if (text.empty()) {
        out = 0;
        return true;
    }
    errno = 0;
    char *end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0') {
        return false;
    }
    out = v;
    return true;
}

bool parse_date(const std::string &text, FeedDate &d) {
    d = FeedDate{};
    if (text.empty()) {
        return true;
    }
    int y = 0, m = 0, dd = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d%c", &y, &m, &dd, &tail) != 3) {
        return false;
    }
    d.year = y;
    d.month = m;
    d.day = dd;
    return true;
}

std::string format_date(const FeedDate &d) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", d.year, d.month, d.day);
    return buffer;
}

const char *sql_type(FieldKind k) {
    switch (k) {
    case FieldKind::Int32:
    case FieldKind::Int64:
        return "INTEGER";
    case FieldKind::Double:
        return "REAL";
    default:
        return "TEXT";
    }
}

std::string column_defs(const std::vector<FieldRef> &fields) {
    std::string s;
    for (const FieldRef &f : fields) {
        s += std::string(", ") + f.name + " " + sql_type(f.kind);
    }
    return s;
}

std::string column_list(const std::vector<FieldRef> &fields, const char *prefix = "") {
    std::string s;
    for (const FieldRef &f : fields) {
        if (!s.empty()) {
            s += ", ";
        }
        s += std::string(prefix) + f.name;
    }
    return s;
}

std::string placeholders(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s += i == 0 ? "?" : ", ?";
    }
    return s;
}

void bind_fields(sqlite3_stmt *st, int first, const std::vector<FieldRef> &fields) {
    int i = first;
    for (const FieldRef &f : fields) {
        switch (f.kind) {
        case FieldKind::Int32:
            sqlite3_bind_int64(st, i, *static_cast<int32_t *>(f.ptr));
            break;
        case FieldKind::Int64:
            sqlite3_bind_int64(st, i, *static_cast<int64_t *>(f.ptr));
            break;
        case FieldKind::Double:
            sqlite3_bind_double(st, i, *static_cast<double *>(f.ptr));
            break;
        case FieldKind::Text: {
            const std::string &s = *static_cast<std::string *>(f.ptr);
            sqlite3_bind_text(st, i, s.c_str(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
            break;
        }
        case FieldKind::Date: {
            const FeedDate &d = *static_cast<FeedDate *>(f.ptr);
            if (d.year == 0 && d.month == 0 && d.day == 0) {
                sqlite3_bind_null(st, i);
            } else {
                const std::string s = format_date(d);
                sqlite3_bind_text(st, i, s.c_str(), -1, SQLITE_TRANSIENT);
            }
            break;
        }
        }
        ++i;
    }
}

std::string column_text(sqlite3_stmt *st, int col) {
    const unsigned char *p = sqlite3_column_text(st, col);
    return p ? std::string(reinterpret_cast<const char *>(p),
                           static_cast<std::size_t>(sqlite3_column_bytes(st, col)))
             : std::string();
}

// Reads the fields from consecutive result columns; false when a date text is malformed or
// a number does not fit its field.
bool read_fields(sqlite3_stmt *st, int first, const std::vector<FieldRef> &fields) {
    int col = first;
    bool ok = true;
    for (const FieldRef &f : fields) {
        switch (f.kind) {
        case FieldKind::Int32: {
            const sqlite3_int64 v = sqlite3_column_int64(st, col);
            if (v < INT32_MIN || v > INT32_MAX) {
                ok = false;
            }
            *static_cast<int32_t *>(f.ptr) = static_cast<int32_t>(v);
            break;
        }
        case FieldKind::Int64:
            *static_cast<int64_t *>(f.ptr) = sqlite3_column_int64(st, col);
            break;
        case FieldKind::Double:
            *static_cast<double *>(f.ptr) = sqlite3_column_double(st, col);
            break;
        case FieldKind::Text:
            *static_cast<std::string *>(f.ptr) = column_text(st, col);
            break;
        case FieldKind::Date:
            if (!parse_date(column_text(st, col), *static_cast<FeedDate *>(f.ptr))) {
                ok = false;
            }
            break;
        }
        ++col;
    }
    return ok;
}

} // namespace

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

std::string schema_sql() {
    QuoteValues q;
    FundamentalsValues fu;
    HistoryRow h;
    BarRow b;
    CantValues c;
    VersionValues v;
    return "CREATE TABLE IF NOT EXISTS settings(name TEXT PRIMARY KEY, value TEXT);\n"
           "CREATE TABLE IF NOT EXISTS version(" +
           column_defs(version_fields(v)).substr(2) +
           ");\n"
           "CREATE TABLE IF NOT EXISTS securities(id INTEGER PRIMARY KEY, symbol TEXT NOT NULL,"
           " qualifier TEXT NOT NULL, category TEXT NOT NULL, key BLOB NOT NULL UNIQUE);\n"
           "CREATE TABLE IF NOT EXISTS quotes(security_id INTEGER PRIMARY KEY" +
           column_defs(quote_fields(q)) +
           ");\n"
           "CREATE TABLE IF NOT EXISTS fundamentals(security_id INTEGER PRIMARY KEY" +
           column_defs(fundamentals_fields(fu)) +
           ");\n"
           "CREATE TABLE IF NOT EXISTS history(security_id INTEGER NOT NULL, seq INTEGER NOT "
           "NULL" +
           column_defs(history_fields(h)) +
           ", PRIMARY KEY(security_id, seq)) WITHOUT ROWID;\n"
           "CREATE TABLE IF NOT EXISTS bars(security_id INTEGER NOT NULL, seq INTEGER NOT NULL" +
           column_defs(bar_fields(b)) +
           ", PRIMARY KEY(security_id, seq)) WITHOUT ROWID;\n"
           "CREATE TABLE IF NOT EXISTS cant_records(security_id INTEGER PRIMARY KEY" +
           column_defs(cant_fields(c)) +
           ");\n"
           "CREATE TABLE IF NOT EXISTS faults(operation TEXT NOT NULL, status INTEGER NOT NULL,"
           " nth_call INTEGER, symbol TEXT, qualifier TEXT, event INTEGER);\n";
}

std::string store_path(const std::string &folder, int32_t db) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/' && path.back() != '\\') {
        path += '/';
    }
    return path + "db" + std::to_string(db) + ".sqlite";
}

// ---- faults --------------------------------------------------------------------------------

int32_t parse_point(const std::string &text) {
    static const struct {
        const char *name;
        int32_t code;
    } names[] = {{"attach", 0},         {"get_record", 1},
                 {"get_record_ext", 2}, {"detach", 7},
                 {"version", 15},       {"first_block", 31},
                 {"next_block", 33},    {"approx", 50},
                 {"wait", 53},          {"delivery", PCQW32_POINT_DELIVERY}};
    for (const auto &n : names) {
        if (text == n.name) {
            return n.code;
        }
    }
    int64_t code = 0;
    if (!text.empty() && parse_int(text, code)) {
        for (const auto &n : names) {
            if (code == n.code) {
                return n.code;
            }
        }
    }
    return -1;
}

namespace {
std::vector<std::string> split(const std::string &text, const char *separators) {
    std::vector<std::string> parts;
    std::string current;
    for (char ch : text) {
        if (std::strchr(separators, ch)) {
            parts.push_back(current);
            current.clear();
        } else {
            current += ch;
        }
    }
    parts.push_back(current);
    return parts;
}
} // namespace

bool parse_fault_list(const std::string &text, std::vector<FaultRule> &faults, std::string &error) {
    for (const std::string &item : split(text, ",;")) {
        std::vector<std::string> p = split(item, ":");
        for (std::string &field : p) {
            const std::size_t b = field.find_first_not_of(" \t");
            const std::size_t e = field.find_last_not_of(" \t");
            field = b == std::string::npos ? std::string() : field.substr(b, e - b + 1);
        }
        if (p.size() == 1 && p[0].empty()) {
            continue;
        }
        FaultRule f;
        int64_t status = 0, nth = 0, event = 0;
        f.point = parse_point(p[0]);
        if (f.point < 0 || p.size() < 2 || p.size() > 6 || !parse_int(p[1], status) ||
            status == 0 || (p.size() > 2 && !parse_int(p[2], nth)) || nth < 0 ||
            (p.size() > 5 && !parse_int(p[5], event))) {
            error = "malformed fault \"" + item + "\"";
            return false;
        }
        f.status = static_cast<int32_t>(status);
        f.nth = static_cast<int32_t>(nth);
        if (p.size() > 3 && !p[3].empty()) {
            f.hasSymbol = true;
            f.symbol = p[3];
        }
        if (p.size() > 4 && !p[4].empty()) {
            f.hasQualifier = true;
            f.qualifier = p[4];
        }
        f.event = event != 0 ? static_cast<int32_t>(event) : 2;
        faults.push_back(f);
    }
    return true;
}

// ---- reader --------------------------------------------------------------------------------

namespace {
const char kSecurityColumns[] = "id, symbol, qualifier, category, key";
}

StoreReader::~StoreReader() {
    for (sqlite3_stmt *st : statements_) {
        sqlite3_finalize(st);
    }
    if (db_) {
        sqlite3_close(db_);
    }
}

sqlite3_stmt *StoreReader::prepare(const char *sql) {
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &st, nullptr) != SQLITE_OK) {
        if (error_.empty()) {
            error_ = sqlite3_errmsg(db_);
        }
        return nullptr;
    }
    statements_.push_back(st);
    return st;
}

int32_t StoreReader::open(const std::string &path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        error_ = "cannot open " + path + ": " + (db_ ? sqlite3_errmsg(db_) : "out of memory");
        return PCQW32_STORE_ABSENT;
    }
    QuoteValues q;
    FundamentalsValues fu;
    HistoryRow h;
    BarRow b;
    CantValues c;
    VersionValues v;
    const std::string sec = kSecurityColumns;
    const std::vector<FieldRef> qf = quote_fields(q);
    std::string quoteSelect = "SELECT COALESCE(q.symbol_text, s.symbol)";
    for (std::size_t i = 1; i < qf.size(); ++i) {
        quoteSelect += std::string(", q.") + qf[i].name;
    }
    quoteSelect += " FROM quotes q JOIN securities s ON s.id = q.security_id"
                   " WHERE q.security_id = ?1";
    const std::string from = "SELECT " + sec +
                             " FROM securities s WHERE key >= ?1 AND EXISTS "
                             "(SELECT 1 FROM history h WHERE h.security_id = s.id) ORDER BY "
                             "key LIMIT 1";
    std::string after = from;
    after.replace(after.find(">="), 2, ">");

    findSecurity_ = prepare(("SELECT " + sec + " FROM securities WHERE key = ?1").c_str());
    securityById_ = prepare(("SELECT " + sec + " FROM securities WHERE id = ?1").c_str());
    historyFrom_ = prepare(from.c_str());
    historyAfter_ = prepare(after.c_str());
    quote_ = prepare(quoteSelect.c_str());
    fundamentals_ = prepare(("SELECT " + column_list(fundamentals_fields(fu)) +
                             " FROM fundamentals WHERE security_id = ?1")
                                .c_str());
    cant_ = prepare(
        ("SELECT " + column_list(cant_fields(c)) + " FROM cant_records WHERE security_id = ?1")
            .c_str());
    version_ =
        prepare(("SELECT " + column_list(version_fields(v)) + " FROM version LIMIT 1").c_str());
    history_ = prepare(("SELECT " + column_list(history_fields(h)) +
                        " FROM history WHERE security_id = ?1 ORDER BY seq")
                           .c_str());
    bars_ = prepare(
        ("SELECT " + column_list(bar_fields(b)) + " FROM bars WHERE security_id = ?1 ORDER BY seq")
            .c_str());
    sqlite3_stmt *settings = prepare("SELECT name, value FROM settings");
    sqlite3_stmt *faults =
        prepare("SELECT operation, status, nth_call, symbol, qualifier, event FROM faults");
    if (!error_.empty()) {
        error_ = path + " is not a simulator store: " + error_;
        return PCQW32_STORE_INVALID;
    }
    while (sqlite3_step(settings) == SQLITE_ROW) {
        const std::string name = column_text(settings, 0);
        const std::string value = column_text(settings, 1);
        if (name == "record_kind") {
            if (value == "quote") {
                kind_ = RecordKind::Quote;
            } else if (value == "fundamentals") {
                kind_ = RecordKind::Fundamentals;
            } else {
                error_ = path + ": unknown record_kind \"" + value + "\"";
                return PCQW32_STORE_INVALID;
            }
        } else if (name == "event52_every") {
            event52Every_ = static_cast<int32_t>(std::atoi(value.c_str()));
        }
    }
    while (sqlite3_step(faults) == SQLITE_ROW) {
        FaultRule f;
        f.point = parse_point(column_text(faults, 0));
        f.status = sqlite3_column_int(faults, 1);
        f.nth = sqlite3_column_int(faults, 2);
        f.hasSymbol = sqlite3_column_type(faults, 3) != SQLITE_NULL;
        f.symbol = column_text(faults, 3);
        f.hasQualifier = sqlite3_column_type(faults, 4) != SQLITE_NULL;
        f.qualifier = column_text(faults, 4);
        f.event = sqlite3_column_int(faults, 5);
        if (f.event == 0) {
            f.event = 2;
        }
        if (f.point < 0 || f.status == 0) {
            error_ = path + ": malformed fault \"" + column_text(faults, 0) + "\"";
            return PCQW32_STORE_INVALID;
        }
        faults_.push_back(f);
    }
    sqlite3_reset(settings);
    sqlite3_reset(faults);
    return PCQW32_OK;
}

bool StoreReader::read_security(sqlite3_stmt *st, SecurityInfo &out) {
    const bool found = sqlite3_step(st) == SQLITE_ROW;
    if (found) {
        out.id = sqlite3_column_int64(st, 0);
        out.symbol = column_text(st, 1);
        out.qualifier = column_text(st, 2);
        out.category = column_text(st, 3);
        make_key(out.symbol, out.qualifier, out.key);
    }
    sqlite3_reset(st);
    return found;
}

bool StoreReader::find_security(const unsigned char *key, SecurityInfo &out) {
    sqlite3_bind_blob(findSecurity_, 1, key + 2, kMaxSymbol + kMaxQualifier, SQLITE_TRANSIENT);
    return read_security(findSecurity_, out);
}

bool StoreReader::security_by_id(int64_t id, SecurityInfo &out) {
    sqlite3_bind_int64(securityById_, 1, id);
    return read_security(securityById_, out);
}

bool StoreReader::history_security_from(const unsigned char *key, bool strictlyAfter,
                                        SecurityInfo &out) {
    sqlite3_stmt *st = strictlyAfter ? historyAfter_ : historyFrom_;
    sqlite3_bind_blob(st, 1, key + 2, kMaxSymbol + kMaxQualifier, SQLITE_TRANSIENT);
    return read_security(st, out);
}

namespace {
bool read_one(sqlite3_stmt *st, int64_t id, const std::vector<FieldRef> &fields) {
    if (id >= 0) {
        sqlite3_bind_int64(st, 1, id);
    }
    bool found = sqlite3_step(st) == SQLITE_ROW;
    if (found) {
        found = read_fields(st, 0, fields);
    }
    sqlite3_reset(st);
    return found;
}
} // namespace

bool StoreReader::read_quote(int64_t id, QuoteValues &out) {
    out = QuoteValues{};
    return read_one(quote_, id, quote_fields(out));
}

bool StoreReader::read_fundamentals(int64_t id, FundamentalsValues &out) {
    out = FundamentalsValues{};
    return read_one(fundamentals_, id, fundamentals_fields(out));
}

bool StoreReader::read_cant(int64_t id, CantValues &out) {
    out = CantValues{};
    return read_one(cant_, id, cant_fields(out));
}

bool StoreReader::read_version(VersionValues &out) {
    out = VersionValues{};
    return read_one(version_, -1, version_fields(out));
}

// A cursor remembers that its statement ran out: stepping a finished statement again would
// start the query over.
void StoreReader::start_history(int64_t id) {
    sqlite3_reset(history_);
    sqlite3_bind_int64(history_, 1, id);
    historyDone_ = false;
}

int StoreReader::next_history(HistoryRow *rows, int count) {
    int n = 0;
    while (n < count && !historyDone_) {
        if (sqlite3_step(history_) != SQLITE_ROW) {
            historyDone_ = true;
            break;
        }
        rows[n] = HistoryRow{};
        read_fields(history_, 0, history_fields(rows[n]));
        ++n;
    }
    return n;
}

void StoreReader::start_bars(int64_t id) {
    sqlite3_reset(bars_);
    sqlite3_bind_int64(bars_, 1, id);
    barsDone_ = false;
}

int StoreReader::next_bars(BarRow *rows, int count) {
    int n = 0;
    while (n < count && !barsDone_) {
        if (sqlite3_step(bars_) != SQLITE_ROW) {
            barsDone_ = true;
            break;
        }
        rows[n] = BarRow{};
        read_fields(bars_, 0, bar_fields(rows[n]));
        ++n;
    }
    return n;
}

// ---- writer --------------------------------------------------------------------------------

StoreWriter::StoreWriter(const std::string &folder, int32_t db, bool fresh)
    : path_(store_path(folder, db)) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (fresh) {
        std::filesystem::remove(path_, ec);
        std::filesystem::remove(path_ + "-journal", ec);
    }
    if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw std::runtime_error("cannot open " + path_ + ": " + message);
    }
    exec(schema_sql());
    exec("INSERT OR IGNORE INTO settings(name, value) VALUES ('record_kind', 'quote')");
}

StoreWriter::~StoreWriter() {
    for (auto &entry : statements_) {
        sqlite3_finalize(entry.second);
    }
    if (db_) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db_);
    }
}

void StoreWriter::exec(const std::string &sql) {
    char *message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string text = message ? message : "unknown error";
        sqlite3_free(message);
        throw std::runtime_error(path_ + ": " + text);
    }
}

// Statements are prepared once per text and kept for the writer's life, so bulk writes pay
// for parsing only once.
sqlite3_stmt *StoreWriter::prepare(const std::string &sql) {
    auto found = statements_.find(sql);
    if (found != statements_.end()) {
        return found->second;
    }
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        throw std::runtime_error(path_ + ": " + sqlite3_errmsg(db_));
    }
    statements_.emplace(sql, st);
    return st;
}

namespace {
// Runs a prepared statement to completion and resets it for reuse.
void run(sqlite3 *db, sqlite3_stmt *st, const std::string &path) {
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
        throw std::runtime_error(path + ": " + sqlite3_errmsg(db));
    }
}

void check(const EncodeError &e, const std::string &what) {
    if (e) {
        throw std::runtime_error(what + ": " + e.message);
    }
}
} // namespace

void StoreWriter::begin() {
    exec("BEGIN");
}
void StoreWriter::commit() {
    exec("COMMIT");
}
void StoreWriter::rollback() {
    exec("ROLLBACK");
}

void StoreWriter::set_setting(const std::string &name, const std::string &value) {
    sqlite3_stmt *st = prepare("INSERT OR REPLACE INTO settings(name, value) VALUES (?1, ?2)");
    sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, value.c_str(), -1, SQLITE_TRANSIENT);
    run(db_, st, path_);
}

void StoreWriter::set_kind(RecordKind kind) {
    set_setting("record_kind", kind == RecordKind::Quote ? "quote" : "fundamentals");
}

void StoreWriter::set_version(const VersionValues &v) {
    check(check_version(v), "version");
    exec("DELETE FROM version");
    VersionValues copy = v;
    const std::vector<FieldRef> f = version_fields(copy);
    sqlite3_stmt *st = prepare("INSERT INTO version(" + column_list(f) + ") VALUES (" +
                               placeholders(f.size()) + ")");
    bind_fields(st, 1, f);
    run(db_, st, path_);
}

int64_t StoreWriter::add_security(const std::string &symbol, const std::string &qualifier,
                                  const std::string &category) {
    unsigned char key[kKeySize];
    if (symbol.empty() || !make_key(symbol, qualifier, key)) {
        throw std::runtime_error("security \"" + symbol + "\"/\"" + qualifier +
                                 "\": the symbol takes 1 to 12 characters, the qualifier "
                                 "at most 4");
    }
    if (category != "equity" && category != "option" && category != "index") {
        throw std::runtime_error("security \"" + symbol + "\": category \"" + category +
                                 "\" is not equity, option or index");
    }
    const std::string k = key_bytes(key);
    sqlite3_stmt *find = prepare("SELECT id FROM securities WHERE key = ?1");
    sqlite3_bind_blob(find, 1, k.data(), static_cast<int>(k.size()), SQLITE_TRANSIENT);
    int64_t id = -1;
    if (sqlite3_step(find) == SQLITE_ROW) {
        id = sqlite3_column_int64(find, 0);
    }
    sqlite3_reset(find);
    if (id >= 0) {
        return id;
    }
    sqlite3_stmt *st = prepare("INSERT INTO securities(symbol, qualifier, category, key) "
                               "VALUES (?1, ?2, ?3, ?4)");
    sqlite3_bind_text(st, 1, symbol.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, qualifier.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 3, category.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(st, 4, k.data(), static_cast<int>(k.size()), SQLITE_TRANSIENT);
    run(db_, st, path_);
    return sqlite3_last_insert_rowid(db_);
}

void StoreWriter::put_quote(int64_t id, const QuoteValues &v) {
    check(check_quote(v), "quote of security " + std::to_string(id));
    QuoteValues copy = v;
    const std::vector<FieldRef> f = quote_fields(copy);
    sqlite3_stmt *st = prepare("INSERT OR REPLACE INTO quotes(security_id, " + column_list(f) +
                               ") VALUES (?, " + placeholders(f.size()) + ")");
    sqlite3_bind_int64(st, 1, id);
    bind_fields(st, 2, f);
    if (v.symbol.empty()) {
        sqlite3_bind_null(st, 2); // the security's own symbol
    }
    run(db_, st, path_);
}

void StoreWriter::put_fundamentals(int64_t id, const FundamentalsValues &v) {
    check(check_fundamentals(v), "fundamentals of security " + std::to_string(id));
    FundamentalsValues copy = v;
    const std::vector<FieldRef> f = fundamentals_fields(copy);
    sqlite3_stmt *st = prepare("INSERT OR REPLACE INTO fundamentals(security_id, " +
                               column_list(f) + ") VALUES (?, " + placeholders(f.size()) + ")");
    sqlite3_bind_int64(st, 1, id);
    bind_fields(st, 2, f);
    run(db_, st, path_);
}

int64_t StoreWriter::count_rows(const char *table, int64_t id) {
    sqlite3_stmt *st =
        prepare(std::string("SELECT COUNT(*) FROM ") + table + " WHERE security_id = ?1");
    sqlite3_bind_int64(st, 1, id);
    int64_t n = 0;
    if (sqlite3_step(st) == SQLITE_ROW) {
        n = sqlite3_column_int64(st, 0);
    }
    sqlite3_reset(st);
    return n;
}

int64_t StoreWriter::history_rows(int64_t id) {
    return count_rows("history", id);
}
int64_t StoreWriter::bar_rows(int64_t id) {
    return count_rows("bars", id);
}

void StoreWriter::append_history(int64_t id, const std::vector<HistoryRow> &rows) {
    if (rows.empty()) {
        return;
    }
    int64_t seq = history_rows(id);
    int32_t blockType = -1;
    if (seq % 8 != 0) {
        sqlite3_stmt *st =
            prepare("SELECT price_type FROM history WHERE security_id = ?1 AND seq = ?2");
        sqlite3_bind_int64(st, 1, id);
        sqlite3_bind_int64(st, 2, seq - seq % 8);
        if (sqlite3_step(st) == SQLITE_ROW) {
            blockType = sqlite3_column_int(st, 0);
        }
        sqlite3_reset(st);
    }
    HistoryRow scratch;
    const std::vector<FieldRef> names = history_fields(scratch);
    sqlite3_stmt *st = prepare("INSERT INTO history(security_id, seq, " + column_list(names) +
                               ") VALUES (?, ?, " + placeholders(names.size()) + ")");
    for (const HistoryRow &r : rows) {
        check(check_history_row(r),
              "history row " + std::to_string(seq) + " of security " + std::to_string(id));
        if (seq % 8 == 0) {
            blockType = r.priceType;
        } else if (r.priceType != blockType) {
            throw std::runtime_error("history row " + std::to_string(seq) + " of security " +
                                     std::to_string(id) + ": price type " +
                                     std::to_string(r.priceType) + " differs from " +
                                     std::to_string(blockType) + " of its block of eight rows");
        }
        HistoryRow copy = r;
        sqlite3_bind_int64(st, 1, id);
        sqlite3_bind_int64(st, 2, seq);
        bind_fields(st, 3, history_fields(copy));
        run(db_, st, path_);
        ++seq;
    }
}

void StoreWriter::append_bars(int64_t id, const std::vector<BarRow> &rows) {
    if (rows.empty()) {
        return;
    }
    int64_t seq = bar_rows(id);
    if (seq + static_cast<int64_t>(rows.size()) > 8 * static_cast<int64_t>(kMaxBarBlocks)) {
        throw std::runtime_error("bars of security " + std::to_string(id) +
                                 ": more than 75000 rows");
    }
    BarRow scratch;
    const std::vector<FieldRef> names = bar_fields(scratch);
    sqlite3_stmt *st = prepare("INSERT INTO bars(security_id, seq, " + column_list(names) +
                               ") VALUES (?, ?, " + placeholders(names.size()) + ")");
    for (const BarRow &r : rows) {
        check(check_bar_row(r),
              "bar row " + std::to_string(seq) + " of security " + std::to_string(id));
        BarRow copy = r;
        sqlite3_bind_int64(st, 1, id);
        sqlite3_bind_int64(st, 2, seq);
        bind_fields(st, 3, bar_fields(copy));
        run(db_, st, path_);
        ++seq;
    }
}

void StoreWriter::put_cant(int64_t id, const CantValues &v) {
    check(check_cant(v), "CANT record of security " + std::to_string(id));
    CantValues copy = v;
    const std::vector<FieldRef> f = cant_fields(copy);
    sqlite3_stmt *st = prepare("INSERT OR REPLACE INTO cant_records(security_id, " +
                               column_list(f) + ") VALUES (?, " + placeholders(f.size()) + ")");
    sqlite3_bind_int64(st, 1, id);
    bind_fields(st, 2, f);
    run(db_, st, path_);
}

void StoreWriter::add_fault(const std::string &point, int32_t status, int32_t nth,
                            const char *symbol, const char *qualifier, int32_t event) {
    if (parse_point(point) < 0 || status == 0) {
        throw std::runtime_error("fault \"" + point + "\": unknown operation or zero status");
    }
    sqlite3_stmt *st = prepare("INSERT INTO faults(operation, status, nth_call, symbol, "
                               "qualifier, event) VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    sqlite3_bind_text(st, 1, point.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(st, 2, status);
    if (nth > 0) {
        sqlite3_bind_int(st, 3, nth);
    }
    if (symbol) {
        sqlite3_bind_text(st, 4, symbol, -1, SQLITE_TRANSIENT);
    }
    if (qualifier) {
        sqlite3_bind_text(st, 5, qualifier, -1, SQLITE_TRANSIENT);
    }
    if (event != 0) {
        sqlite3_bind_int(st, 6, event);
    }
    run(db_, st, path_);
}

} // namespace pcqw32
