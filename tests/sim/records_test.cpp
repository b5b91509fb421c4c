// Keyed records: values written to a store come back through dbax in the client's layout.

#include "sim_test.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

using namespace simtest;
using pcqw32::StoreWriter;

namespace {

pcqw32::QuoteGroup group(double price, int64_t size, const char *exchange, int hour, int minute,
                         int tick) {
    pcqw32::QuoteGroup g;
    g.price = price;
    g.size = size;
    g.exchange = exchange;
    g.hour = hour;
    g.minute = minute;
    g.tick = tick;
    return g;
}

pcqw32::QuoteValues sampleQuote() {
    pcqw32::QuoteValues q;
    q.symbol = "IBM.N quote text 19";
    q.priceType = 12;
    q.secCategory = 7;
    q.status = 1;
    q.splitToday = 1;
    q.primaryExchange = "N";
    q.quoteIndicator = 65535;
    q.tradeIndicator = 3;
    q.last = group(123.45, 2147483648LL, "Q", 9, 30, -1);
    q.open = group(-0.07, 100, "A", -1, -1, 1);
    q.high = group(130.5, 1, "", 15, 59, 0);
    q.low = group(99.99, 4294967295LL, "B", 0, 0, 0);
    q.yesterday = group(120, 0, "C", 0, 0, 1);
    q.bid = group(123.4, 500, "P", 5, 255 - 256, 0);
    q.ask = group(123.5, 700, "Z", 127, -128, -1);
    q.openInterest = 42;
    q.volume = 3000000000LL;
    q.openRange = 11;
    q.closeRange1 = 12;
    q.closeRange2 = 4000000000LL;
    return q;
}

class RecordsTest : public SimTest {};

} // namespace

TEST_F(RecordsTest, QuoteRoundTripsFieldByField) {
    {
        StoreWriter w(folder, 1, true);
        w.putQuote(w.addSecurity("IBM", "N"), sampleQuote());
    }
    ASSERT_EQ(attach(), 0);
    unsigned char rec[260];
    std::memset(rec, 0xAA, sizeof rec);
    Key key("IBM", "N");
    ASSERT_EQ(dbax(&cb, DBA_GET_RECORD, key.bytes, rec, 0), 0);
    const Reader r{rec};
    const double d = divisor(r.s16(24));
    EXPECT_EQ(r.text(2, 20), "IBM.N quote text 19");
    EXPECT_EQ(r.u16(24), 12u);
    EXPECT_EQ(r.u16(26), 7u);
    EXPECT_TRUE(r.flag(22, 5));
    EXPECT_FALSE(r.flag(22, 6));
    EXPECT_FALSE(r.flag(22, 14));
    EXPECT_TRUE(r.flag(22, 15));
    EXPECT_EQ(r.text(36, 2), "N");
    EXPECT_EQ(r.u16(38), 65535u);
    EXPECT_EQ(r.u16(172), 3u);
    // Seven groups of price, size, exchange, hours, minutes.
    struct G {
        std::size_t at;
        pcqw32::QuoteGroup v;
    } groups[] = {{44, sampleQuote().last}, {56, sampleQuote().open}, {68, sampleQuote().high},
                  {80, sampleQuote().low},  {104, sampleQuote().bid}, {116, sampleQuote().ask}};
    for (const G &g : groups) {
        SCOPED_TRACE(g.at);
        EXPECT_EQ(r.s32(g.at) / d, g.v.price);
        EXPECT_EQ(r.u32(g.at + 4), static_cast<uint32_t>(g.v.size));
        EXPECT_EQ(r.text(g.at + 8, 2), g.v.exchange);
        EXPECT_EQ(r.s8(g.at + 10), g.v.hour);
        EXPECT_EQ(r.s8(g.at + 11), g.v.minute);
    }
    EXPECT_EQ(r.s32(92) / d, 120.0);
    EXPECT_EQ(r.text(100, 2), "C");
    EXPECT_EQ(r.tick(28, 15), -1); // last
    EXPECT_EQ(r.tick(28, 13), 1);  // open
    EXPECT_EQ(r.tick(28, 11), 1);  // yesterday
    EXPECT_EQ(r.tick(28, 9), 0);   // bid
    EXPECT_EQ(r.tick(28, 7), -1);  // ask
    EXPECT_EQ(r.u16(28) & 0x3Fu, 0u);
    EXPECT_EQ(r.u32(152), 42u);
    EXPECT_EQ(r.u32(156), 3000000000u);
    EXPECT_EQ(r.u32(160), 11u);
    EXPECT_EQ(r.u32(164), 12u);
    EXPECT_EQ(r.u32(168), 4000000000u);
    // The record stays within the 256 bytes every caller of DBA_GET_RECORD offers.
    for (std::size_t i = 256; i < 260; ++i) {
        EXPECT_EQ(rec[i], 0xAA);
    }
}

