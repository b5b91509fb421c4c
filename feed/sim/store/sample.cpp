// The deterministic sample stores: database 1 serves quotes, history, bars and CANT records,
// database 2 serves fundamentals (and the same CANT records). Every value comes from a fixed
// seed, so two runs write identical data.

#include "sample.h"

#include "store.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <stdexcept>

namespace pcqw32 {

namespace {

// splitmix64: small, fast and the same on every platform and library.
class Random {
  public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform integer in [lo, hi].
    int64_t range(int64_t lo, int64_t hi) {
        return lo + static_cast<int64_t>(next() % static_cast<uint64_t>(hi - lo + 1));
    }
    // Uniform double in [0, 1).
    double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

  private:
    uint64_t state_;
};

struct SampleSecurity {
    const char *symbol;
    const char *qualifier;
    const char *category;
    const char *name;
    int32_t priceType;
    double price;
    int32_t historyRows;
    int32_t barRows;
};

// Securities that have history never follow one another (in key order) with the same first
// three symbol characters, since a client may end a scan on those three characters alone.
const SampleSecurity SECURITIES[] = {
    {"AAPL", "", "equity", "Apple Inc", 12, 189.25, 20000, 10000},
    {"AAPL", "L", "equity", "Apple Inc (London line)", 12, 189.30, 0, 0},
    {"MSFT", "", "equity", "Microsoft Corp", 12, 425.52, 120000, 2500},
    {"IBM", "", "equity", "International Business Machines", 0, 168.50, 20000, 1003},
    {"IBM", "L", "equity", "International Business Machines (London line)", 0, 168.25, 0, 0},
    {"GE", "", "equity", "General Electric Co", 1, 160.75, 800, 640},
    {"GM", "", "equity", "General Motors Co", 13, 46.125, 0, 96},
    {"KO", "", "equity", "Coca-Cola Co", 14, 62.3145, 20000, 8},
    {"PEP", "", "equity", "PepsiCo Inc", 2, 171, 0, 0},
    {"XOM", "", "equity", "Exxon Mobil Corp", 9, 117, 20000, 0},
    {"CVX", "", "equity", "Chevron Corp", 11, 158.4, 0, 0},
    {"JPM", "", "equity", "JPMorgan Chase & Co", 12, 198.64, 8, 0},
    {"BAC", "", "equity", "Bank of America Corp", 16, 39, 0, 0},
    {"WFC", "", "equity", "Wells Fargo & Co", 12, 59.08, 0, 0},
    {"T", "", "equity", "AT&T Inc", 12, 17.21, 0, 0},
    {"VZ", "", "equity", "Verizon Communications", 13, 40.212, 0, 0},
    {"INTC", "", "equity", "Intel Corp", 12, 30.95, 0, 0},
    {"CSCO", "", "equity", "Cisco Systems Inc", 0, 47.25, 0, 0},
    {"ORCL", "", "equity", "Oracle Corp", 1, 124.5, 0, 0},
    {"AMZN", "", "equity", "Amazon.com Inc", 12, 183.66, 0, 0},
    {"NVDA", "", "equity", "NVIDIA Corp", 12, 120.91, 0, 0},
    {"AMD", "", "equity", "Advanced Micro Devices", 200, 158, 0, 0},
    {"DIS", "", "equity", "Walt Disney Co", 12, 101.97, 0, 0},
    {"MCD", "", "equity", "McDonald's Corp", 14, 254.1234, 0, 0},
    {"NKE", "", "equity", "Nike Inc", 12, 94.31, 0, 0},
    {"BA", "", "equity", "Boeing Co", 11, 181.2, 0, 0},
    {"CAT", "", "equity", "Caterpillar Inc", 12, 332.47, 0, 0},
    {"MMM", "", "equity", "3M Co", 0, 103.75, 0, 0},
    {"HD", "", "equity", "Home Depot Inc", 12, 338.12, 0, 0},
    {"WMT", "", "equity", "Walmart Inc", 12, 67.85, 0, 0},
    {"PFE", "", "equity", "Pfizer Inc", 12, 28.43, 0, 0},
    {"MRK", "", "equity", "Merck & Co Inc", 13, 129.815, 0, 0},
    {"AAPL-C190", "2406", "option", "AAPL Jun24 190 Call", 12, 4.85, 0, 200},
    {"AAPL-P180", "2406", "option", "AAPL Jun24 180 Put", 12, 1.32, 0, 50},
    {"MSFT-C430", "2406", "option", "MSFT Jun24 430 Call", 12, 6.1, 0, 13},
    {"MSFT-P400", "2409", "option", "MSFT Sep24 400 Put", 13, 7.455, 0, 0},
    {"IBM-C170", "2406", "option", "IBM Jun24 170 Call", 0, 2.5, 0, 0},
    {"KO-C65", "2407", "option", "KO Jul24 65 Call", 12, 0.45, 0, 0},
    {"XOM-P110", "2406", "option", "XOM Jun24 110 Put", 14, 1.0125, 0, 0},
    {"JPM-C200", "2406", "option", "JPM Jun24 200 Call", 12, 3.2, 0, 0},
    {"GE-C165", "2409", "option", "GE Sep24 165 Call", 1, 5.25, 0, 0},
    {"SPX-C5400", "2406", "option", "SPX Jun24 5400 Call", 11, 62.5, 0, 0},
    {"SPX-P5200", "2406", "option", "SPX Jun24 5200 Put", 11, 21.3, 0, 0},
    {"NDX-C19500", "2406", "option", "NDX Jun24 19500 Call", 12, 210.4, 0, 0},
    {"$SPX", "", "index", "S&P 500 Index", 12, 5431.6, 20000, 75000},
    {"$DJI", "", "index", "Dow Jones Industrial Average", 12, 38589.16, 4000, 3000},
    {"$NDX", "", "index", "Nasdaq 100 Index", 14, 19659.8012, 0, 0},
    {"$RUT", "", "index", "Russell 2000 Index", 12, 2038.35, 0, 0},
    {"$VIX", "", "index", "CBOE Volatility Index", 12, 12.66, 0, 0},
    {"$COMP", "", "index", "Nasdaq Composite", 12, 17688.88, 0, 0},
    {"$NYA", "", "index", "NYSE Composite", 11, 17928.1, 0, 0},
    {"$OEX", "", "index", "S&P 100 Index", 12, 2538.75, 0, 0},
    {"$SOX", "", "index", "PHLX Semiconductor Index", 20, 5390, 0, 0},
    {"$XAU", "", "index", "PHLX Gold/Silver Index", 12, 135.22, 0, 0},
};

// A price on the grid of its price type, so the stored decimal is exactly what a client
// computes from the raw integer.
double onGrid(double price, int32_t priceType) {
    const double d = priceTypeDivisor(static_cast<int16_t>(priceType));
    return std::nearbyint(price * d) / d;
}

const char *const EXCHANGES[] = {"N", "Q", "A", "P", "C", "B", "X", "Z"};

QuoteGroup quoteGroup(Random &r, double base, int32_t priceType, int hour, int minute) {
    QuoteGroup g;
    g.price = onGrid(base * (1.0 + (r.unit() - 0.5) * 0.02), priceType);
    g.size = r.range(1, 500) * 100;
    g.exchange = EXCHANGES[r.range(0, 7)];
    g.hour = hour;
    g.minute = minute;
    g.tick = static_cast<int32_t>(r.range(-1, 1));
    return g;
}

int32_t minuteOfDay(const QuoteGroup &g) {
    return g.hour * 60 + g.minute;
}

void setMinuteOfDay(QuoteGroup &g, int32_t minute) {
    g.hour = minute / 60;
    g.minute = minute % 60;
}

// The day's high or low was made between the open and the last trade: by one of them when it
// is its price, otherwise at its drawn time, moved into the span between them.
void placeExtreme(QuoteGroup &extreme, const QuoteGroup &open, const QuoteGroup &last) {
    if (extreme.price == open.price) {
        setMinuteOfDay(extreme, minuteOfDay(open));
    } else if (extreme.price == last.price) {
        setMinuteOfDay(extreme, minuteOfDay(last));
    } else {
        setMinuteOfDay(extreme, std::min(std::max(minuteOfDay(extreme), minuteOfDay(open) + 1),
                                         minuteOfDay(last) - 1));
    }
}

// Makes a quote look like a market's, from the values drawn for it (so the draws, and with
// them every later history and bar value, stay as they are): the day's high and low enclose
// the open and the last price and were made between the open and the last trade, and the bid
// lies below the ask, a spread of about five basis points (at least one step of the price
// grid) apart. The last trade took place at the ask after an uptick, at the bid after a
// downtick, and between them otherwise.
void shapeLikeAMarket(QuoteValues &q, int32_t priceType) {
    q.high.price = std::max({q.high.price, q.open.price, q.last.price});
    q.low.price = std::min({q.low.price, q.open.price, q.last.price});
    placeExtreme(q.high, q.open, q.last);
    placeExtreme(q.low, q.open, q.last);
    const double step = 1.0 / priceTypeDivisor(static_cast<int16_t>(priceType));
    const double steps = std::max(1.0, std::nearbyint(q.last.price * 0.0005 / step));
    const double below = q.last.tick > 0 ? steps : q.last.tick < 0 ? 0 : std::floor(steps / 2);
    q.bid.price = onGrid(q.last.price - below * step, priceType);
    q.ask.price = onGrid(q.last.price + (steps - below) * step, priceType);
}

int32_t secCategory(const char *category) {
    return std::string(category) == "equity" ? 1 : std::string(category) == "option" ? 2 : 3;
}

QuoteValues sampleQuote(Random &r, const SampleSecurity &s) {
    QuoteValues q;
    q.symbol = s.symbol;
    q.priceType = s.priceType;
    q.secCategory = secCategory(s.category);
    q.status = static_cast<int32_t>(r.range(0, 1));
    q.news = static_cast<int32_t>(r.range(0, 1));
    q.exDividendToday = r.range(0, 9) == 0 ? 1 : 0;
    q.splitToday = r.range(0, 19) == 0 ? 1 : 0;
    q.primaryExchange = EXCHANGES[r.range(0, 7)];
    q.quoteIndicator = static_cast<int32_t>(r.range(0, 3));
    q.tradeIndicator = static_cast<int32_t>(r.range(0, 3));
    q.last = quoteGroup(r, s.price, s.priceType, 15, static_cast<int>(r.range(0, 59)));
    q.open = quoteGroup(r, s.price, s.priceType, 9, 30);
    q.high = quoteGroup(r, s.price * 1.01, s.priceType, static_cast<int>(r.range(10, 15)),
                        static_cast<int>(r.range(0, 59)));
    q.low = quoteGroup(r, s.price * 0.99, s.priceType, static_cast<int>(r.range(9, 14)),
                       static_cast<int>(r.range(0, 59)));
    q.yesterday = quoteGroup(r, s.price, s.priceType, 16, 0);
    q.yesterday.size = 0;
    q.yesterday.hour = q.yesterday.minute = 0;
    q.bid = quoteGroup(r, s.price * 0.999, s.priceType, 15, 59);
    q.ask = quoteGroup(r, s.price * 1.001, s.priceType, 15, 59);
    q.high.tick = q.low.tick = 0;
    shapeLikeAMarket(q, s.priceType);
    q.volume = r.range(100000, 80000000);
    q.openInterest = std::string(s.category) == "option" ? r.range(100, 90000) : 0;
    q.openRange = r.range(0, 5000);
    q.closeRange1 = r.range(0, 5000);
    q.closeRange2 = q.closeRange1 + r.range(0, 500);
    if (std::string(s.symbol) == "BAC") {
        q.volume = 3000000000LL; // above 2^31: sizes are unsigned
    }
    return q;
}

FundamentalsValues sampleFundamentals(Random &r, const SampleSecurity &s, int index) {
    FundamentalsValues f;
    const bool option = std::string(s.category) == "option";
    const bool index_ = std::string(s.category) == "index";
    f.name = s.name;
    f.baseItem = option ? std::string(s.symbol).substr(0, std::string(s.symbol).find('-'))
                        : std::string(s.symbol);
    char cusip[16];
    std::snprintf(cusip, sizeof cusip, "%06d%02d%d", 100000 + index * 7919 % 900000, index % 100,
                  index % 10);
    f.cusip = index_ ? "" : cusip;
    f.lastUpdate = static_cast<int32_t>(r.range(1, 365));
    f.divFreq = index_ || option ? 0 : (r.range(0, 3) == 0 ? 12 : 4);
    f.priceType = s.priceType;
    f.secCategory = secCategory(s.category);
    f.volumeFlag = static_cast<int32_t>(r.range(0, 1));
    f.spCode = static_cast<int32_t>(r.range(0, 999));
    f.beta = static_cast<double>(r.range(40, 220)) / 100.0;
    const int32_t cents = static_cast<int32_t>(r.range(5, 250));
    f.divLast = index_ || option ? 0 : cents / 100.0;
    f.divExp = index_ || option ? 0 : (cents + static_cast<int32_t>(r.range(0, 10))) / 100.0;
    f.eps = static_cast<double>(r.range(-300, 1500)) / 100.0;
    f.divDate =
        FeedDate{2024, static_cast<int32_t>(r.range(1, 5)), static_cast<int32_t>(r.range(1, 28))};
    if (option) {
        f.expDate = FeedDate{2024, s.qualifier[3] == '6' ? 6 : (s.qualifier[3] == '7' ? 7 : 9), 21};
        f.strikePrice = onGrid(std::atof(std::strchr(s.symbol, '-') + 2), s.priceType);
        f.shPerContr = 100;
        f.openInterest = r.range(100, 90000);
    }
    if (!index_ && !option) {
        f.matDate = FeedDate{};
        f.outstanding = r.range(100, 4000) * 1000000;
    }
    f.closePrice = onGrid(s.price, s.priceType);
    f.histHigh = onGrid(s.price * 1.6, s.priceType);
    f.histLow = onGrid(s.price * 0.4, s.priceType);
    f.volume = r.range(100000, 90000000);
    return f;
}

// A trade print series over trading days, price on the security's grid, in stored order.
std::vector<HistoryRow> sampleHistory(Random &r, const SampleSecurity &s) {
    std::vector<HistoryRow> rows(static_cast<std::size_t>(s.historyRows));
    double price = s.price;
    const int32_t perDay = std::max(8, s.historyRows / 20);
    for (int32_t i = 0; i < s.historyRows; ++i) {
        HistoryRow &h = rows[static_cast<std::size_t>(i)];
        const int32_t inDay = i % perDay;
        const int32_t seconds = 9 * 3600 + 30 * 60 + inDay * (390 * 60) / perDay;
        h.day = 1 + (i / perDay) % 28;
        h.hour = seconds / 3600;
        h.minute = seconds / 60 % 60;
        h.second = seconds % 60;
        price *= 1.0 + (r.unit() - 0.5) * 0.002;
        h.price = onGrid(price, s.priceType);
        h.size = r.range(1, 100) * 100;
        h.condition = static_cast<int32_t>(r.range(0, 3));
        h.priceType = s.priceType;
    }
    return rows;
}

// Days since 1970-01-01 of a date of the Gregorian calendar.
int64_t daysFromCivil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

constexpr int32_t SESSION_MINUTES = 390;

// The Unix times of the openings of the first COUNT sessions of the New York stock market
// from 2024-01-02 on: weekdays but the exchange's 2024 holidays, opening at 09:30 New York
// time, which is 14:30 UTC and 13:30 UTC in summer time (10 March to 3 November). The
// sample's longest series, 75,000 minute bars, ends in October 2024.
std::vector<int64_t> sessionOpenings(int32_t count) {
    static const int HOLIDAYS[][2] = {{1, 1},  {1, 15}, {2, 19}, {3, 29},  {5, 27},
                                      {6, 19}, {7, 4},  {9, 2},  {11, 28}, {12, 25}};
    const int64_t summerFrom = daysFromCivil(2024, 3, 10);
    const int64_t summerTo = daysFromCivil(2024, 11, 3);
    std::vector<int64_t> openings;
    for (int64_t day = daysFromCivil(2024, 1, 2); openings.size() < static_cast<std::size_t>(count);
         ++day) {
        const int64_t weekday = (day + 4) % 7; // 0 is Sunday: 1970-01-01 was a Thursday
        bool closed = weekday == 0 || weekday == 6;
        for (const auto &h : HOLIDAYS) {
            closed = closed || day == daysFromCivil(2024, h[0], h[1]);
        }
        if (!closed) {
            const bool summer = day >= summerFrom && day < summerTo;
            openings.push_back(day * 86400 + (summer ? 13 : 14) * 3600 + 30 * 60);
        }
    }
    return openings;
}

// Minute bars of the market's sessions from 2024-01-02 14:30 UTC on, 390 a day; GE
// alternates price types within every block.
std::vector<BarRow> sampleBars(Random &r, const SampleSecurity &s) {
    std::vector<BarRow> rows(static_cast<std::size_t>(s.barRows));
    const std::vector<int64_t> openings =
        sessionOpenings((s.barRows + SESSION_MINUTES - 1) / SESSION_MINUTES);
    double price = s.price;
    const bool mixed = std::string(s.symbol) == "GE";
    for (int32_t i = 0; i < s.barRows; ++i) {
        BarRow &b = rows[static_cast<std::size_t>(i)];
        b.priceType = mixed && i % 2 == 1 ? 12 : s.priceType;
        b.stamp =
            openings[static_cast<std::size_t>(i / SESSION_MINUTES)] + 60LL * (i % SESSION_MINUTES);
        const double open = price;
        price *= 1.0 + (r.unit() - 0.5) * 0.003;
        b.open = onGrid(open, b.priceType);
        b.close = onGrid(price, b.priceType);
        b.high = onGrid(std::max(open, price) * (1.0 + r.unit() * 0.001), b.priceType);
        b.low = onGrid(std::min(open, price) * (1.0 - r.unit() * 0.001), b.priceType);
        b.volume = r.range(0, 200000);
    }
    return rows;
}

void checkNeighbours() {
    std::vector<std::string> keys;
    for (const SampleSecurity &s : SECURITIES) {
        unsigned char key[SECURITY_KEY_SIZE];
        if (!makeKey(s.symbol, s.qualifier, key)) {
            throw std::logic_error(std::string("sample symbol too long: ") + s.symbol);
        }
        if (s.historyRows > 0) {
            keys.push_back(keyBytes(key));
        }
    }
    std::sort(keys.begin(), keys.end());
    for (std::size_t i = 1; i < keys.size(); ++i) {
        if (keys[i].compare(0, 3, keys[i - 1], 0, 3) == 0) {
            throw std::logic_error("sample histories " + keys[i - 1] + " and " + keys[i] +
                                   " share their first three characters");
        }
    }
}

VersionValues sampleVersion() {
    VersionValues v;
    v.major = 4;
    v.minor = 12;
    v.release = "b";
    v.serial = "SIM-00417-2024";
    return v;
}

// What a store in the folder is to the generator.
struct Verdict {
    enum Kind { SAMPLE, WRITTEN_INTO, NEVER } kind = SAMPLE;
    std::string why; // for WRITTEN_INTO and NEVER: what the file is
};

Verdict never(const std::string &why) {
    return Verdict{Verdict::NEVER, why};
}

// Reads a store without changing it: whether it is a sample, and if not, what.
Verdict judgeStore(const std::string &path) {
    std::error_code ec;
    if (std::filesystem::exists(path + "-wal", ec)) {
        return never(path + "-wal lies beside " + path +
                     ": a recording session has it open or ended without closing it");
    }
    sqlite3 *handle = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr);
    const std::unique_ptr<sqlite3, int (*)(sqlite3 *)> db(handle, sqlite3_close);
    if (opened != SQLITE_OK) {
        return never(path + " cannot be opened (" +
                     (handle ? sqlite3_errmsg(handle) : "out of memory") + ")");
    }
    // The first column of every row, and SQLite's code: SQLITE_DONE when all were read.
    std::vector<std::string> values;
    std::string message;
    auto query = [&](const std::string &sql) {
        values.clear();
        sqlite3_stmt *st = nullptr;
        int rc = sqlite3_prepare_v2(handle, sql.c_str(), -1, &st, nullptr);
        if (rc == SQLITE_OK) {
            while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
                values.push_back(columnString(st, 0));
            }
        }
        if (rc != SQLITE_DONE) {
            message = sqlite3_errmsg(handle);
        }
        sqlite3_finalize(st);
        return rc == SQLITE_DONE ? SQLITE_DONE : rc & 0xFF;
    };
    const std::string foreign =
        path + " was not written by pcqw32-sim generate (a store of your own, or one the "
               "importer made)";
    int rc = query("SELECT name FROM sqlite_master WHERE type = 'table' AND name IN "
                   "('recordings', 'recorded_calls', 'recorded_deliveries')");
    if (rc == SQLITE_DONE && !values.empty()) {
        return never(path + " holds a recording");
    }
    if (rc == SQLITE_DONE) {
        rc = query(std::string("SELECT value FROM settings WHERE name = '") + SAMPLE_SETTING + "'");
    }
    if (rc == SQLITE_ERROR || rc == SQLITE_NOTADB) {
        return never(foreign); // no settings table: not a simulator store at all
    }
    if (rc != SQLITE_DONE) {
        return never(path + " cannot be read (" + message +
                     "), so whether it is a sample cannot be told");
    }
    if (values.empty()) {
        // Samples of earlier versions carry no mark, only the sample's version.
        const bool earlier =
            query("SELECT serial FROM version WHERE major = 4 AND minor = 12") == SQLITE_DONE &&
            values.size() == 1 && values[0] == sampleVersion().serial;
        if (!earlier) {
            return never(foreign);
        }
        return Verdict{Verdict::WRITTEN_INTO,
                       path + " looks like a sample of an earlier pcqw32-sim, which did not "
                              "mark its samples, so whether data was imported into it cannot "
                              "be told"};
    }
    if (values[0] == SAMPLE_IMPORTED) {
        return Verdict{Verdict::WRITTEN_INTO,
                       path + " is a sample into which data has since been imported"};
    }
    return values[0] == SAMPLE_UNTOUCHED ? Verdict{} : never(foreign);
}

