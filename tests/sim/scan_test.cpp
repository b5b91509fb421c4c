// The approximate-key history scan: positioning, `started`, block order, the key change at
// the end of a security and the status at the end of the data.

#include "sim_test.h"

using namespace simtest;
using pcqw32::StoreWriter;

namespace {

std::vector<pcqw32::HistoryRow> rows(int n, int32_t priceType, double base) {
    std::vector<pcqw32::HistoryRow> out(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        pcqw32::HistoryRow &r = out[static_cast<std::size_t>(i)];
        r.day = 1 + i % 28;
        r.price = base + i * 0.25;
        r.size = 4294967295LL - i;
        r.hour = 9 + i % 8;
        r.minute = i % 60;
        r.second = (i * 7) % 60;
        r.condition = i % 4;
        r.priceType = priceType;
    }
    return out;
}

int32_t DBA_CALLBACK_CALL noDelivery(int32_t, int32_t, const void *, const void *, int32_t, int32_t,
                                     void *) {
    ADD_FAILURE() << "unexpected delivery";
    return 1;
}

int endOfDataCalls = 0;

int32_t DBA_CALLBACK_CALL endOfDataAgain(int32_t, int32_t event, const void *, const void *,
                                         int32_t, int32_t status, void *) {
    EXPECT_EQ(status, PCQW32_END_OF_DATA);
    EXPECT_NE(event & 0xFF, 2);
    ++endOfDataCalls;
    return 1;
}

class ScanTest : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        StoreWriter w(folder, 1, true);
        w.appendHistory(w.addSecurity("ALPHA", ""), rows(24, 12, 10.0));
        w.addSecurity("ALPHB", ""); // no history: never visited by a scan
        w.appendHistory(w.addSecurity("BETA", "X"), rows(12, 1, -3.0));
        w.appendHistory(w.addSecurity("GAMMA", ""), rows(8, 0, 100.0));
    }
};

} // namespace

TEST_F(ScanTest, DeliversBlocksThenTheNextSecuritysKey) {
    ASSERT_EQ(attach(), 0);
    const ScanResult s = runScan(cb, "ALPHA");
    EXPECT_EQ(s.approxStatus, 0);
    ASSERT_EQ(s.deliveries.size(), 4u);
    EXPECT_EQ(s.deliveries[0].started, 0);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(s.deliveries[i].event & 0xFF, 2);
        EXPECT_EQ(s.deliveries[i].status, 0);
        if (i > 0) {
            EXPECT_NE(s.deliveries[i].started, 0);
        }
    }
    EXPECT_EQ(s.deliveries[2].symbol, "ALPHA");
    EXPECT_EQ(s.deliveries[3].symbol, "BETA"); // ends the client's scan
    // The client reverses each block, so it gets the rows in stored order.
    const auto expected = rows(24, 12, 10.0);
    ASSERT_EQ(s.rows.size(), 24u);
    for (std::size_t i = 0; i < 24; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(s.rows[i][0], expected[i].day);
        EXPECT_EQ(s.rows[i][1], expected[i].price);
        EXPECT_EQ(s.rows[i][2], static_cast<double>(expected[i].size));
        EXPECT_EQ(s.rows[i][3], expected[i].hour);
        EXPECT_EQ(s.rows[i][4], expected[i].minute);
        EXPECT_EQ(s.rows[i][5], expected[i].second);
        EXPECT_EQ(s.rows[i][6], expected[i].condition);
    }
    // Row 0 of a block sits in the last record position.
    const Reader last{s.deliveries[0].block.data() + 7 * 18};
    EXPECT_EQ(last.s32(0), 1000);
}

TEST_F(ScanTest, PositionsOnTheFirstSecurityWithHistoryAtOrAfterTheKey) {
    ASSERT_EQ(attach(), 0);
    for (const char *key : {"ALPHAA", "ALPHB"}) { // no such security; one without history
        const ScanResult s = runScan(cb, key);
        ASSERT_EQ(s.deliveries.size(), 1u);
        EXPECT_EQ(s.deliveries[0].symbol, "BETA");
        EXPECT_EQ(s.deliveries[0].status, 0);
        EXPECT_TRUE(s.rows.empty()); // the client sees another security and keeps nothing
    }
}