TEST_F(RecordsTest, QuotePricesFollowTheirPriceType) {
    struct Case {
        int32_t code;
        double price;
    } cases[] = {{0, 1.5},      {1, -2.015625}, {2, 7},        {9, -3},  {11, 0.1},   {12, 123.45},
                 {13, -12.345}, {14, 1.2345},   {15, 0.00001}, {16, 42}, {0x8001, 77}};
    {
        StoreWriter w(folder, 1, true);
        for (const Case &c : cases) {
            pcqw32::QuoteValues q;
            q.priceType = c.code;
            q.last.price = c.price;
            w.putQuote(w.addSecurity("P" + std::to_string(c.code), ""), q);
        }
    }
    ASSERT_EQ(attach(), 0);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.code);
        unsigned char rec[260];
        Key key("P" + std::to_string(c.code), "");
        ASSERT_EQ(dbax(&cb, DBA_GET_RECORD, key.bytes, rec, 0), 0);
        const Reader r{rec};
        EXPECT_EQ(r.u16(24), static_cast<uint32_t>(c.code));
        EXPECT_EQ(r.s32(44) / divisor(r.s16(24)), c.price);
        EXPECT_EQ(r.text(2, 20), "P" + std::to_string(c.code)); // the security's own symbol
    }
}

TEST_F(RecordsTest, FundamentalsRoundTripIncludingDecimalsAndDates) {
    pcqw32::FundamentalsValues f;
    f.name = std::string(47, 'n');
    f.baseItem = std::string(19, 'b');
    f.cusip = std::string(69, 'c');
    f.lastUpdate = 65535;
    f.divFreq = 4;
    f.priceType = 0;
    f.secCategory = 2;
    f.beta = 1.25;
    f.volumeFlag = 1;
    f.divLast = 0.25;
    f.divExp = 0.3;
    f.eps = -1.5;
    f.spCode = 500;
    f.divDate = {2002, 6, 30};
    f.expDate = {1999, 12, 31};
    f.closePrice = 2.0;
    f.histHigh = 3.5;
    f.histLow = -0.5;
    f.strikePrice = 190;
    f.volume = 4294967295LL;
    f.openInterest = -1;
    f.outstanding = 123456789;
    f.shPerContr = 100;
    {
        StoreWriter w(folder, 2, true);
        w.setKind(pcqw32::RecordKind::FUNDAMENTALS);
        w.putFundamentals(w.addSecurity("AAPL", ""), f);
    }
    ASSERT_EQ(attach(2), 0);
    unsigned char rec[260];
    Key key("AAPL", "");
    ASSERT_EQ(dbax(&cb, DBA_GET_RECORD, key.bytes, rec, 0), 0);
    const Reader r{rec};
    const double d = divisor(r.s16(54));
    auto decimal = [](double m, uint32_t e) { return m / std::pow(10.0, e); };
    EXPECT_EQ(r.text(128, 48), f.name);
    EXPECT_EQ(r.text(26, 20), f.baseItem);
    EXPECT_EQ(r.text(186, 70), f.cusip);
    EXPECT_EQ(r.u16(46), 65535u);
    EXPECT_EQ(r.u16(48), 4u);
    EXPECT_EQ(r.u16(56), 2u);
    EXPECT_EQ(r.u16(58) * 0.01, 1.25);
    EXPECT_EQ(r.u16(60), 1u);
    EXPECT_EQ(decimal(r.s16(178), r.u16(176)), -1.5);
    EXPECT_EQ(decimal(r.u16(66), r.u16(64)), 0.25);
    EXPECT_EQ(decimal(r.u16(70), r.u16(64)), 0.3);
    EXPECT_EQ(r.u16(180), 500u);
    EXPECT_EQ(r.u8(72) * 100 + r.u8(73), 2002u);
    EXPECT_EQ(r.u8(74), 6u);
    EXPECT_EQ(r.u8(75), 30u);
    EXPECT_EQ(r.u8(76) * 100 + r.u8(77), 1999u);
    EXPECT_EQ(r.u32(80), 0u); // no maturity date
    EXPECT_EQ(r.s32(92) / d, 2.0);
    EXPECT_EQ(r.s32(96) / d, 3.5);
    EXPECT_EQ(r.s32(100) / d, -0.5);
    EXPECT_EQ(r.s32(120) / d, 190.0);
    EXPECT_EQ(r.u32(104), 4294967295u);
    EXPECT_EQ(r.s32(108), -1);
    EXPECT_EQ(r.u32(112), 123456789u);
    EXPECT_EQ(r.u32(116), 100u);
}

