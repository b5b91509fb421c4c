// Bar paging: the security record from DBA_GET_RECORD keys the block reads, eight bars at a
// time, each scaled by its own price type, until a nonzero status past the last block.

#include "sim_test.h"

#include <cstring>

using namespace simtest;
using pcqw32::StoreWriter;

namespace {

std::vector<pcqw32::BarRow> bars(int n) {
    std::vector<pcqw32::BarRow> out(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        pcqw32::BarRow &b = out[static_cast<std::size_t>(i)];
        b.priceType = i % 3 == 0 ? 1 : (i % 3 == 1 ? 12 : 200);
        b.stamp = i == 0 ? 4294967295LL : 1704205800LL + 60 * i;
        b.open = 2.0 + i;
        b.high = 4.0 + i;
        b.low = -1.0 - i;
        b.close = 3.0 + i;
        b.volume = i == 0 ? -1 : 1000 * i;
    }
    return out;
}

class BarsTest : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        StoreWriter w(folder, 1, true);
        const int64_t id = w.addSecurity("GE", "");
        w.putQuote(id, pcqw32::QuoteValues{});
        w.appendBars(id, bars(20));
        w.putQuote(w.addSecurity("NOBAR", ""), pcqw32::QuoteValues{});
        ASSERT_EQ(attach(), 0);
    }
    // The security record, read with the bar series' 32-byte key.
    void securityRecord(const char *symbol, unsigned char record[256]) {
        ASSERT_EQ(dbax(&cb, DBA_GET_RECORD, Key(symbol, "", ' ').bytes, record, 0), 0);
    }
};

} // namespace

TEST_F(BarsTest, PagesEightBarsAtATimeAndZeroFillsTheLastBlock) {
    unsigned char record[256];
    securityRecord("GE", record);
    unsigned char block[260];
    std::vector<std::vector<double>> got;
    int32_t st = dbax(&cb, DBA_GET_FIRST_BLOCK, record, block, 0);
    int blocks = 0;
    while (st == 0) {
        ++blocks;
        for (int k = 0; k < 8; ++k) {
            const Reader r{block + 32 * k};
            const double d = divisor(static_cast<int32_t>(r.u8(1)));
            got.push_back({static_cast<double>(r.u32(2)), r.s32(6) / d, r.s32(10) / d,
                           r.s32(14) / d, r.s32(18) / d, static_cast<double>(r.s32(22))});
            if (blocks == 3 && k >= 4) {
                for (int i = 0; i < 32; ++i) {
                    EXPECT_EQ(block[32 * k + i], 0) << "record " << k << " byte " << i;
                }
            }
        }
        std::memset(block, 0xEE, sizeof block);
        st = dbax(&cb, DBA_GET_NEXT_BLOCK, record, block, 0);
    }
    EXPECT_EQ(st, PCQW32_END_OF_DATA);
    EXPECT_EQ(block[0], 0xEE); // a failed read leaves the buffer alone
    ASSERT_EQ(blocks, 3);
    const auto expected = bars(20);
    for (std::size_t i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        const pcqw32::BarRow &b = expected[i];
        EXPECT_EQ(got[i], (std::vector<double>{static_cast<double>(b.stamp), b.open, b.high, b.low,
                                               b.close, static_cast<double>(b.volume)}));
    }
    // Past the end it stays at the end.
    EXPECT_EQ(dbax(&cb, DBA_GET_NEXT_BLOCK, record, block, 0), PCQW32_END_OF_DATA);
}

TEST_F(BarsTest, FirstBlockRestartsTheSeries) {
    unsigned char record[256], block[260];
    securityRecord("GE", record);
    ASSERT_EQ(dbax(&cb, DBA_GET_FIRST_BLOCK, record, block, 0), 0);
    ASSERT_EQ(dbax(&cb, DBA_GET_NEXT_BLOCK, record, block, 0), 0);
    ASSERT_EQ(dbax(&cb, DBA_GET_FIRST_BLOCK, record, block, 0), 0);
    EXPECT_EQ(Reader{block}.u32(2), 4294967295u);
}

TEST_F(BarsTest, BlockReadsNeedASecurityRecordAndAFirstBlock) {
    unsigned char record[256], block[260];
    securityRecord("NOBAR", record);
    EXPECT_EQ(dbax(&cb, DBA_GET_FIRST_BLOCK, record, block, 0), PCQW32_END_OF_DATA);
    securityRecord("GE", record);
    EXPECT_EQ(dbax(&cb, DBA_GET_NEXT_BLOCK, record, block, 0), PCQW32_NOT_POSITIONED);
    unsigned char garbage[256] = {};
    EXPECT_EQ(dbax(&cb, DBA_GET_FIRST_BLOCK, garbage, block, 0), PCQW32_BAD_SECURITY_RECORD);
}
