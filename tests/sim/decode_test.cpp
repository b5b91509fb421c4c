// The record readers the tool shows recordings with: every field an encoder writes reads
// back to the value it was given, under the store's column names.

#include "decode.h"
#include "sim_test.h"

using namespace pcqw32;

namespace {

template <typename V> std::string textOf(V &v, std::vector<FieldRef> (*fields)(V &)) {
    return formatFields(fields(v));
}

} // namespace

TEST(DecodeTest, QuoteAndFundamentalsReadBackAsEncoded) {
    QuoteValues q;
    q.symbol = "AAPL-C190 2406 LONG";
    q.priceType = 12;
    q.secCategory = 3;
    q.status = q.splitToday = 1;
    q.primaryExchange = "N";
    q.quoteIndicator = 65535;
    q.tradeIndicator = 7;
    q.last = {123.45, 4294967295LL, "Q", 15, 59, -1};
    q.open = {-2.5, 10, "A", -1, -1, 1};
    q.high = {130.01, 20, "B", 0, 30, 0};
    q.low = {99.99, 30, "C", 9, 30, 0};
    q.yesterday = {120.5, 0, "D", 0, 0, 1};
    q.bid = {123.4, 40, "E", 16, 0, -1};
    q.ask = {123.5, 50, "F", 16, 1, 1};
    q.openInterest = 2147483648LL;
    q.volume = 3000000000LL;
    q.closeRange2 = 9;
    unsigned char record[SECURITY_RECORD_SIZE];
    ASSERT_FALSE(encodeQuote(q, record));
    QuoteValues back = decodeQuote(record);
    EXPECT_EQ(textOf(back, quoteFields), textOf(q, quoteFields));

    FundamentalsValues f;
    f.name = std::string(47, 'n');
    f.baseItem = "BASE";
    f.cusip = "459200101";
    f.lastUpdate = 3;
    f.divFreq = 4;
    f.priceType = 12;
    f.spCode = 65535;
    f.beta = 1.25;
    f.divLast = 655.35;
    f.divExp = 1.5;
    f.eps = -1.5;
    f.divDate = {2002, 6, 30};
    f.matDate = {25599, 255, 255};
    f.closePrice = 168.52;
    f.strikePrice = -0.01;
    f.volume = 4294967295LL;
    f.openInterest = -1;
    ASSERT_FALSE(encodeFundamentals(f, record));
    FundamentalsValues fb = decodeFundamentals(record, sizeof record);
    EXPECT_EQ(textOf(fb, fundamentalsFields), textOf(f, fundamentalsFields));
}

TEST(DecodeTest, VersionCantHistoryAndBarsReadBackAsEncoded) {
    VersionValues v;
    v.major = -2;
    v.minor = 12;
    v.release = "b";
    v.serial = "SIM-00417-2024";
    unsigned char version[RECORD_BUFFER_SIZE];
    ASSERT_FALSE(encodeVersion(v, version));
    VersionValues vb = decodeVersion(version, sizeof version);
    EXPECT_EQ(textOf(vb, versionFields),
              "major=-2 minor=12 release=\"b\" serial=\"SIM-00417-2024\"");

    unsigned char key[SECURITY_KEY_SIZE];
    ASSERT_TRUE(makeKey("IBM", "L", key));
    CantValues c;
    c.value = -7;
    c.text = "text with \"quotes\"";
    unsigned char cant[CANT_RECORD_SIZE];
    ASSERT_FALSE(encodeCant(key, c, cant));
    std::string symbol, qualifier;
    CantValues cb = decodeCant(cant, sizeof cant, symbol, qualifier);
    EXPECT_EQ(symbol + "/" + qualifier, "IBM/L");
    EXPECT_EQ(textOf(cb, cantFields), "value=-7 text=\"text with \\\"quotes\\\"\"");

    std::vector<HistoryRow> rows(3);
    for (int i = 0; i < 3; ++i) {
        rows[i] = {i + 1, 1.5 - i * 2.25, 4294967295LL - i, 9, 30 + i, 59, 255 - i, 1};
    }
    unsigned char block[HISTORY_BLOCK_SIZE];
    ASSERT_FALSE(encodeHistoryBlock(rows.data(), 3, block));
    std::vector<HistoryRow> back = decodeHistoryBlock(block);
    ASSERT_EQ(back.size(), 8u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(textOf(back[i], historyFields), textOf(rows[i], historyFields));
    }
    // The block is completed with zero rows of the block's price type.
    EXPECT_EQ(textOf(back[7], historyFields),
              "day=0 price=0 size=0 hour=0 minute=0 second=0 condition=0 price_type=1");

    std::vector<BarRow> bars(2);
    bars[0] = {1, 4294967295LL, 2.0, 4.5, -1.0, 3.25, -1};
    bars[1] = {200, 1704205800LL, 12345, 12346, 12340, 12344, 2147483647LL};
    unsigned char barBlock[BAR_BLOCK_SIZE];
    ASSERT_FALSE(encodeBarBlock(bars.data(), 2, barBlock));
    std::vector<BarRow> barsBack = decodeBarBlock(barBlock);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(textOf(barsBack[i], barFields), textOf(bars[i], barFields));
    }
}
