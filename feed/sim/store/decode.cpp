#include "decode.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace pcqw32 {

namespace {

// Text from `at` to its first zero byte, or to the end of its room.
std::string text(const unsigned char *p, std::size_t at, std::size_t room) {
    const void *zero = std::memchr(p + at, 0, room);
    const std::size_t n =
        zero ? static_cast<std::size_t>(static_cast<const unsigned char *>(zero) - (p + at)) : room;
    return std::string(reinterpret_cast<const char *>(p + at), n);
}

// A two-bit tick code with its higher bit at `bit`: the higher bit means -1, the lower one +1.
int32_t tick(uint32_t word, unsigned bit) {
    if (word >> bit & 1u) {
        return -1;
    }
    return (word >> (bit - 1) & 1u) ? 1 : 0;
}

int32_t flag(uint32_t word, unsigned bit) {
    return static_cast<int32_t>(word >> bit & 1u);
}

QuoteGroup group(const unsigned char *p, std::size_t at, double divisor) {
    QuoteGroup g;
    g.price = readI32(p, at + QUOTE_GROUP_PRICE_AT) / divisor;
    g.size = readU32(p, at + QUOTE_GROUP_SIZE_AT);
    g.exchange = text(p, at + QUOTE_GROUP_EXCHANGE_AT, QUOTE_EXCHANGE_ROOM);
    g.hour = readI8(p, at + QUOTE_GROUP_HOURS_AT);
    g.minute = readI8(p, at + QUOTE_GROUP_MINUTES_AT);
    return g;
}

FeedDate date(const unsigned char *p, std::size_t at) {
    FeedDate d;
    d.year = readU8(p, at + DATE_CENTURY_AT) * 100 + readU8(p, at + DATE_YEAR_AT);
    d.month = readU8(p, at + DATE_MONTH_AT);
    d.day = readU8(p, at + DATE_DAY_AT);
    return d;
}

double decimal(int64_t mantissa, uint32_t exponent) {
    return static_cast<double>(mantissa) / std::pow(10.0, static_cast<double>(exponent));
}

std::string formatDouble(double v) {
    char buffer[40];
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(buffer, sizeof buffer, "%.*g", precision, v);
        if (std::strtod(buffer, nullptr) == v) {
            break;
        }
    }
    return buffer;
}

std::string quoted(const std::string &s) {
    std::string out = "\"";
    for (unsigned char ch : s) {
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += static_cast<char>(ch);
        } else if (ch < 0x20 || ch >= 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", ch);
            out += escape;
        } else {
            out += static_cast<char>(ch);
        }
    }
    return out + "\"";
}

} // namespace

QuoteValues decodeQuote(const unsigned char *p) {
    QuoteValues v;
    v.symbol = text(p, QUOTE_SYMBOL_OFFSET, QUOTE_SYMBOL_ROOM);
    const uint32_t flags = readU16(p, QUOTE_FLAGS_OFFSET);
    v.status = flag(flags, QUOTE_STATUS_BIT);
    v.news = flag(flags, QUOTE_NEWS_BIT);
    v.exDividendToday = flag(flags, QUOTE_EX_DIVIDEND_BIT);
    v.splitToday = flag(flags, QUOTE_SPLIT_BIT);
    v.priceType = readU16(p, QUOTE_PRICE_TYPE_OFFSET);
    v.secCategory = readU16(p, QUOTE_SEC_CATEGORY_OFFSET);
    v.primaryExchange = text(p, QUOTE_PRIMARY_EXCHANGE_OFFSET, QUOTE_EXCHANGE_ROOM);
    v.quoteIndicator = readU16(p, QUOTE_QUOTE_INDICATOR_OFFSET);
    const double divisor = priceTypeDivisor(readI16(p, QUOTE_PRICE_TYPE_OFFSET));
    v.last = group(p, QUOTE_LAST_GROUP_OFFSET, divisor);
    v.open = group(p, QUOTE_OPEN_GROUP_OFFSET, divisor);
    v.high = group(p, QUOTE_HIGH_GROUP_OFFSET, divisor);
    v.low = group(p, QUOTE_LOW_GROUP_OFFSET, divisor);
    v.yesterday = group(p, QUOTE_YESTERDAY_GROUP_OFFSET, divisor);
    v.bid = group(p, QUOTE_BID_GROUP_OFFSET, divisor);
    v.ask = group(p, QUOTE_ASK_GROUP_OFFSET, divisor);
    const uint32_t ticks = readU16(p, QUOTE_TICK_WORD_OFFSET);
    v.last.tick = tick(ticks, QUOTE_LAST_TICK_BIT);
    v.open.tick = tick(ticks, QUOTE_OPEN_TICK_BIT);
    v.yesterday.tick = tick(ticks, QUOTE_YESTERDAY_TICK_BIT);
    v.bid.tick = tick(ticks, QUOTE_BID_TICK_BIT);
    v.ask.tick = tick(ticks, QUOTE_ASK_TICK_BIT);
    v.openInterest = readU32(p, QUOTE_OPEN_INTEREST_OFFSET);
    v.volume = readU32(p, QUOTE_VOLUME_OFFSET);
    v.openRange = readU32(p, QUOTE_OPEN_RANGE_OFFSET);
    v.closeRange1 = readU32(p, QUOTE_CLOSE_RANGE_OFFSET);
    v.closeRange2 = readU32(p, QUOTE_CLOSE_RANGE_SECOND_OFFSET);
    v.tradeIndicator = readU16(p, QUOTE_TRADE_INDICATOR_OFFSET);
    return v;
}