TEST_F(ScanTest, PartialLastBlockIsCompletedWithZeroRecordsOfTheBlocksPriceType) {
    ASSERT_EQ(attach(), 0);
    const ScanResult s = runScan(cb, "BETA", "X");
    ASSERT_EQ(s.rows.size(), 16u);
    EXPECT_EQ(s.rows[11][1], -3.0 + 11 * 0.25); // divided by 64, code 1 of record 0
    for (std::size_t i = 12; i < 16; ++i) {
        EXPECT_EQ(s.rows[i], std::vector<double>(7, 0.0));
    }
    const Reader first{s.deliveries[1].block.data()};
    EXPECT_EQ(first.u8(10), 1u);
}

// The end of the data ends a scan of the last security normally: status 9 with an event
// code the client does not report as a failure (low byte 2) nor ignores (52).
TEST_F(ScanTest, EndOfDataIsTheNormalEndOfTheLastSecurity) {
    auto expectEndOfData = [](const Delivery &d) {
        EXPECT_EQ(d.status, PCQW32_END_OF_DATA);
        EXPECT_NE(d.event & 0xFF, 2);
        EXPECT_NE(d.event, 52);
    };
    ASSERT_EQ(attach(), 0);
    ScanResult s = runScan(cb, "GAMMA");
    ASSERT_EQ(s.deliveries.size(), 2u);
    EXPECT_EQ(s.rows.size(), 8u);
    expectEndOfData(s.deliveries[1]);

    s = runScan(cb, "ZZZ"); // after every key
    ASSERT_EQ(s.deliveries.size(), 1u);
    EXPECT_EQ(s.deliveries[0].started, 0);
    expectEndOfData(s.deliveries[0]);
    EXPECT_TRUE(s.rows.empty());

    // A client that reads on past the end gets the same delivery again.
    HistoryScanBlock sb{};
    sb.callback = endOfDataAgain;
    sb.mode = 4;
    unsigned char next[24] = {};
    endOfDataCalls = 0;
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(dbax(&cb, DBA_GET_APPROX, next, &sb, 0), 0);
        ASSERT_EQ(dbax(&cb, DBA_WAIT_APPROX, nullptr, &sb, -1), 0);
    }
    EXPECT_EQ(endOfDataCalls, 2);
}

TEST_F(ScanTest, EveryScanStartsWithStartedZero) {
    ASSERT_EQ(attach(), 0);
    runScan(cb, "ALPHA");
    const ScanResult s = runScan(cb, "GAMMA");
    ASSERT_FALSE(s.deliveries.empty());
    EXPECT_EQ(s.deliveries[0].started, 0);
    EXPECT_EQ(s.deliveries[0].symbol, "GAMMA");
}

TEST_F(ScanTest, InterimEvent52DoesNotCountAsTheFirstDelivery) {
    {
        StoreWriter w(folder, 1, false);
        w.setSetting("event52_every", "2");
    }
    ASSERT_EQ(attach(), 0);
    const ScanResult s = runScan(cb, "ALPHA");
    ASSERT_GE(s.deliveries.size(), 2u);
    EXPECT_EQ(s.deliveries[0].event, 52);
    EXPECT_EQ(s.deliveries[1].event, 2);
    EXPECT_EQ(s.deliveries[1].started, 0);
    EXPECT_EQ(s.rows.size(), 24u);
}

TEST_F(ScanTest, WaitWithoutAnOutstandingReadDeliversNothing) {
    ASSERT_EQ(attach(), 0);
    HistoryScanBlock sb{};
    sb.callback = noDelivery;
    sb.mode = 4;
    unsigned char next[24] = {};
    EXPECT_EQ(dbax(&cb, DBA_GET_APPROX, next, &sb, 0), PCQW32_NOT_POSITIONED);
    EXPECT_EQ(dbax(&cb, DBA_WAIT_APPROX, nullptr, &sb, -1), PCQW32_NOT_POSITIONED);
    sb.mode = 3;
    EXPECT_EQ(dbax(&cb, DBA_GET_APPROX, next, &sb, 0), PCQW32_BAD_MODE);
}
