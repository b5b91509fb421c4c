#include "records.h"

#include <cmath>
#include <cstring>

namespace pcqw32 {

const char kQuoteHandleTag[4] = {'Q', 'S', 'E', 'C'};
const char kFundamentalsHandleTag[4] = {'F', 'S', 'E', 'C'};

void put_u8(unsigned char *p, std::size_t offset, uint32_t value) {
    p[offset] = static_cast<unsigned char>(value & 0xFFu);
}

void put_u16(unsigned char *p, std::size_t offset, uint32_t value) {
    p[offset] = static_cast<unsigned char>(value & 0xFFu);
    p[offset + 1] = static_cast<unsigned char>((value >> 8) & 0xFFu);
}

void put_u32(unsigned char *p, std::size_t offset, uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        p[offset + i] = static_cast<unsigned char>((value >> (8 * i)) & 0xFFu);
    }
}

void put_i32(unsigned char *p, std::size_t offset, int32_t value) {
    put_u32(p, offset, static_cast<uint32_t>(value));
}

uint32_t get_u32(const unsigned char *p, std::size_t offset) {
    uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        v |= static_cast<uint32_t>(p[offset + i]) << (8 * i);
    }
    return v;
}

void put_text(unsigned char *p, std::size_t offset, const std::string &text) {
    std::memcpy(p + offset, text.data(), text.size());
    p[offset + text.size()] = 0;
}

double price_divisor(int32_t code) {
    switch (code) {
    case 0:
    case 5:
    case 6:
    case 7:
    case 8:
        return 256.0;
    case 1:
        return 64.0;
    case 11:
        return 10.0;
    case 12:
        return 100.0;
    case 13:
        return 1000.0;
    case 14:
        return 10000.0;
    case 15:
        return 100000.0;
    default:
        return 1.0;
    }
}