// Whether `name` is the file of a store, db<N>.sqlite (N of any sign, as earlier tools wrote
// db-1.sqlite), or its write-ahead log.
bool storeFile(const std::string &name, bool &log) {
    std::size_t at = 2;
    if (name.compare(0, 2, "db") != 0) {
        return false;
    }
    at += name.size() > at && name[at] == '-' ? 1 : 0;
    const std::size_t digits = at;
    while (at < name.size() && name[at] >= '0' && name[at] <= '9') {
        ++at;
    }
    log = name.compare(at, std::string::npos, ".sqlite-wal") == 0;
    return at > digits && (log || name.compare(at, std::string::npos, ".sqlite") == 0);
}

// Refuses, before anything is written, a folder where writing the sample could lose data.
void checkFolder(const std::string &folder, bool force) {
    std::error_code ec;
    std::vector<std::string> paths;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        bool log = false;
        if (storeFile(name, log)) {
            // A log without its store still holds the calls written last.
            paths.push_back(log ? name.substr(0, name.size() - 4) : name);
        }
    }
    std::sort(paths.begin(), paths.end());
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
    Verdict worst;
    for (const std::string &name : paths) {
        const Verdict v = judgeStore((std::filesystem::path(folder) / name).string());
        if (v.kind > worst.kind) {
            worst = v;
        }
    }
    const std::string another = "choose another folder: pcqw32-sim generate <another folder>";
    if (worst.kind == Verdict::NEVER) {
        throw std::runtime_error("not writing the sample into " + folder + ": " + worst.why +
                                 "; generate never writes into a folder holding such a store, "
                                 "not even with --force. Nothing was written; " +
                                 another);
    }
    if (worst.kind == Verdict::WRITTEN_INTO && !force) {
        throw std::runtime_error(
            "not writing the sample into " + folder + ": " + worst.why + ". Nothing was written; " +
            another + ", or replace the samples with pcqw32-sim generate --force " + folder);
    }
}

} // namespace

