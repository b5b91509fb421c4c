#include "decode.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace pcqw32 {

namespace {

uint32_t u8(const unsigned char *p, std::size_t at) {
    return p[at];
}
int32_t s8(const unsigned char *p, std::size_t at) {
    return static_cast<int8_t>(p[at]);
}
uint32_t u16(const unsigned char *p, std::size_t at) {
    return static_cast<uint32_t>(p[at]) | static_cast<uint32_t>(p[at + 1]) << 8;
}
int32_t s16(const unsigned char *p, std::size_t at) {
    return static_cast<int16_t>(static_cast<uint16_t>(u16(p, at)));
}
int32_t s32(const unsigned char *p, std::size_t at) {
    return static_cast<int32_t>(get_u32(p, at));
}

// Text from `at` to its first zero byte, or to the end of its room.
std::string text(const unsigned char *p, std::size_t at, std::size_t room) {
    const void *zero = std::memchr(p + at, 0, room);
    const std::size_t n =
        zero ? static_cast<std::size_t>(static_cast<const unsigned char *>(zero) - (p + at)) : room;
    return std::string(reinterpret_cast<const char *>(p + at), n);
}

// A two-bit tick code with its high bit at `bit`: the high bit means -1, the low one +1.
int32_t tick(uint32_t word, int bit) {
    if (word >> bit & 1u) {
        return -1;
    }
    return (word >> (bit - 1) & 1u) ? 1 : 0;
}

int32_t flag(uint32_t word, int bit) {
    return static_cast<int32_t>(word >> bit & 1u);
}

QuoteGroup group(const unsigned char *p, std::size_t at, double divisor) {
    QuoteGroup g;
    g.price = s32(p, at) / divisor;
    g.size = get_u32(p, at + 4);
    g.exchange = text(p, at + 8, 2);
    g.hour = s8(p, at + 10);
    g.minute = s8(p, at + 11);
    return g;
}

FeedDate date(const unsigned char *p, std::size_t at) {
    FeedDate d;
    d.year = static_cast<int32_t>(u8(p, at) * 100 + u8(p, at + 1));
    d.month = static_cast<int32_t>(u8(p, at + 2));
    d.day = static_cast<int32_t>(u8(p, at + 3));
    return d;
}

double decimal(int64_t mantissa, uint32_t exponent) {
    return static_cast<double>(mantissa) / std::pow(10.0, static_cast<double>(exponent));
}

std::string format_double(double v) {
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

QuoteValues decode_quote(const unsigned char *p) {
    QuoteValues v;
    v.symbol = text(p, 2, 20);
    const uint32_t flags = u16(p, 22);
    v.status = flag(flags, 5);
    v.news = flag(flags, 6);
    v.exDividendToday = flag(flags, 14);
    v.splitToday = flag(flags, 15);
    v.priceType = static_cast<int32_t>(u16(p, 24));
    v.secCategory = static_cast<int32_t>(u16(p, 26));
    v.primaryExchange = text(p, 36, 2);
    v.quoteIndicator = static_cast<int32_t>(u16(p, 38));
    const double divisor = priceTypeDivisor(s16(p, 24));
    v.last = group(p, 44, divisor);
    v.open = group(p, 56, divisor);
    v.high = group(p, 68, divisor);
    v.low = group(p, 80, divisor);
    v.yesterday = group(p, 92, divisor);
    v.bid = group(p, 104, divisor);
    v.ask = group(p, 116, divisor);
    const uint32_t ticks = u16(p, 28);
    v.last.tick = tick(ticks, 15);
    v.open.tick = tick(ticks, 13);
    v.yesterday.tick = tick(ticks, 11);
    v.bid.tick = tick(ticks, 9);
    v.ask.tick = tick(ticks, 7);
    v.openInterest = get_u32(p, 152);
    v.volume = get_u32(p, 156);
    v.openRange = get_u32(p, 160);
    v.closeRange1 = get_u32(p, 164);
    v.closeRange2 = get_u32(p, 168);
    v.tradeIndicator = static_cast<int32_t>(u16(p, 172));
    return v;
}

FundamentalsValues decode_fundamentals(const unsigned char *p, std::size_t size) {
    FundamentalsValues v;
    v.baseItem = text(p, 26, 20);
    v.lastUpdate = static_cast<int32_t>(u16(p, 46));
    v.divFreq = static_cast<int32_t>(u16(p, 48));
    v.priceType = static_cast<int32_t>(u16(p, 54));
    v.secCategory = static_cast<int32_t>(u16(p, 56));
    v.beta = u16(p, 58) / 100.0;
    v.volumeFlag = static_cast<int32_t>(u16(p, 60));
    v.divLast = decimal(u16(p, 66), u16(p, 64));
    v.divExp = decimal(u16(p, 70), u16(p, 64));
    v.divDate = date(p, 72);
    v.expDate = date(p, 76);
    v.matDate = date(p, 80);
    const double divisor = priceTypeDivisor(s16(p, 54));
    v.closePrice = s32(p, 92) / divisor;
    v.histHigh = s32(p, 96) / divisor;
    v.histLow = s32(p, 100) / divisor;
    v.volume = get_u32(p, 104);
    v.openInterest = s32(p, 108);
    v.outstanding = get_u32(p, 112);
    v.shPerContr = get_u32(p, 116);
    v.strikePrice = s32(p, 120) / divisor;
    v.name = text(p, 128, 48);
    v.eps = decimal(s16(p, 178), u16(p, 176));
    v.spCode = static_cast<int32_t>(u16(p, 180));
    v.cusip = text(p, 186, size - 186);
    return v;
}

VersionValues decode_version(const unsigned char *p, std::size_t size) {
    VersionValues v;
    v.major = s16(p, 0);
    v.minor = s16(p, 2);
    v.release = text(p, 4, 2);
    v.serial = text(p, 6, size - 6);
    return v;
}

CantValues decode_cant(const unsigned char *p, std::size_t size, std::string &symbol,
                       std::string &qualifier) {
    symbol = key_symbol(p);
    qualifier = key_qualifier(p);
    CantValues v;
    v.value = s32(p, 22);
    v.text = text(p, 26, size - 26);
    return v;
}

std::vector<HistoryRow> decode_history_block(const unsigned char *block) {
    std::vector<HistoryRow> rows(8);
    for (std::size_t k = 0; k < 8; ++k) {
        const unsigned char *p = block + kHistoryRecordSize * (7 - k);
        HistoryRow &r = rows[k];
        r.priceType = static_cast<int32_t>(u8(p, 10));
        r.price = s32(p, 0) / priceTypeDivisor(r.priceType);
        r.size = get_u32(p, 4);
        r.day = static_cast<int32_t>(u8(p, 8));
        r.condition = static_cast<int32_t>(u8(p, 11));
        r.hour = static_cast<int32_t>(u8(p, 15));
        r.minute = static_cast<int32_t>(u8(p, 16));
        r.second = static_cast<int32_t>(u8(p, 17));
    }
    return rows;
}

std::vector<BarRow> decode_bar_block(const unsigned char *block) {
    std::vector<BarRow> rows(8);
    for (std::size_t k = 0; k < 8; ++k) {
        const unsigned char *p = block + kBarRecordSize * k;
        BarRow &r = rows[k];
        r.priceType = static_cast<int32_t>(u8(p, 1));
        const double divisor = priceTypeDivisor(r.priceType);
        r.stamp = get_u32(p, 2);
        r.open = s32(p, 6) / divisor;
        r.high = s32(p, 10) / divisor;
        r.low = s32(p, 14) / divisor;
        r.close = s32(p, 18) / divisor;
        r.volume = s32(p, 22);
    }
    return rows;
}

std::string format_field(const FieldRef &f) {
    switch (f.kind) {
    case FieldKind::Int32:
        return std::to_string(*static_cast<const int32_t *>(f.ptr));
    case FieldKind::Int64:
        return std::to_string(*static_cast<const int64_t *>(f.ptr));
    case FieldKind::Double:
        return format_double(*static_cast<const double *>(f.ptr));
    case FieldKind::Text:
        return quoted(*static_cast<const std::string *>(f.ptr));
    case FieldKind::Date: {
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

std::string format_fields(const std::vector<FieldRef> &fields) {
    std::string out;
    for (const FieldRef &f : fields) {
        if (!out.empty()) {
            out += ' ';
        }
        out += f.name;
        out += '=';
        out += format_field(f);
    }
    return out;
}

} // namespace pcqw32