FundamentalsValues decodeFundamentals(const unsigned char *p, std::size_t size) {
    FundamentalsValues v;
    v.baseItem = text(p, FUNDAMENTALS_BASE_ITEM_OFFSET, FUNDAMENTALS_BASE_ITEM_ROOM);
    v.lastUpdate = readU16(p, FUNDAMENTALS_LAST_UPDATE_OFFSET);
    v.divFreq = readU16(p, FUNDAMENTALS_DIV_FREQ_OFFSET);
    v.priceType = readU16(p, FUNDAMENTALS_PRICE_TYPE_OFFSET);
    v.secCategory = readU16(p, FUNDAMENTALS_SEC_CATEGORY_OFFSET);
    v.beta = readU16(p, FUNDAMENTALS_BETA_OFFSET) / FUNDAMENTALS_BETA_SCALE;
    v.volumeFlag = readU16(p, FUNDAMENTALS_VOLUME_FLAG_OFFSET);
    const uint32_t divExponent = readU16(p, FUNDAMENTALS_DIV_EXPONENT_OFFSET);
    v.divLast = decimal(readU16(p, FUNDAMENTALS_DIV_LAST_OFFSET), divExponent);
    v.divExp = decimal(readU16(p, FUNDAMENTALS_DIV_EXP_OFFSET), divExponent);
    v.divDate = date(p, FUNDAMENTALS_DIV_DATE_OFFSET);
    v.expDate = date(p, FUNDAMENTALS_EXP_DATE_OFFSET);
    v.matDate = date(p, FUNDAMENTALS_MAT_DATE_OFFSET);
    const double divisor = priceTypeDivisor(readI16(p, FUNDAMENTALS_PRICE_TYPE_OFFSET));
    v.closePrice = readI32(p, FUNDAMENTALS_CLOSE_PRICE_OFFSET) / divisor;
    v.histHigh = readI32(p, FUNDAMENTALS_HIST_HIGH_OFFSET) / divisor;
    v.histLow = readI32(p, FUNDAMENTALS_HIST_LOW_OFFSET) / divisor;
    v.volume = readU32(p, FUNDAMENTALS_VOLUME_OFFSET);
    v.openInterest = readI32(p, FUNDAMENTALS_OPEN_INTEREST_OFFSET);
    v.outstanding = readU32(p, FUNDAMENTALS_OUTSTANDING_OFFSET);
    v.shPerContr = readU32(p, FUNDAMENTALS_SH_PER_CONTR_OFFSET);
    v.strikePrice = readI32(p, FUNDAMENTALS_STRIKE_PRICE_OFFSET) / divisor;
    v.name = text(p, FUNDAMENTALS_NAME_OFFSET, FUNDAMENTALS_NAME_ROOM);
    v.eps = decimal(readI16(p, FUNDAMENTALS_EPS_MANTISSA_OFFSET),
                    readU16(p, FUNDAMENTALS_EPS_EXPONENT_OFFSET));
    v.spCode = readU16(p, FUNDAMENTALS_SP_CODE_OFFSET);
    v.cusip = text(p, FUNDAMENTALS_CUSIP_OFFSET, size - FUNDAMENTALS_CUSIP_OFFSET);
    return v;
}

