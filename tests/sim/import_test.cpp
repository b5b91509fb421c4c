// CSV import and the sample stores, read back through dbax.

#include "sim_test.h"

#include <chrono>
#include <cstring>
#include <fstream>
#include <stdexcept>

using namespace simtest;

namespace {

std::string write_csv(const std::string &folder, const char *name, const std::string &text) {
    const std::string path = folder + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

} // namespace

TEST_F(SimTest, ImportedQuotesAreServed) {
    const std::string csv = write_csv(folder, "q.csv",
                                      "symbol,qualifier,category,price_type,last_price,"
                                      "last_exchange,last_tick,volume,symbol_text\r\n"
                                      "IBM,,equity,12,123.45,N,-1,3000000000,\"IBM, Inc\"\r\n"
                                      "AAPL-C190,2406,option,0,1.5,,1,7,\r\n");
    std::vector<std::string> warnings;
    EXPECT_EQ(pcqw32::import_csv(folder, 1, "quotes", csv, warnings), 2);
    ASSERT_EQ(attach(), 0);
    unsigned char rec[260];
    ASSERT_EQ(dbax(&cb, DBA_GET_RECORD, Key("IBM", "").bytes, rec, 0), 0);
    const Reader r{rec};
    EXPECT_EQ(r.text(2, 20), "IBM, Inc");
    EXPECT_EQ(r.s32(44) / divisor(r.s16(24)), 123.45);
    EXPECT_EQ(r.text(52, 2), "N");
    EXPECT_EQ(r.tick(28, 15), -1);
    EXPECT_EQ(r.u32(156), 3000000000u);
    ASSERT_EQ(dbax(&cb, DBA_GET_RECORD, Key("AAPL-C190", "2406").bytes, rec, 0), 0);
    EXPECT_EQ(r.text(2, 20), "AAPL-C190");
    EXPECT_EQ(r.s32(44), 384);
}

TEST_F(SimTest, ImportIsAllOrNothingAndNamesTheLine) {
    std::vector<std::string> warnings;
    const std::string bad =
        write_csv(folder, "bad.csv", "symbol,price_type,last_price\nIBM,12,1.5\nGE,12,abc\n");
    try {
        pcqw32::import_csv(folder, 1, "quotes", bad, warnings);
        FAIL() << "import accepted a bad number";
    } catch (const std::runtime_error &e) {
        EXPECT_NE(std::string(e.what()).find("bad.csv:3"), std::string::npos) << e.what();
    }
    const std::string typo = write_csv(folder, "typo.csv", "symbol,last_prize\nIBM,1\n");
    EXPECT_THROW(pcqw32::import_csv(folder, 1, "quotes", typo, warnings), std::runtime_error);
    ASSERT_EQ(attach(), 0);
    unsigned char rec[260];
    EXPECT_EQ(dbax(&cb, DBA_GET_RECORD, Key("IBM", "").bytes, rec, 0), PCQW32_KEY_NOT_FOUND);

    // One store serves one record kind.
    const std::string fund = write_csv(folder, "f.csv", "symbol,name\nIBM,International\n");
    const std::string quote = write_csv(folder, "ok.csv", "symbol,last_price\nIBM,1\n");
    pcqw32::import_csv(folder, 1, "quotes", quote, warnings);
    EXPECT_THROW(pcqw32::import_csv(folder, 1, "fundamentals", fund, warnings), std::runtime_error);
    EXPECT_EQ(pcqw32::import_csv(folder, 2, "fundamentals", fund, warnings), 1);
}

TEST_F(SimTest, ImportedHistoryAndBarsAreServed) {
    std::string history = "symbol,day,price,size,hour,minute,second,condition,price_type\n";
    for (int i = 0; i < 10; ++i) {
        history +=
            "XYZ,3," + std::to_string(10 + i) + ".5,100,10," + std::to_string(i) + ",0,1,11\n";
    }
    std::vector<std::string> warnings;
    pcqw32::import_csv(folder, 1, "history", write_csv(folder, "h.csv", history), warnings);
    ASSERT_EQ(warnings.size(), 1u); // 10 rows: the last block is completed with zeros
    const std::string barsCsv = write_csv(folder, "b.csv",
                                          "symbol,price_type,stamp,open,high,low,close,volume\n"
                                          "XYZ,12,1704205800,1.25,1.5,1,1.25,-7\n");
    pcqw32::import_csv(folder, 1, "bars", barsCsv, warnings);
    ASSERT_EQ(attach(), 0);
    const ScanResult s = run_scan(cb, "XYZ");
    ASSERT_EQ(s.rows.size(), 16u);
    EXPECT_EQ(s.rows[9][1], 19.5);
    EXPECT_EQ(s.rows[9][4], 9.0);
    unsigned char record[256];
    ASSERT_EQ(dbax(&cb, DBA_GET_RECORD, Key("XYZ", "", ' ').bytes, record, 0),
              PCQW32_KEY_NOT_FOUND); // no quote, so no security record
}

TEST_F(SimTest, SampleStoresServeEveryRequestKind) {
    std::vector<std::string> log;
    const auto start = std::chrono::steady_clock::now();
    pcqw32::generate_sample(folder, log);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 20.0);
    ASSERT_EQ(attach(1), 0);
    unsigned char rec[260];
    // The 75,000-bar series: 9,375 full blocks, then the end.
    ASSERT_EQ(dbax(&cb, DBA_GET_RECORD, Key("$SPX", "", ' ').bytes, rec, 0), 0);
    unsigned char block[260];
    int32_t st = dbax(&cb, DBA_GET_FIRST_BLOCK, rec, block, 0);
    int blocks = 0;
    while (st == 0) {
        ++blocks;
        st = dbax(&cb, DBA_GET_NEXT_BLOCK, rec, block, 0);
    }
    EXPECT_EQ(blocks, 9375);
    // The largest history ends at the key change, not at the end of the data.
    const ScanResult s = run_scan(cb, "MSFT");
    EXPECT_EQ(s.rows.size(), 120000u);
    EXPECT_EQ(s.deliveries.back().status, 0);
    EXPECT_NE(s.deliveries.back().symbol.substr(0, 3), "MSF");
    ASSERT_EQ(detach(), 0);

    ASSERT_EQ(attach(2), 0);
    ASSERT_EQ(dbax(&cb, DBA_GET_RECORD, Key("AAPL", "").bytes, rec, 0), 0);
    EXPECT_EQ(Reader{rec}.text(128, 48), "Apple Inc");
    ASSERT_EQ(dbax(&cb, DBA_GET_VERSION, nullptr, rec, 0), 0);
    EXPECT_EQ(Reader{rec}.text(4, 2), "b");
    ASSERT_EQ(detach(), 0);
    EXPECT_EQ(pcqw32_open_attachments(), 0);
}