namespace {

// A 16-bit price-type word as the client reads it for its divisor: signed.
int32_t signed16(int32_t code) {
    return static_cast<int16_t>(static_cast<uint16_t>(code));
}

// Collects the first failure of a chain of range checks, naming the field.
class Checker {
  public:
    bool range(const char *field, int64_t value, int64_t lo, int64_t hi) {
        if (value < lo || value > hi) {
            fail(std::string(field) + " " + std::to_string(value) + " is outside " +
                 std::to_string(lo) + ".." + std::to_string(hi));
            return false;
        }
        return true;
    }
    bool text(const char *field, const std::string &value, std::size_t room) {
        if (value.size() + 1 > room) {
            fail(std::string(field) + " \"" + value + "\" is longer than " +
                 std::to_string(room - 1) + " characters");
            return false;
        }
        if (value.find('\0') != std::string::npos) {
            fail(std::string(field) + " holds a zero byte");
            return false;
        }
        return true;
    }
    // Raw price integer for a decimal price, or a failure when it does not fit 32 bits.
    int32_t price(const char *field, double value, double divisor) {
        const double raw = std::nearbyint(value * divisor);
        if (!std::isfinite(raw) || raw < -2147483648.0 || raw > 2147483647.0) {
            fail(std::string(field) + " " + std::to_string(value) +
                 " does not fit a 32-bit price at divisor " + std::to_string(divisor));
            return 0;
        }
        return static_cast<int32_t>(raw);
    }
    void fail(const std::string &message) {
        if (error.message.empty()) {
            error.message = message;
        }
    }
    EncodeError error;
};

constexpr int64_t kU8 = 0xFF;
constexpr int64_t kU16 = 0xFFFF;
constexpr int64_t kU32 = 0xFFFFFFFFLL;
constexpr int64_t kI32Min = -2147483648LL;
constexpr int64_t kI32Max = 2147483647LL;

uint32_t tick_pair(Checker &c, const char *field, int32_t tick) {
    if (!c.range(field, tick, -1, 1)) {
        return 0;
    }
    return tick < 0 ? 2u : (tick > 0 ? 1u : 0u);
}

uint32_t flag(Checker &c, const char *field, int32_t value) {
    return c.range(field, value, 0, 1) ? static_cast<uint32_t>(value) : 0u;
}

void put_group(Checker &c, unsigned char *out, std::size_t at, const char *name,
               const QuoteGroup &g, double divisor) {
    const std::string field(name);
    put_i32(out, at, c.price((field + " price").c_str(), g.price, divisor));
    c.range((field + " size").c_str(), g.size, 0, kU32);
    put_u32(out, at + 4, static_cast<uint32_t>(g.size));
    if (c.text((field + " exchange").c_str(), g.exchange, 2)) {
        put_text(out, at + 8, g.exchange);
    }
    c.range((field + " hour").c_str(), g.hour, -128, 127);
    c.range((field + " minute").c_str(), g.minute, -128, 127);
    put_u8(out, at + 10, static_cast<uint32_t>(g.hour));
    put_u8(out, at + 11, static_cast<uint32_t>(g.minute));
}

void put_date(Checker &c, unsigned char *out, std::size_t at, const char *field,
              const FeedDate &d) {
    if (!c.range(field, d.year, 0, 255 * 100 + 99) || !c.range(field, d.month, 0, 255) ||
        !c.range(field, d.day, 0, 255)) {
        return;
    }
    put_u8(out, at, static_cast<uint32_t>(d.year / 100));
    put_u8(out, at + 1, static_cast<uint32_t>(d.year % 100));
    put_u8(out, at + 2, static_cast<uint32_t>(d.month));
    put_u8(out, at + 3, static_cast<uint32_t>(d.day));
}

void put_handle(unsigned char *out, std::size_t at, const char tag[4]) {
    std::memcpy(out + at, tag, 4);
}

void encode_history_record(Checker &c, const HistoryRow &r, unsigned char *out) {
    c.range("history price type", r.priceType, 0, kU8);
    const double divisor = price_divisor(r.priceType & 0xFF);
    put_i32(out, 0, c.price("history price", r.price, divisor));
    c.range("history size", r.size, 0, kU32);
    put_u32(out, 4, static_cast<uint32_t>(r.size));
    c.range("history day", r.day, 0, kU8);
    put_u8(out, 8, static_cast<uint32_t>(r.day));
    put_u8(out, 10, static_cast<uint32_t>(r.priceType));
    c.range("history condition", r.condition, 0, kU8);
    put_u8(out, 11, static_cast<uint32_t>(r.condition));
    c.range("history hour", r.hour, 0, kU8);
    c.range("history minute", r.minute, 0, kU8);
    c.range("history second", r.second, 0, kU8);
    put_u8(out, 15, static_cast<uint32_t>(r.hour));
    put_u8(out, 16, static_cast<uint32_t>(r.minute));
    put_u8(out, 17, static_cast<uint32_t>(r.second));
}

void encode_bar_record(Checker &c, const BarRow &r, unsigned char *out) {
    c.range("bar price type", r.priceType, 0, kU8);
    const double divisor = price_divisor(r.priceType & 0xFF);
    put_u8(out, 1, static_cast<uint32_t>(r.priceType));
    c.range("bar stamp", r.stamp, 0, kU32);
    put_u32(out, 2, static_cast<uint32_t>(r.stamp));
    put_i32(out, 6, c.price("bar open", r.open, divisor));
    put_i32(out, 10, c.price("bar high", r.high, divisor));
    put_i32(out, 14, c.price("bar low", r.low, divisor));
    put_i32(out, 18, c.price("bar close", r.close, divisor));
    c.range("bar volume", r.volume, kI32Min, kI32Max);
    put_i32(out, 22, static_cast<int32_t>(r.volume));
}

} // namespace

double client_price(double price, int32_t code) {
    const double divisor = price_divisor(code);
    return std::nearbyint(price * divisor) / divisor;
}

bool make_key(const std::string &symbol, const std::string &qualifier,
              unsigned char key[kKeySize]) {
    if (symbol.size() > kMaxSymbol || qualifier.size() > kMaxQualifier) {
        return false;
    }
    std::memset(key, ' ', kKeySize);
    key[0] = 0;
    key[1] = 0;
    std::memcpy(key + 2, symbol.data(), symbol.size());
    std::memcpy(key + 14, qualifier.data(), qualifier.size());
    return true;
}

