#include "records.h"

#include <cmath>
#include <cstring>

namespace pcqw32 {

const char QUOTE_HANDLE_TAG[HANDLE_TAG_SIZE] = {'Q', 'S', 'E', 'C'};
const char FUNDAMENTALS_HANDLE_TAG[HANDLE_TAG_SIZE] = {'F', 'S', 'E', 'C'};

void putText(unsigned char *p, std::size_t offset, const std::string &text) {
    std::memcpy(p + offset, text.data(), text.size());
    p[offset + text.size()] = 0;
}

namespace {

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

constexpr int64_t MAX_U8 = 0xFF;
constexpr int64_t MAX_U16 = 0xFFFF;
constexpr int64_t MAX_U32 = 0xFFFFFFFFLL;
constexpr int64_t MIN_I32 = -2147483648LL;
constexpr int64_t MAX_I32 = 2147483647LL;

// The two bits of a tick with its higher bit at `highBit`: the higher one for -1, the lower
// one alone for +1.
uint32_t tickBits(Checker &c, const char *field, int32_t tick, unsigned highBit) {
    if (!c.range(field, tick, -1, 1)) {
        return 0;
    }
    return tick < 0 ? 1u << highBit : (tick > 0 ? 1u << (highBit - 1) : 0u);
}

uint32_t flag(Checker &c, const char *field, int32_t value, unsigned bit) {
    return c.range(field, value, 0, 1) ? static_cast<uint32_t>(value) << bit : 0u;
}

void putGroup(Checker &c, unsigned char *out, std::size_t at, const char *name, const QuoteGroup &g,
              double divisor) {
    const std::string field(name);
    writeI32(out, at + QUOTE_GROUP_PRICE_AT, c.price((field + " price").c_str(), g.price, divisor));
    c.range((field + " size").c_str(), g.size, 0, MAX_U32);
    writeU32(out, at + QUOTE_GROUP_SIZE_AT, static_cast<uint32_t>(g.size));
    if (c.text((field + " exchange").c_str(), g.exchange, QUOTE_EXCHANGE_ROOM)) {
        putText(out, at + QUOTE_GROUP_EXCHANGE_AT, g.exchange);
    }
    c.range((field + " hour").c_str(), g.hour, -128, 127);
    c.range((field + " minute").c_str(), g.minute, -128, 127);
    writeU8(out, at + QUOTE_GROUP_HOURS_AT, static_cast<uint32_t>(g.hour));
    writeU8(out, at + QUOTE_GROUP_MINUTES_AT, static_cast<uint32_t>(g.minute));
}

void putDate(Checker &c, unsigned char *out, std::size_t at, const char *field, const FeedDate &d) {
    if (!c.range(field, d.year, 0, 255 * 100 + 99) || !c.range(field, d.month, 0, 255) ||
        !c.range(field, d.day, 0, 255)) {
        return;
    }
    writeU8(out, at + DATE_CENTURY_AT, static_cast<uint32_t>(d.year / 100));
    writeU8(out, at + DATE_YEAR_AT, static_cast<uint32_t>(d.year % 100));
    writeU8(out, at + DATE_MONTH_AT, static_cast<uint32_t>(d.month));
    writeU8(out, at + DATE_DAY_AT, static_cast<uint32_t>(d.day));
}

void putHandle(unsigned char *out, std::size_t at, const char tag[HANDLE_TAG_SIZE]) {
    std::memcpy(out + at, tag, HANDLE_TAG_SIZE);
}

void encodeHistoryRecord(Checker &c, const HistoryRow &r, unsigned char *out) {
    c.range("history price type", r.priceType, 0, MAX_U8);
    const double divisor = priceTypeDivisor(r.priceType & 0xFF);
    writeI32(out, HISTORY_PRICE_OFFSET, c.price("history price", r.price, divisor));
    c.range("history size", r.size, 0, MAX_U32);
    writeU32(out, HISTORY_SIZE_OFFSET, static_cast<uint32_t>(r.size));
    c.range("history day", r.day, 0, MAX_U8);
    writeU8(out, HISTORY_DAY_OFFSET, static_cast<uint32_t>(r.day));
    writeU8(out, HISTORY_PRICE_TYPE_OFFSET, static_cast<uint32_t>(r.priceType));
    c.range("history condition", r.condition, 0, MAX_U8);
    writeU8(out, HISTORY_CONDITION_OFFSET, static_cast<uint32_t>(r.condition));
    c.range("history hour", r.hour, 0, MAX_U8);
    c.range("history minute", r.minute, 0, MAX_U8);
    c.range("history second", r.second, 0, MAX_U8);
    writeU8(out, HISTORY_HOUR_OFFSET, static_cast<uint32_t>(r.hour));
    writeU8(out, HISTORY_MINUTE_OFFSET, static_cast<uint32_t>(r.minute));
    writeU8(out, HISTORY_SECOND_OFFSET, static_cast<uint32_t>(r.second));
}

void encodeBarRecord(Checker &c, const BarRow &r, unsigned char *out) {
    c.range("bar price type", r.priceType, 0, MAX_U8);
    const double divisor = priceTypeDivisor(r.priceType & 0xFF);
    writeU8(out, BAR_PRICE_TYPE_OFFSET, static_cast<uint32_t>(r.priceType));
    c.range("bar stamp", r.stamp, 0, MAX_U32);
    writeU32(out, BAR_STAMP_OFFSET, static_cast<uint32_t>(r.stamp));
    writeI32(out, BAR_OPEN_OFFSET, c.price("bar open", r.open, divisor));
    writeI32(out, BAR_HIGH_OFFSET, c.price("bar high", r.high, divisor));
    writeI32(out, BAR_LOW_OFFSET, c.price("bar low", r.low, divisor));
    writeI32(out, BAR_CLOSE_OFFSET, c.price("bar close", r.close, divisor));
    c.range("bar volume", r.volume, MIN_I32, MAX_I32);
    writeI32(out, BAR_VOLUME_OFFSET, static_cast<int32_t>(r.volume));
}

} // namespace

double clientPrice(double price, int32_t code) {
    const double divisor = priceTypeDivisor(code);
    return std::nearbyint(price * divisor) / divisor;
}

bool makeKey(const std::string &symbol, const std::string &qualifier,
             unsigned char key[SECURITY_KEY_SIZE]) {
    if (symbol.size() > KEY_SYMBOL_SIZE || qualifier.size() > KEY_QUALIFIER_SIZE) {
        return false;
    }
    std::memset(key, ' ', SECURITY_KEY_SIZE);
    writeU16(key, KEY_LEAD_WORD_OFFSET, 0);
    std::memcpy(key + KEY_SYMBOL_OFFSET, symbol.data(), symbol.size());
    std::memcpy(key + KEY_QUALIFIER_OFFSET, qualifier.data(), qualifier.size());
    return true;
}

// The symbol and qualifier fields lie side by side, so the store's `key` column holds both.
static_assert(KEY_QUALIFIER_OFFSET == KEY_SYMBOL_OFFSET + KEY_SYMBOL_SIZE,
              "the qualifier follows the symbol");

std::string keyBytes(const unsigned char *key) {
    return std::string(reinterpret_cast<const char *>(key + KEY_SYMBOL_OFFSET),
                       KEY_SYMBOL_SIZE + KEY_QUALIFIER_SIZE);
}

namespace {
std::string trimmed(const unsigned char *p, std::size_t n) {
    while (n > 0 && p[n - 1] == ' ') {
        --n;
    }
    return std::string(reinterpret_cast<const char *>(p), n);
}
} // namespace

std::string keySymbol(const unsigned char *key) {
    return trimmed(key + KEY_SYMBOL_OFFSET, KEY_SYMBOL_SIZE);
}
std::string keyQualifier(const unsigned char *key) {
    return trimmed(key + KEY_QUALIFIER_OFFSET, KEY_QUALIFIER_SIZE);
}

EncodeError encodeQuote(const QuoteValues &v, unsigned char out[SECURITY_RECORD_SIZE]) {
    Checker c;
    std::memset(out, 0, SECURITY_RECORD_SIZE);
    if (c.text("symbol", v.symbol, QUOTE_SYMBOL_ROOM)) {
        putText(out, QUOTE_SYMBOL_OFFSET, v.symbol);
    }
    const uint32_t flags = flag(c, "status", v.status, QUOTE_STATUS_BIT) |
                           flag(c, "news", v.news, QUOTE_NEWS_BIT) |
                           flag(c, "ex_dividend_today", v.exDividendToday, QUOTE_EX_DIVIDEND_BIT) |
                           flag(c, "split_today", v.splitToday, QUOTE_SPLIT_BIT);
    writeU16(out, QUOTE_FLAGS_OFFSET, flags);
    c.range("price_type", v.priceType, 0, MAX_U16);
    writeU16(out, QUOTE_PRICE_TYPE_OFFSET, static_cast<uint32_t>(v.priceType));
    c.range("sec_category", v.secCategory, 0, MAX_U16);
    writeU16(out, QUOTE_SEC_CATEGORY_OFFSET, static_cast<uint32_t>(v.secCategory));
    const uint32_t ticks =
        tickBits(c, "last_tick", v.last.tick, QUOTE_LAST_TICK_BIT) |
        tickBits(c, "open_tick", v.open.tick, QUOTE_OPEN_TICK_BIT) |
        tickBits(c, "yesterday_tick", v.yesterday.tick, QUOTE_YESTERDAY_TICK_BIT) |
        tickBits(c, "bid_tick", v.bid.tick, QUOTE_BID_TICK_BIT) |
        tickBits(c, "ask_tick", v.ask.tick, QUOTE_ASK_TICK_BIT);
    writeU16(out, QUOTE_TICK_WORD_OFFSET, ticks);
    if (c.text("primary_exchange", v.primaryExchange, QUOTE_EXCHANGE_ROOM)) {
        putText(out, QUOTE_PRIMARY_EXCHANGE_OFFSET, v.primaryExchange);
    }
    c.range("quote_indicator", v.quoteIndicator, 0, MAX_U16);
    writeU16(out, QUOTE_QUOTE_INDICATOR_OFFSET, static_cast<uint32_t>(v.quoteIndicator));

    // The divisor of the price type as a client reads the written word: signed.
    const double divisor = priceTypeDivisor(readI16(out, QUOTE_PRICE_TYPE_OFFSET));
    putGroup(c, out, QUOTE_LAST_GROUP_OFFSET, "last", v.last, divisor);
    putGroup(c, out, QUOTE_OPEN_GROUP_OFFSET, "open", v.open, divisor);
    putGroup(c, out, QUOTE_HIGH_GROUP_OFFSET, "high", v.high, divisor);
    putGroup(c, out, QUOTE_LOW_GROUP_OFFSET, "low", v.low, divisor);
    putGroup(c, out, QUOTE_YESTERDAY_GROUP_OFFSET, "yesterday", v.yesterday, divisor);
    putGroup(c, out, QUOTE_BID_GROUP_OFFSET, "bid", v.bid, divisor);
    putGroup(c, out, QUOTE_ASK_GROUP_OFFSET, "ask", v.ask, divisor);

    c.range("open_interest", v.openInterest, 0, MAX_U32);
    writeU32(out, QUOTE_OPEN_INTEREST_OFFSET, static_cast<uint32_t>(v.openInterest));
    c.range("volume", v.volume, 0, MAX_U32);
    writeU32(out, QUOTE_VOLUME_OFFSET, static_cast<uint32_t>(v.volume));
    c.range("open_range", v.openRange, 0, MAX_U32);
    writeU32(out, QUOTE_OPEN_RANGE_OFFSET, static_cast<uint32_t>(v.openRange));
    c.range("close_range_1", v.closeRange1, 0, MAX_U32);
    writeU32(out, QUOTE_CLOSE_RANGE_OFFSET, static_cast<uint32_t>(v.closeRange1));
    c.range("close_range_2", v.closeRange2, 0, MAX_U32);
    writeU32(out, QUOTE_CLOSE_RANGE_SECOND_OFFSET, static_cast<uint32_t>(v.closeRange2));
    c.range("trade_indicator", v.tradeIndicator, 0, MAX_U16);
    writeU16(out, QUOTE_TRADE_INDICATOR_OFFSET, static_cast<uint32_t>(v.tradeIndicator));
    putHandle(out, QUOTE_HANDLE_OFFSET, QUOTE_HANDLE_TAG);
    return c.error;
}

EncodeError encodeFundamentals(const FundamentalsValues &v,
                               unsigned char out[SECURITY_RECORD_SIZE]) {
    Checker c;
    std::memset(out, 0, SECURITY_RECORD_SIZE);
    putHandle(out, FUNDAMENTALS_HANDLE_OFFSET, FUNDAMENTALS_HANDLE_TAG);
    if (c.text("base_item", v.baseItem, FUNDAMENTALS_BASE_ITEM_ROOM)) {
        putText(out, FUNDAMENTALS_BASE_ITEM_OFFSET, v.baseItem);
    }
    c.range("last_update", v.lastUpdate, 0, MAX_U16);
    writeU16(out, FUNDAMENTALS_LAST_UPDATE_OFFSET, static_cast<uint32_t>(v.lastUpdate));
    c.range("div_freq", v.divFreq, 0, MAX_U16);
    writeU16(out, FUNDAMENTALS_DIV_FREQ_OFFSET, static_cast<uint32_t>(v.divFreq));
    c.range("price_type", v.priceType, 0, MAX_U16);
    writeU16(out, FUNDAMENTALS_PRICE_TYPE_OFFSET, static_cast<uint32_t>(v.priceType));
    c.range("sec_category", v.secCategory, 0, MAX_U16);
    writeU16(out, FUNDAMENTALS_SEC_CATEGORY_OFFSET, static_cast<uint32_t>(v.secCategory));
    const double betaHundredths = std::nearbyint(v.beta * FUNDAMENTALS_BETA_SCALE);
    if (!(betaHundredths >= 0 && betaHundredths <= 65535)) {
        c.fail("beta " + std::to_string(v.beta) + " is outside 0..655.35");
    } else {
        writeU16(out, FUNDAMENTALS_BETA_OFFSET, static_cast<uint32_t>(betaHundredths));
    }
    c.range("volume_flag", v.volumeFlag, 0, MAX_U16);
    writeU16(out, FUNDAMENTALS_VOLUME_FLAG_OFFSET, static_cast<uint32_t>(v.volumeFlag));

    const double dividends[2] = {v.divLast, v.divExp};
    int32_t divExponent = 0;
    int64_t divMantissas[2] = {0, 0};
    if (!chooseDecimal(dividends, 2, 0, MAX_U16, divExponent, divMantissas)) {
        c.fail("div_last/div_exp do not fit an unsigned 16-bit mantissa");
    }
    writeU16(out, FUNDAMENTALS_DIV_EXPONENT_OFFSET, static_cast<uint32_t>(divExponent));
    writeU16(out, FUNDAMENTALS_DIV_LAST_OFFSET, static_cast<uint32_t>(divMantissas[0]));
    writeU16(out, FUNDAMENTALS_DIV_EXP_OFFSET, static_cast<uint32_t>(divMantissas[1]));

    putDate(c, out, FUNDAMENTALS_DIV_DATE_OFFSET, "div_date", v.divDate);
    putDate(c, out, FUNDAMENTALS_EXP_DATE_OFFSET, "exp_date", v.expDate);
    putDate(c, out, FUNDAMENTALS_MAT_DATE_OFFSET, "mat_date", v.matDate);

    // The divisor of the price type as a client reads the written word: signed.
    const double divisor = priceTypeDivisor(readI16(out, FUNDAMENTALS_PRICE_TYPE_OFFSET));
    writeI32(out, FUNDAMENTALS_CLOSE_PRICE_OFFSET, c.price("close_price", v.closePrice, divisor));
    writeI32(out, FUNDAMENTALS_HIST_HIGH_OFFSET, c.price("hist_high", v.histHigh, divisor));
    writeI32(out, FUNDAMENTALS_HIST_LOW_OFFSET, c.price("hist_low", v.histLow, divisor));
    c.range("volume", v.volume, 0, MAX_U32);
    writeU32(out, FUNDAMENTALS_VOLUME_OFFSET, static_cast<uint32_t>(v.volume));
    c.range("open_interest", v.openInterest, MIN_I32, MAX_I32);
    writeI32(out, FUNDAMENTALS_OPEN_INTEREST_OFFSET, static_cast<int32_t>(v.openInterest));
    c.range("outstanding", v.outstanding, 0, MAX_U32);
    writeU32(out, FUNDAMENTALS_OUTSTANDING_OFFSET, static_cast<uint32_t>(v.outstanding));
    c.range("sh_per_contr", v.shPerContr, 0, MAX_U32);
    writeU32(out, FUNDAMENTALS_SH_PER_CONTR_OFFSET, static_cast<uint32_t>(v.shPerContr));
    writeI32(out, FUNDAMENTALS_STRIKE_PRICE_OFFSET,
             c.price("strike_price", v.strikePrice, divisor));
    if (c.text("name", v.name, FUNDAMENTALS_NAME_ROOM)) {
        putText(out, FUNDAMENTALS_NAME_OFFSET, v.name);
    }

    int32_t epsExponent = 0;
    int64_t epsMantissa = 0;
    if (!chooseDecimal(&v.eps, 1, -32768, 32767, epsExponent, &epsMantissa)) {
        c.fail("eps does not fit a signed 16-bit mantissa");
    }
    writeU16(out, FUNDAMENTALS_EPS_EXPONENT_OFFSET, static_cast<uint32_t>(epsExponent));
    writeU16(out, FUNDAMENTALS_EPS_MANTISSA_OFFSET, static_cast<uint32_t>(epsMantissa));
    c.range("sp_code", v.spCode, 0, MAX_U16);
    writeU16(out, FUNDAMENTALS_SP_CODE_OFFSET, static_cast<uint32_t>(v.spCode));
    // The record stops at the security record's end, so the CUSIP's room does too.
    if (c.text("cusip", v.cusip, SECURITY_RECORD_SIZE - FUNDAMENTALS_CUSIP_OFFSET)) {
        putText(out, FUNDAMENTALS_CUSIP_OFFSET, v.cusip);
    }
    return c.error;
}

EncodeError encodeHistoryBlock(const HistoryRow *rows, int count,
                               unsigned char out[HISTORY_BLOCK_SIZE]) {
    Checker c;
    std::memset(out, 0, HISTORY_BLOCK_SIZE);
    const std::size_t filled = count > 0 ? static_cast<std::size_t>(count) : 0;
    for (std::size_t k = 0; k < filled && k < HISTORY_BLOCK_RECORDS; ++k) {
        encodeHistoryRecord(c, rows[k], out + HISTORY_RECORD_SIZE * historyRecordOfRow(k));
    }
    if (filled > 0 && filled < HISTORY_BLOCK_RECORDS) {
        for (std::size_t k = filled; k < HISTORY_BLOCK_RECORDS; ++k) {
            writeU8(out + HISTORY_RECORD_SIZE * historyRecordOfRow(k), HISTORY_PRICE_TYPE_OFFSET,
                    static_cast<uint32_t>(rows[0].priceType));
        }
    }
    return c.error;
}

EncodeError encodeBarBlock(const BarRow *rows, int count, unsigned char out[BAR_BLOCK_SIZE]) {
    Checker c;
    std::memset(out, 0, BAR_BLOCK_SIZE);
    const std::size_t filled = count > 0 ? static_cast<std::size_t>(count) : 0;
    for (std::size_t k = 0; k < filled && k < BAR_BLOCK_RECORDS; ++k) {
        encodeBarRecord(c, rows[k], out + BAR_RECORD_SIZE * k);
    }
    return c.error;
}

EncodeError encodeCant(const unsigned char *key, const CantValues &v,
                       unsigned char out[CANT_RECORD_SIZE]) {
    Checker c;
    std::memset(out, 0, CANT_RECORD_SIZE);
    std::memcpy(out + CANT_KEY_OFFSET, key, SECURITY_KEY_SIZE);
    std::memcpy(out + CANT_TAG_OFFSET, KEY_TAG, KEY_TAG_SIZE);
    c.range("value", v.value, MIN_I32, MAX_I32);
    writeI32(out, CANT_VALUE_OFFSET, static_cast<int32_t>(v.value));
    if (c.text("text", v.text, CANT_RECORD_SIZE - CANT_TEXT_OFFSET)) {
        putText(out, CANT_TEXT_OFFSET, v.text);
    }
    return c.error;
}

EncodeError encodeVersion(const VersionValues &v, unsigned char out[RECORD_BUFFER_SIZE]) {
    Checker c;
    std::memset(out, 0, RECORD_BUFFER_SIZE);
    c.range("major", v.major, -32768, 32767);
    c.range("minor", v.minor, -32768, 32767);
    writeU16(out, VERSION_MAJOR_OFFSET, static_cast<uint32_t>(v.major));
    writeU16(out, VERSION_MINOR_OFFSET, static_cast<uint32_t>(v.minor));
    if (c.text("release", v.release, VERSION_RELEASE_ROOM)) {
        putText(out, VERSION_RELEASE_OFFSET, v.release);
    }
    if (c.text("serial", v.serial, VERSION_SERIAL_ROOM)) {
        putText(out, VERSION_SERIAL_OFFSET, v.serial);
    }
    return c.error;
}

EncodeError checkQuote(const QuoteValues &v) {
    unsigned char buffer[SECURITY_RECORD_SIZE];
    return encodeQuote(v, buffer);
}

EncodeError checkFundamentals(const FundamentalsValues &v) {
    unsigned char buffer[SECURITY_RECORD_SIZE];
    return encodeFundamentals(v, buffer);
}

EncodeError checkHistoryRow(const HistoryRow &r) {
    unsigned char buffer[HISTORY_BLOCK_SIZE];
    return encodeHistoryBlock(&r, 1, buffer);
}

EncodeError checkBarRow(const BarRow &r) {
    unsigned char buffer[BAR_BLOCK_SIZE];
    return encodeBarBlock(&r, 1, buffer);
}

EncodeError checkCant(const CantValues &v) {
    unsigned char key[SECURITY_KEY_SIZE] = {};
    unsigned char buffer[CANT_RECORD_SIZE];
    return encodeCant(key, v, buffer);
}

EncodeError checkVersion(const VersionValues &v) {
    unsigned char buffer[RECORD_BUFFER_SIZE];
    return encodeVersion(v, buffer);
}

bool chooseDecimal(const double *values, int count, int64_t lo, int64_t hi, int32_t &exponent,
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
