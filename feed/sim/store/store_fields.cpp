#include "store_fields.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace pcqw32 {

namespace {

FieldRef i32(const char *name, int32_t &v) {
    return {name, FieldKind::INT32, &v};
}
FieldRef i64(const char *name, int64_t &v) {
    return {name, FieldKind::INT64, &v};
}
FieldRef dbl(const char *name, double &v) {
    return {name, FieldKind::DOUBLE, &v};
}
FieldRef price(const char *name, double &v) {
    return {name, FieldKind::DOUBLE, &v, true};
}
FieldRef txt(const char *name, std::string &v) {
    return {name, FieldKind::TEXT, &v};
}
FieldRef date(const char *name, FeedDate &v) {
    return {name, FieldKind::DATE, &v};
}

struct GroupNames {
    const char *price, *size, *exchange, *hour, *minute, *tick;
};

void addGroup(std::vector<FieldRef> &f, const GroupNames &n, QuoteGroup &g) {
    f.push_back(price(n.price, g.price));
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

std::vector<FieldRef> quoteFields(QuoteValues &v) {
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
    addGroup(f,
             {"last_price", "last_size", "last_exchange", "last_hour", "last_minute", "last_tick"},
             v.last);
    addGroup(f,
             {"open_price", "open_size", "open_exchange", "open_hour", "open_minute", "open_tick"},
             v.open);
    addGroup(f, {"high_price", "high_size", "high_exchange", "high_hour", "high_minute", nullptr},
             v.high);
    addGroup(f, {"low_price", "low_size", "low_exchange", "low_hour", "low_minute", nullptr},
             v.low);
    addGroup(f,
             {"yesterday_price", nullptr, "yesterday_exchange", nullptr, nullptr, "yesterday_tick"},
             v.yesterday);
    addGroup(f, {"bid_price", "bid_size", "bid_exchange", "bid_hour", "bid_minute", "bid_tick"},
             v.bid);
    addGroup(f, {"ask_price", "ask_size", "ask_exchange", "ask_hour", "ask_minute", "ask_tick"},
             v.ask);
    f.push_back(i64("open_interest", v.openInterest));
    f.push_back(i64("volume", v.volume));
    f.push_back(i64("open_range", v.openRange));
    f.push_back(i64("close_range_1", v.closeRange1));
    f.push_back(i64("close_range_2", v.closeRange2));
    return f;
}

std::vector<FieldRef> fundamentalsFields(FundamentalsValues &v) {
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
            price("close_price", v.closePrice),
            price("hist_high", v.histHigh),
            price("hist_low", v.histLow),
            price("strike_price", v.strikePrice),
            i64("volume", v.volume),
            i64("open_interest", v.openInterest),
            i64("outstanding", v.outstanding),
            i64("sh_per_contr", v.shPerContr)};
}

std::vector<FieldRef> historyFields(HistoryRow &v) {
    return {i32("day", v.day),
            price("price", v.price),
            i64("size", v.size),
            i32("hour", v.hour),
            i32("minute", v.minute),
            i32("second", v.second),
            i32("condition", v.condition),
            i32("price_type", v.priceType)};
}

std::vector<FieldRef> barFields(BarRow &v) {
    return {i32("price_type", v.priceType), i64("stamp", v.stamp), price("open", v.open),
            price("high", v.high),          price("low", v.low),   price("close", v.close),
            i64("volume", v.volume)};
}

std::vector<FieldRef> cantFields(CantValues &v) {
    return {i64("value", v.value), txt("text", v.text)};
}

std::vector<FieldRef> versionFields(VersionValues &v) {
    return {i32("major", v.major), i32("minor", v.minor), txt("release", v.release),
            txt("serial", v.serial)};
}

bool parseInt(const std::string &text, int64_t &out) {
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

bool parseDate(const std::string &text, FeedDate &d) {
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

namespace {

std::string formatDate(const FeedDate &d) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", d.year, d.month, d.day);
    return buffer;
}

const char *sqlType(FieldKind k) {
    switch (k) {
    case FieldKind::INT32:
    case FieldKind::INT64:
        return "INTEGER";
    case FieldKind::DOUBLE:
        return "REAL";
    default:
        return "TEXT";
    }
}

std::string columnDefs(const std::vector<FieldRef> &fields) {
    std::string s;
    for (const FieldRef &f : fields) {
        s += std::string(", ") + f.name + " " + sqlType(f.kind);
    }
    return s;
}

} // namespace

std::string columnList(const std::vector<FieldRef> &fields, const char *prefix) {
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

void bindFields(sqlite3_stmt *st, int first, const std::vector<FieldRef> &fields) {
    int i = first;
    for (const FieldRef &f : fields) {
        switch (f.kind) {
        case FieldKind::INT32:
            sqlite3_bind_int64(st, i, *static_cast<int32_t *>(f.ptr));
            break;
        case FieldKind::INT64:
            sqlite3_bind_int64(st, i, *static_cast<int64_t *>(f.ptr));
            break;
        case FieldKind::DOUBLE:
            sqlite3_bind_double(st, i, *static_cast<double *>(f.ptr));
            break;
        case FieldKind::TEXT: {
            const std::string &s = *static_cast<std::string *>(f.ptr);
            sqlite3_bind_text(st, i, s.c_str(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
            break;
        }
        case FieldKind::DATE: {
            const FeedDate &d = *static_cast<FeedDate *>(f.ptr);
            if (d.year == 0 && d.month == 0 && d.day == 0) {
                sqlite3_bind_null(st, i);
            } else {
                const std::string s = formatDate(d);
                sqlite3_bind_text(st, i, s.c_str(), -1, SQLITE_TRANSIENT);
            }
            break;
        }
        }
        ++i;
    }
}

std::string columnString(sqlite3_stmt *st, int col) {
    const unsigned char *p = sqlite3_column_text(st, col);
    return p ? std::string(reinterpret_cast<const char *>(p),
                           static_cast<std::size_t>(sqlite3_column_bytes(st, col)))
             : std::string();
}

// Reads the fields from consecutive result columns; false when a date text is malformed or
// a number does not fit its field.
bool readFields(sqlite3_stmt *st, int first, const std::vector<FieldRef> &fields) {
    int col = first;
    bool ok = true;
    for (const FieldRef &f : fields) {
        switch (f.kind) {
        case FieldKind::INT32: {
            const sqlite3_int64 v = sqlite3_column_int64(st, col);
            if (v < INT32_MIN || v > INT32_MAX) {
                ok = false;
            }
            *static_cast<int32_t *>(f.ptr) = static_cast<int32_t>(v);
            break;
        }
        case FieldKind::INT64:
            *static_cast<int64_t *>(f.ptr) = sqlite3_column_int64(st, col);
            break;
        case FieldKind::DOUBLE:
            *static_cast<double *>(f.ptr) = sqlite3_column_double(st, col);
            break;
        case FieldKind::TEXT:
            *static_cast<std::string *>(f.ptr) = columnString(st, col);
            break;
        case FieldKind::DATE:
            if (!parseDate(columnString(st, col), *static_cast<FeedDate *>(f.ptr))) {
                ok = false;
            }
            break;
        }
        ++col;
    }
    return ok;
}

std::string schemaSql() {
    QuoteValues q;
    FundamentalsValues fu;
    HistoryRow h;
    BarRow b;
    CantValues c;
    VersionValues v;
    return "CREATE TABLE IF NOT EXISTS settings(name TEXT PRIMARY KEY, value TEXT);\n"
           "CREATE TABLE IF NOT EXISTS version(" +
           columnDefs(versionFields(v)).substr(2) +
           ");\n"
           "CREATE TABLE IF NOT EXISTS securities(id INTEGER PRIMARY KEY, symbol TEXT NOT NULL,"
           " qualifier TEXT NOT NULL, category TEXT NOT NULL, key BLOB NOT NULL UNIQUE);\n"
           "CREATE TABLE IF NOT EXISTS quotes(security_id INTEGER PRIMARY KEY" +
           columnDefs(quoteFields(q)) +
           ");\n"
           "CREATE TABLE IF NOT EXISTS fundamentals(security_id INTEGER PRIMARY KEY" +
           columnDefs(fundamentalsFields(fu)) +
           ");\n"
           "CREATE TABLE IF NOT EXISTS history(security_id INTEGER NOT NULL, seq INTEGER NOT "
           "NULL" +
           columnDefs(historyFields(h)) +
           ", PRIMARY KEY(security_id, seq)) WITHOUT ROWID;\n"
           "CREATE TABLE IF NOT EXISTS bars(security_id INTEGER NOT NULL, seq INTEGER NOT NULL" +
           columnDefs(barFields(b)) +
           ", PRIMARY KEY(security_id, seq)) WITHOUT ROWID;\n"
           "CREATE TABLE IF NOT EXISTS cant_records(security_id INTEGER PRIMARY KEY" +
           columnDefs(cantFields(c)) + ");\n";
}

bool parseDatabaseNumber(const std::string &text, int32_t &db) {
    if (text.empty() || text.size() > 10 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const long long v = std::stoll(text);
    if (v > INT32_MAX) {
        return false;
    }
    db = static_cast<int32_t>(v);
    return true;
}

std::string databasePath(const std::string &folder, int32_t db) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/' && path.back() != '\\') {
        path += '/';
    }
    return path + "db" + std::to_string(db) + ".sqlite";
}

} // namespace pcqw32