VersionValues decodeVersion(const unsigned char *p, std::size_t size) {
    VersionValues v;
    v.major = readI16(p, VERSION_MAJOR_OFFSET);
    v.minor = readI16(p, VERSION_MINOR_OFFSET);
    v.release = text(p, VERSION_RELEASE_OFFSET, VERSION_RELEASE_ROOM);
    v.serial = text(p, VERSION_SERIAL_OFFSET, size - VERSION_SERIAL_OFFSET);
    return v;
}

CantValues decodeCant(const unsigned char *p, std::size_t size, std::string &symbol,
                      std::string &qualifier) {
    symbol = keySymbol(p + CANT_KEY_OFFSET);
    qualifier = keyQualifier(p + CANT_KEY_OFFSET);
    CantValues v;
    v.value = readI32(p, CANT_VALUE_OFFSET);
    v.text = text(p, CANT_TEXT_OFFSET, size - CANT_TEXT_OFFSET);
    return v;
}

std::vector<HistoryRow> decodeHistoryBlock(const unsigned char *block) {
    std::vector<HistoryRow> rows(HISTORY_BLOCK_RECORDS);
    for (std::size_t k = 0; k < HISTORY_BLOCK_RECORDS; ++k) {
        const unsigned char *p = block + HISTORY_RECORD_SIZE * historyRecordOfRow(k);
        HistoryRow &r = rows[k];
        r.priceType = readU8(p, HISTORY_PRICE_TYPE_OFFSET);
        r.price = readI32(p, HISTORY_PRICE_OFFSET) / priceTypeDivisor(r.priceType);
        r.size = readU32(p, HISTORY_SIZE_OFFSET);
        r.day = readU8(p, HISTORY_DAY_OFFSET);
        r.condition = readU8(p, HISTORY_CONDITION_OFFSET);
        r.hour = readU8(p, HISTORY_HOUR_OFFSET);
        r.minute = readU8(p, HISTORY_MINUTE_OFFSET);
        r.second = readU8(p, HISTORY_SECOND_OFFSET);
    }
    return rows;
}

std::vector<BarRow> decodeBarBlock(const unsigned char *block) {
    std::vector<BarRow> rows(BAR_BLOCK_RECORDS);
    for (std::size_t k = 0; k < BAR_BLOCK_RECORDS; ++k) {
        const unsigned char *p = block + BAR_RECORD_SIZE * k;
        BarRow &r = rows[k];
        r.priceType = readU8(p, BAR_PRICE_TYPE_OFFSET);
        const double divisor = priceTypeDivisor(r.priceType);
        r.stamp = readU32(p, BAR_STAMP_OFFSET);
        r.open = readI32(p, BAR_OPEN_OFFSET) / divisor;
        r.high = readI32(p, BAR_HIGH_OFFSET) / divisor;
        r.low = readI32(p, BAR_LOW_OFFSET) / divisor;
        r.close = readI32(p, BAR_CLOSE_OFFSET) / divisor;
        r.volume = readI32(p, BAR_VOLUME_OFFSET);
    }
    return rows;
}

std::string formatField(const FieldRef &f) {
    switch (f.kind) {
    case FieldKind::INT32:
        return std::to_string(*static_cast<const int32_t *>(f.ptr));
    case FieldKind::INT64:
        return std::to_string(*static_cast<const int64_t *>(f.ptr));
    case FieldKind::DOUBLE:
        return formatDouble(*static_cast<const double *>(f.ptr));
    case FieldKind::TEXT:
        return quoted(*static_cast<const std::string *>(f.ptr));
    case FieldKind::DATE: {
        const FeedDate &d = *static_cast<const FeedDate *>(f.ptr);
        if (d.year == 0 && d.month == 0 && d.day == 0) {
            return "";
        }
        char buffer[48];
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", d.year, d.month, d.day);
        return buffer;
    }
    }
    return "";
}

std::string formatFields(const std::vector<FieldRef> &fields) {
    std::string out;
    for (const FieldRef &f : fields) {
        if (!out.empty()) {
            out += ' ';
        }
        out += f.name;
        out += '=';
        out += formatField(f);
    }
    return out;
}

} // namespace pcqw32