TEST_F(RecordsTest, VersionRecordLayout) {
    {
        StoreWriter w(folder, 1, true);
        pcqw32::VersionValues v;
        v.major = -2;
        v.minor = 7;
        v.release = "R";
        v.serial = "12345678";
        w.setVersion(v);
    }
    ASSERT_EQ(attach(), 0);
    unsigned char rec[260];
    std::memset(rec, 0xFF, sizeof rec);
    ASSERT_EQ(dbax(&cb, DBA_GET_VERSION, nullptr, rec, 0), 0);
    const Reader r{rec};
    EXPECT_EQ(r.u16(0), 0xFFFEu);
    EXPECT_EQ(r.s16(2), 7);
    EXPECT_EQ(r.text(4, 2), "R");
    EXPECT_EQ(r.text(6, 254), "12345678");
}

TEST_F(RecordsTest, CantRecordNeedsTheTagAndARecord) {
    {
        StoreWriter w(folder, 1, true);
        pcqw32::CantValues c;
        c.value = -5;
        c.text = "hold";
        w.putCant(w.addSecurity("KO", ""), c);
        w.addSecurity("PEP", "");
    }
    ASSERT_EQ(attach(), 0);
    unsigned char key[25];
    std::memcpy(key, Key("KO", "", 0x5A).bytes, 25); // bytes 18 to 20 are the caller's garbage
    std::memcpy(key + 21, "CANT", 4);
    unsigned char rec[260] = {};
    ASSERT_EQ(dbax(&cb, DBA_GET_RECORD_EXT, key, rec, 0), 0);
    const Reader r{rec};
    EXPECT_EQ(std::memcmp(rec, key, 18), 0);
    EXPECT_EQ(std::memcmp(rec + 18, "CANT", 4), 0);
    EXPECT_EQ(r.s32(22), -5);
    EXPECT_EQ(r.text(26, 230), "hold");

    std::memcpy(key + 21, "CANX", 4);
    EXPECT_EQ(dbax(&cb, DBA_GET_RECORD_EXT, key, rec, 0), PCQW32_BAD_TAG);
    std::memcpy(key, Key("PEP", "", 0).bytes, 18);
    std::memcpy(key + 21, "CANT", 4);
    EXPECT_EQ(dbax(&cb, DBA_GET_RECORD_EXT, key, rec, 0), PCQW32_KEY_NOT_FOUND);
}

TEST_F(RecordsTest, UnknownSecurityOrMissingRecordIsAnErrorNotAnEmptyRecord) {
    {
        StoreWriter w(folder, 1, true);
        w.putQuote(w.addSecurity("IBM", ""), sampleQuote());
        w.addSecurity("GE", ""); // known, but without a quote
    }
    ASSERT_EQ(attach(), 0);
    unsigned char rec[260];
    std::memset(rec, 0xCC, sizeof rec);
    EXPECT_EQ(dbax(&cb, DBA_GET_RECORD, Key("IBX", "").bytes, rec, 0), PCQW32_KEY_NOT_FOUND);
    EXPECT_EQ(dbax(&cb, DBA_GET_RECORD, Key("IBM", "N").bytes, rec, 0), PCQW32_KEY_NOT_FOUND);
    EXPECT_EQ(dbax(&cb, DBA_GET_RECORD, Key("GE", "").bytes, rec, 0), PCQW32_KEY_NOT_FOUND);
    EXPECT_EQ(rec[0], 0xCC);
    EXPECT_EQ(rec[100], 0xCC);
    // The bar series' 32-byte key, spaces after byte 17, names the same security.
    EXPECT_EQ(dbax(&cb, DBA_GET_RECORD, Key("IBM", "", ' ').bytes, rec, 0), 0);
}

TEST_F(RecordsTest, WriterRefusesValuesTheRecordCannotCarry) {
    StoreWriter w(folder, 1, true);
    const int64_t id = w.addSecurity("X", "");
    auto refused = [&](auto change) {
        pcqw32::QuoteValues q;
        change(q);
        EXPECT_THROW(w.putQuote(id, q), std::runtime_error);
    };
    refused([](pcqw32::QuoteValues &q) { q.last.exchange = "NY"; }); // no room for its zero
    refused([](pcqw32::QuoteValues &q) { q.symbol = std::string(20, 's'); });
    refused([](pcqw32::QuoteValues &q) { q.last.tick = 2; });
    refused([](pcqw32::QuoteValues &q) { q.bid.size = -1; });
    refused([](pcqw32::QuoteValues &q) {
        q.priceType = 0;
        q.last.price = 1e8; // 2.56e10 raw
    });
    EXPECT_THROW(w.addSecurity("THIRTEENCHARS", ""), std::runtime_error);
    EXPECT_THROW(w.addSecurity("Y", "LONGQ"), std::runtime_error);
    pcqw32::HistoryRow a, b;
    a.priceType = 12;
    b.priceType = 13;
    EXPECT_THROW(w.appendHistory(id, {a, b}), std::runtime_error); // one code per block
}