std::string key_bytes(const unsigned char *key) {
    return std::string(reinterpret_cast<const char *>(key + 2), kMaxSymbol + kMaxQualifier);
}

namespace {
std::string trimmed(const unsigned char *p, std::size_t n) {
    while (n > 0 && p[n - 1] == ' ') {
        --n;
    }
    return std::string(reinterpret_cast<const char *>(p), n);
}
} // namespace

std::string key_symbol(const unsigned char *key) {
    return trimmed(key + 2, kMaxSymbol);
}
std::string key_qualifier(const unsigned char *key) {
    return trimmed(key + 14, kMaxQualifier);
}

EncodeError encode_quote(const QuoteValues &v, unsigned char out[kSecurityRecordSize]) {
    Checker c;
    std::memset(out, 0, kSecurityRecordSize);
    if (c.text("symbol", v.symbol, 20)) {
        put_text(out, 2, v.symbol);
    }
    const uint32_t flags = flag(c, "status", v.status) << 5 | flag(c, "news", v.news) << 6 |
                           flag(c, "ex_dividend_today", v.exDividendToday) << 14 |
                           flag(c, "split_today", v.splitToday) << 15;
    put_u16(out, 22, flags);
    c.range("price_type", v.priceType, 0, kU16);
    put_u16(out, 24, static_cast<uint32_t>(v.priceType));
    c.range("sec_category", v.secCategory, 0, kU16);
    put_u16(out, 26, static_cast<uint32_t>(v.secCategory));
    const uint32_t ticks = tick_pair(c, "last_tick", v.last.tick) << 14 |
                           tick_pair(c, "open_tick", v.open.tick) << 12 |
                           tick_pair(c, "yesterday_tick", v.yesterday.tick) << 10 |
                           tick_pair(c, "bid_tick", v.bid.tick) << 8 |
                           tick_pair(c, "ask_tick", v.ask.tick) << 6;
    put_u16(out, 28, ticks);
    if (c.text("primary_exchange", v.primaryExchange, 2)) {
        put_text(out, 36, v.primaryExchange);
    }
    c.range("quote_indicator", v.quoteIndicator, 0, kU16);
    put_u16(out, 38, static_cast<uint32_t>(v.quoteIndicator));

    const double divisor = price_divisor(signed16(v.priceType));
    put_group(c, out, 44, "last", v.last, divisor);
    put_group(c, out, 56, "open", v.open, divisor);
    put_group(c, out, 68, "high", v.high, divisor);
    put_group(c, out, 80, "low", v.low, divisor);
    put_group(c, out, 92, "yesterday", v.yesterday, divisor);
    put_group(c, out, 104, "bid", v.bid, divisor);
    put_group(c, out, 116, "ask", v.ask, divisor);

    c.range("open_interest", v.openInterest, 0, kU32);
    put_u32(out, 152, static_cast<uint32_t>(v.openInterest));
    c.range("volume", v.volume, 0, kU32);
    put_u32(out, 156, static_cast<uint32_t>(v.volume));
    c.range("open_range", v.openRange, 0, kU32);
    put_u32(out, 160, static_cast<uint32_t>(v.openRange));
    c.range("close_range_1", v.closeRange1, 0, kU32);
    put_u32(out, 164, static_cast<uint32_t>(v.closeRange1));
    c.range("close_range_2", v.closeRange2, 0, kU32);
    put_u32(out, 168, static_cast<uint32_t>(v.closeRange2));
    c.range("trade_indicator", v.tradeIndicator, 0, kU16);
    put_u16(out, 172, static_cast<uint32_t>(v.tradeIndicator));
    put_handle(out, kQuoteHandleOffset, kQuoteHandleTag);
    return c.error;
}