void generateSample(const std::string &folder, std::vector<std::string> &log, bool force) {
    checkNeighbours();
    checkFolder(folder, force);
    {
        StoreWriter w(folder, 1, true);
        // Marked first, so that a generation cut short leaves a store it may replace.
        w.setSetting(SAMPLE_SETTING, SAMPLE_UNTOUCHED);
        sqlite3_exec(w.handle(), "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
        w.begin();
        w.setKind(RecordKind::QUOTE);
        w.setVersion(sampleVersion());
        Random r(20240612);
        int64_t history = 0, bars = 0, cant = 0;
        for (const SampleSecurity &s : SECURITIES) {
            const int64_t id = w.addSecurity(s.symbol, s.qualifier, s.category);
            w.putQuote(id, sampleQuote(r, s));
            w.appendHistory(id, sampleHistory(r, s));
            w.appendBars(id, sampleBars(r, s));
            history += s.historyRows;
            bars += s.barRows;
            if (id % 3 == 1) {
                CantValues c;
                c.value = r.range(1, 1000000);
                c.text = std::string("CANT ") + s.symbol + " " + s.name;
                w.putCant(id, c);
                ++cant;
            }
        }
        w.commit();
        log.push_back(databasePath(folder, 1) + ": quotes of " +
                      std::to_string(std::size(SECURITIES)) + " securities, " +
                      std::to_string(history) + " history rows, " + std::to_string(bars) +
                      " bars, " + std::to_string(cant) + " CANT records");
    }
    {
        StoreWriter w(folder, 2, true);
        w.setSetting(SAMPLE_SETTING, SAMPLE_UNTOUCHED);
        sqlite3_exec(w.handle(), "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
        w.begin();
        w.setKind(RecordKind::FUNDAMENTALS);
        w.setVersion(sampleVersion());
        Random r(19871019);
        int index = 0;
        for (const SampleSecurity &s : SECURITIES) {
            const int64_t id = w.addSecurity(s.symbol, s.qualifier, s.category);
            w.putFundamentals(id, sampleFundamentals(r, s, ++index));
            if (id % 3 == 1) {
                CantValues c;
                c.value = id;
                c.text = std::string("CANT ") + s.symbol;
                w.putCant(id, c);
            }
        }
        w.commit();
        log.push_back(databasePath(folder, 2) + ": fundamentals of " +
                      std::to_string(std::size(SECURITIES)) + " securities");
    }
}

} // namespace pcqw32