EncodeError encode_fundamentals(const FundamentalsValues &v,
                                unsigned char out[kSecurityRecordSize]) {
    Checker c;
    std::memset(out, 0, kSecurityRecordSize);
    put_handle(out, kFundamentalsHandleOffset, kFundamentalsHandleTag);
    if (c.text("base_item", v.baseItem, 20)) {
        put_text(out, 26, v.baseItem);
    }
    c.range("last_update", v.lastUpdate, 0, kU16);
    put_u16(out, 46, static_cast<uint32_t>(v.lastUpdate));
    c.range("div_freq", v.divFreq, 0, kU16);
    put_u16(out, 48, static_cast<uint32_t>(v.divFreq));
    c.range("price_type", v.priceType, 0, kU16);
    put_u16(out, 54, static_cast<uint32_t>(v.priceType));
    c.range("sec_category", v.secCategory, 0, kU16);
    put_u16(out, 56, static_cast<uint32_t>(v.secCategory));
    const double betaHundredths = std::nearbyint(v.beta * 100.0);
    if (!(betaHundredths >= 0 && betaHundredths <= 65535)) {
        c.fail("beta " + std::to_string(v.beta) + " is outside 0..655.35");
    } else {
        put_u16(out, 58, static_cast<uint32_t>(betaHundredths));
    }
    c.range("volume_flag", v.volumeFlag, 0, kU16);
    put_u16(out, 60, static_cast<uint32_t>(v.volumeFlag));

    const double dividends[2] = {v.divLast, v.divExp};
    int32_t divExponent = 0;
    int64_t divMantissas[2] = {0, 0};
    if (!choose_decimal(dividends, 2, 0, kU16, divExponent, divMantissas)) {
        c.fail("div_last/div_exp do not fit an unsigned 16-bit mantissa");
    }
    put_u16(out, 64, static_cast<uint32_t>(divExponent));
    put_u16(out, 66, static_cast<uint32_t>(divMantissas[0]));
    put_u16(out, 70, static_cast<uint32_t>(divMantissas[1]));

    put_date(c, out, 72, "div_date", v.divDate);
    put_date(c, out, 76, "exp_date", v.expDate);
    put_date(c, out, 80, "mat_date", v.matDate);

    const double divisor = price_divisor(signed16(v.priceType));
    put_i32(out, 92, c.price("close_price", v.closePrice, divisor));
    put_i32(out, 96, c.price("hist_high", v.histHigh, divisor));
    put_i32(out, 100, c.price("hist_low", v.histLow, divisor));
    c.range("volume", v.volume, 0, kU32);
    put_u32(out, 104, static_cast<uint32_t>(v.volume));
    c.range("open_interest", v.openInterest, kI32Min, kI32Max);
    put_i32(out, 108, static_cast<int32_t>(v.openInterest));
    c.range("outstanding", v.outstanding, 0, kU32);
    put_u32(out, 112, static_cast<uint32_t>(v.outstanding));
    c.range("sh_per_contr", v.shPerContr, 0, kU32);
    put_u32(out, 116, static_cast<uint32_t>(v.shPerContr));
    put_i32(out, 120, c.price("strike_price", v.strikePrice, divisor));
    if (c.text("name", v.name, 48)) {
        put_text(out, 128, v.name);
    }

    int32_t epsExponent = 0;
    int64_t epsMantissa = 0;
    if (!choose_decimal(&v.eps, 1, -32768, 32767, epsExponent, &epsMantissa)) {
        c.fail("eps does not fit a signed 16-bit mantissa");
    }
    put_u16(out, 176, static_cast<uint32_t>(epsExponent));
    put_u16(out, 178, static_cast<uint32_t>(epsMantissa));
    c.range("sp_code", v.spCode, 0, kU16);
    put_u16(out, 180, static_cast<uint32_t>(v.spCode));
    if (c.text("cusip", v.cusip, kSecurityRecordSize - 186)) {
        put_text(out, 186, v.cusip);
    }
    return c.error;
}

EncodeError encode_history_block(const HistoryRow *rows, int count,
                                 unsigned char out[kHistoryBlockSize]) {
    Checker c;
    std::memset(out, 0, kHistoryBlockSize);
    for (int k = 0; k < count && k < 8; ++k) {
        encode_history_record(c, rows[k], out + kHistoryRecordSize * static_cast<size_t>(7 - k));
    }
    if (count > 0 && count < 8) {
        for (int k = count; k < 8; ++k) {
            put_u8(out + kHistoryRecordSize * static_cast<size_t>(7 - k), 10,
                   static_cast<uint32_t>(rows[0].priceType));
        }
    }
    return c.error;
}

EncodeError encode_bar_block(const BarRow *rows, int count, unsigned char out[kBarBlockSize]) {
    Checker c;
    std::memset(out, 0, kBarBlockSize);
    for (int k = 0; k < count && k < 8; ++k) {
        encode_bar_record(c, rows[k], out + kBarRecordSize * static_cast<size_t>(k));
    }
    return c.error;
}

EncodeError encode_cant(const unsigned char *key, const CantValues &v,
                        unsigned char out[kCantRecordSize]) {
    Checker c;
    std::memset(out, 0, kCantRecordSize);
    std::memcpy(out, key, kKeySize);
    std::memcpy(out + 18, "CANT", 4);
    c.range("value", v.value, kI32Min, kI32Max);
    put_i32(out, 22, static_cast<int32_t>(v.value));
    if (c.text("text", v.text, kCantRecordSize - 26)) {
        put_text(out, 26, v.text);
    }
    return c.error;
}

EncodeError encode_version(const VersionValues &v, unsigned char out[kVersionRecordSize]) {
    Checker c;
    std::memset(out, 0, kVersionRecordSize);
    c.range("major", v.major, -32768, 32767);
    c.range("minor", v.minor, -32768, 32767);
    put_u16(out, 0, static_cast<uint32_t>(v.major));
    put_u16(out, 2, static_cast<uint32_t>(v.minor));
    if (c.text("release", v.release, 2)) {
        put_text(out, 4, v.release);
    }
    if (c.text("serial", v.serial, kVersionRecordSize - 6)) {
        put_text(out, 6, v.serial);
    }
    return c.error;
}

EncodeError check_quote(const QuoteValues &v) {
    unsigned char buffer[kSecurityRecordSize];
    return encode_quote(v, buffer);
}

EncodeError check_fundamentals(const FundamentalsValues &v) {
    unsigned char buffer[kSecurityRecordSize];
    return encode_fundamentals(v, buffer);
}

EncodeError check_history_row(const HistoryRow &r) {
    unsigned char buffer[kHistoryBlockSize];
    return encode_history_block(&r, 1, buffer);
}

EncodeError check_bar_row(const BarRow &r) {
    unsigned char buffer[kBarBlockSize];
    return encode_bar_block(&r, 1, buffer);
}

EncodeError check_cant(const CantValues &v) {
    unsigned char key[kKeySize] = {};
    unsigned char buffer[kCantRecordSize];
    return encode_cant(key, v, buffer);
}

EncodeError check_version(const VersionValues &v) {
    unsigned char buffer[kVersionRecordSize];
    return encode_version(v, buffer);
}

bool choose_decimal(const double *values, int count, int64_t lo, int64_t hi, int32_t &exponent,
                    int64_t *mantissas) {
    int32_t lastFit = -1;
    double scale = 1.0;
    for (int32_t e = 0; e <= 9; ++e, scale *= 10.0) {
        bool fits = true;
        bool exact = true;
        for (int i = 0; i < count; ++i) {
            const double m = std::nearbyint(values[i] * scale);
            if (!std::isfinite(m) || m < static_cast<double>(lo) || m > static_cast<double>(hi)) {
                fits = false;
                break;
            }
            // Exact when the client's mantissa / 10^e gives back the very same double.
            if (m / scale != values[i]) {
                exact = false;
            }
        }
        if (!fits) {
            break;
        }
        lastFit = e;
        if (exact) {
            break;
        }
    }
    if (lastFit < 0) {
        return false;
    }
    exponent = lastFit;
    const double finalScale = std::pow(10.0, lastFit);
    for (int i = 0; i < count; ++i) {
        mantissas[i] = static_cast<int64_t>(std::nearbyint(values[i] * finalScale));
    }
    return true;
}

} // namespace pcqw32
