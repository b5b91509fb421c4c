// Request 3: the order of the scan's feed calls, what the callback stores and when it ends
// the scan, the capacity of the static columns, failures.
#include "harness.h"
#include "history.h"

namespace {

using scripted::Answer;
using scripted::Bytes;
using scripted::Delivery;

// The 18-byte key of a delivered block; the feed may use all 12 symbol bytes.
Bytes deliveredKey(const std::string &symbol, const std::string &qualifier = "") {
    return RecordBytes(18).text(2, std::string(16, ' ')).text(2, symbol).text(14, qualifier).bytes;
}

// A block whose record i carries values that tell it apart: price 64 * (i + 1) + `base`.
RecordBytes markedBlock(unsigned priceType = 1, int32_t base = 0) {
    RecordBytes block(144);
    for (unsigned i = 0; i < 8; ++i) {
        size_t at = 18 * i;
        block.i32(at, static_cast<int32_t>(64 * (i + 1)) + base)
            .u32(at + 4, 1000 + i)
            .u8(at + 8, 10 + i)
            .u8(at + 9, 0xEE) // bytes 9 and 12 to 14 are not read
            .u8(at + 10, priceType)
            .u8(at + 11, 50 + i)
            .u8(at + 12, 0xEE)
            .u8(at + 13, 0xEE)
            .u8(at + 14, 0xEE)
            .u8(at + 15, 20 + i)
            .u8(at + 16, 30 + i)
            .u8(at + 17, 40 + i);
    }
    return block;
}

Delivery stored(const std::string &symbol, const RecordBytes &block = markedBlock(),
                const std::string &qualifier = "") {
    return Delivery{0, deliveredKey(symbol, qualifier), block.bytes, 0};
}

Delivery failure(int32_t eventCode, int32_t status) {
    return Delivery{eventCode, deliveredKey("IBM"), {}, status};
}

Answer delivering(std::vector<Delivery> deliveries, int32_t status = 0) {
    return Answer{status, {}, std::move(deliveries)};
}

class HistoryScan : public ModuleTest {
  protected:
    // Any wait without a scripted answer reports a failure, so no test can loop forever.
    void SetUp() override {
        ModuleTest::SetUp();
        scripted::answerAlways(DBA_WAIT_APPROX, delivering({failure(7, 99)}));
    }
    mxhost::CallResult scan(const std::string &symbol = "IBM", const std::string &qualifier = "") {
        return run(inputs(num(3), num(2), num(0), cells({symbol, "MSFT"}), cells({qualifier})));
    }
};

// Clears the callback after every wait, so a get-next read finds it set only if the module
// wrote it again; a read without it ends the scan, which can then not loop forever.
int32_t DBA_CALL forgetfulFeed(void *block, int32_t operation, void *key, void *record,
                               int32_t parameter) {
    auto *scan = static_cast<HistoryScanBlock *>(record);
    if (operation == DBA_GET_APPROX && scan->callback == nullptr) {
        scan->done = 1;
    }
    int32_t status = scripted::dbax(block, operation, key, record, parameter);
    if (operation == DBA_WAIT_APPROX) {
        scan->callback = nullptr;
    }
    return status;
}

TEST_F(HistoryScan, RunsTheFeedCallsInOrderAndTestsDoneOnlyAfterAWait) {
    feedUseEntryPoint(forgetfulFeed);
    scripted::answer(DBA_WAIT_APPROX, delivering({stored("VERYLONGSYM", markedBlock(), "Q")}));
    scripted::answer(DBA_GET_APPROX, 0);
    scripted::answer(DBA_WAIT_APPROX, delivering({stored("VERYLONGSYM", markedBlock(), "Q")}));
    // The symbol changes during a get-next read: the wait after it still follows.
    scripted::answer(DBA_GET_APPROX, 0);
    scripted::answer(DBA_GET_APPROX, delivering({stored("MSFT")}));
    scripted::answer(DBA_WAIT_APPROX, delivering({}));
    auto result = scan("VERYLONGSYMBOL", "Q");
    ASSERT_FALSE(result.raised) << result.message;

    EXPECT_EQ(scripted::operations(),
              (Ops{DBA_ATTACH, DBA_GET_APPROX, DBA_WAIT_APPROX, DBA_GET_APPROX, DBA_WAIT_APPROX,
                   DBA_GET_APPROX, DBA_WAIT_APPROX, DBA_DETACH}));
    const auto &log = scripted::calls();
    EXPECT_EQ(keyText(log[1].key, 0, 18), std::string("\0\0VERYLONGSYM Q   ", 18));
    for (size_t i = 1; i <= 6; ++i) {
        bool approx = log[i].operation == DBA_GET_APPROX;
        EXPECT_EQ(log[i].parameter, approx ? 0 : -1) << i;
        EXPECT_EQ(log[i].keyGiven, approx) << i;
        EXPECT_TRUE(log[i].recordGiven) << i;
        EXPECT_EQ(log[i].scanMode, i <= 2 ? 1 : 4) << i;
        EXPECT_EQ(log[i].scanReserved4, 0) << i;
        EXPECT_EQ(log[i].scanDone, i == 6 ? 1 : 0) << i;
        EXPECT_EQ(log[i].block, log[0].block) << i;
        if (approx) {
            EXPECT_TRUE(log[i].callbackSet) << i;
        }
    }
    EXPECT_EQ(log[2].callbackResults, (std::vector<int32_t>{0}));
    EXPECT_EQ(log[4].callbackResults, (std::vector<int32_t>{0}));
    EXPECT_EQ(log[5].callbackResults, (std::vector<int32_t>{1}));
    EXPECT_EQ(expected::matrixMismatch(result.output(), 16, 7), "");
    EXPECT_EQ(scripted::openAttachments(), 0);
    EXPECT_EQ(result.printed, "");
    EXPECT_TRUE(result.warnings.empty());
}

TEST_F(HistoryScan, IgnoresEvent52AndEndsOnTheFirstDeliveryOfAnotherSymbol) {
    scripted::answer(DBA_GET_APPROX, delivering({stored("ABCD", markedBlock(1, 0))}));
    // Event 52 is ignored whatever its status; the loop reads on.
    scripted::answer(DBA_WAIT_APPROX,
                     delivering({Delivery{52, deliveredKey("ABCD"), markedBlock().bytes, 0},
                                 Delivery{52, deliveredKey("ABCD"), {}, 5}}));
    scripted::answer(DBA_WAIT_APPROX, delivering({stored("ABCD", markedBlock(1, 64 * 100))}));
    // Differs from the fourth character on: another security, which ends the scan.
    scripted::answer(DBA_WAIT_APPROX, delivering({stored("ABCX"), stored("ABCD")}));
    auto result = scan("ABCD");
    ASSERT_FALSE(result.raised) << result.message;

    const auto &log = scripted::calls();
    EXPECT_EQ(log[2].callbackResults, (std::vector<int32_t>{1, 1}));
    EXPECT_EQ(log[2].scanDone, 0);
    EXPECT_EQ(log[3].operation, DBA_GET_APPROX);
    EXPECT_EQ(log[4].callbackResults, (std::vector<int32_t>{0}));
    EXPECT_EQ(log[6].callbackResults, (std::vector<int32_t>{1, 1}));
    EXPECT_EQ(scripted::operations().size(), 8u);
    const mxArray *m = result.output();
    ASSERT_EQ(mxGetM(m), 16u);
    EXPECT_EQ(at(m, 7, 1), 1.0);
    EXPECT_EQ(at(m, 8, 1), 108.0);
    EXPECT_TRUE(result.warnings.empty());
}

TEST_F(HistoryScan, ReturnsOnlyTheRequestedSecurityWhateverItsNeighboursShare) {
    struct Case {
        std::string symbol, qualifier; // requested
        std::vector<Delivery> deliveries;
        size_t rows;
    };
    const std::vector<Case> cases = {
        // Neighbours that share the first 3, 4 and 11 characters of the symbol.
        {"IB", "", {stored("IBM")}, 0},
        {"GOOG", "", {stored("GOOG"), stored("GOOGL")}, 8},
        {"ABCDEFGHIJK", "", {stored("ABCDEFGHIJK"), stored("ABCDEFGHIJKL")}, 8},
        // Without a qualifier, the first delivery's qualifier holds for the scan.
        {"AAPL", "", {stored("AAPL", markedBlock(), "C1"), stored("AAPL", markedBlock(), "P1")}, 8},
        // With one, only that qualifier's blocks belong, from the first delivery on.
        {"AAPL", "P1", {stored("AAPL", markedBlock(), "P1"), stored("AAPL")}, 8},
        {"AAPL", "P1", {stored("AAPL", markedBlock(), "C1")}, 0},
    };
    for (const Case &c : cases) {
        scripted::reset();
        scripted::answerAlways(DBA_WAIT_APPROX, delivering({failure(7, 99)}));
        scripted::answer(DBA_GET_APPROX, delivering(c.deliveries));
        auto result = scan(c.symbol, c.qualifier);
        ASSERT_FALSE(result.raised) << result.message;
        EXPECT_EQ(expected::matrixMismatch(result.output(), c.rows, 7), "")
            << c.symbol << "/" << c.qualifier;
        EXPECT_EQ(scripted::operations(),
                  (Ops{DBA_ATTACH, DBA_GET_APPROX, DBA_WAIT_APPROX, DBA_DETACH}));
        EXPECT_EQ(scripted::openAttachments(), 0);
        EXPECT_EQ(result.printed, "");
        if (c.rows == 0) {
            // Nothing belonged: an unknown security, or one without history.
            ASSERT_EQ(result.warnings.size(), 1u) << c.symbol;
            EXPECT_EQ(result.warnings[0].identifier, "quorvex:noHistory");
            EXPECT_EQ(result.warnings[0].message, "No history for symbol '" + c.symbol +
                                                      "' with qualifier '" + c.qualifier +
                                                      "': the feed holds none for this security");
        } else {
            EXPECT_TRUE(result.warnings.empty()) << c.symbol;
        }
    }
}

TEST_F(HistoryScan, FailureStatusEndsTheScanAndPrintsOnlyForLowByteTwo) {
    const std::string line = expected::textOf(expected::APPROX_FAILURE_LINE, -7);
    for (auto [eventCode, printed] :
         {std::pair<int32_t, std::string>{2, line}, {0x7FFFFF02, line}, {3, ""}, {0x200, ""}}) {
        scripted::reset();
        scripted::answer(DBA_GET_APPROX, delivering({failure(eventCode, -7)}));
        auto result = scan();
        ASSERT_FALSE(result.raised) << result.message;
        EXPECT_EQ(result.printed, printed) << eventCode;
        EXPECT_EQ(scripted::operations(),
                  (Ops{DBA_ATTACH, DBA_GET_APPROX, DBA_WAIT_APPROX, DBA_DETACH}));
        EXPECT_EQ(expected::matrixMismatch(result.output(), 0, 7), "");
        EXPECT_TRUE(result.warnings.empty()); // a failure is not an unknown security
    }
}

TEST_F(HistoryScan, StoresEachBlockInReverseOrderWithTheDivisorOfItsFirstRecord) {
    RecordBytes block = markedBlock(1);
    block.u8(18 * 5 + 10, 12);
    scripted::answer(DBA_WAIT_APPROX, delivering({stored("IBM", block)}));
    RecordBytes ones(144);
    ones.u32(0, 0xFFFFFFFFu).u32(4, 0xFFFFFFFFu).u8(10, 0).u8(8, 255);
    scripted::answer(DBA_WAIT_APPROX, delivering({stored("IBM", ones)}));
    auto result = scan();
    ASSERT_FALSE(result.raised) << result.message;
    const mxArray *m = result.output();
    ASSERT_EQ(mxGetM(m), 16u);
    for (size_t k = 0; k < 8; ++k) {
        double record = static_cast<double>(7 - k);
        EXPECT_EQ(at(m, k, 0), 10 + record) << k;
        EXPECT_EQ(at(m, k, 1), 1 + record) << k; // 64 * (record + 1) / 64
        EXPECT_EQ(at(m, k, 2), 1000 + record) << k;
        EXPECT_EQ(at(m, k, 3), 20 + record) << k;
        EXPECT_EQ(at(m, k, 4), 30 + record) << k;
        EXPECT_EQ(at(m, k, 5), 40 + record) << k;
        EXPECT_EQ(at(m, k, 6), 50 + record) << k;
    }
    // Record 0 of the second block is its last row.
    EXPECT_EQ(at(m, 15, 0), 255.0);
    EXPECT_EQ(at(m, 15, 1), -1.0 / 256.0);
    EXPECT_EQ(at(m, 15, 2), 4294967295.0);
}

TEST_F(HistoryScan, AShortScanAfterALongOneReturnsOnlyItsOwnRows) {
    std::vector<Delivery> hundred(100, stored("IBM", markedBlock(2)));
    scripted::answer(DBA_WAIT_APPROX, delivering(hundred));
    auto first = scan();
    ASSERT_FALSE(first.raised) << first.message;
    EXPECT_EQ(mxGetM(first.output()), 800u);

    scripted::reset();
    scripted::answerAlways(DBA_WAIT_APPROX, delivering({failure(7, 99)}));
    scripted::answer(DBA_WAIT_APPROX, delivering({stored("MSFT", markedBlock(2, 1000))}));
    auto second = scan("MSFT");
    ASSERT_FALSE(second.raised) << second.message;
    ASSERT_EQ(mxGetM(second.output()), 8u);
    EXPECT_EQ(at(second.output(), 0, 1), 1512.0);
}

TEST_F(HistoryScan, FillsTheColumnsExactlyAndRefusesOneBlockMore) {
    const size_t fit = HISTORY_CAPACITY / 8;
    std::vector<Delivery> full(fit, stored("IBM"));
    full.back() = stored("IBM", markedBlock(1, 64 * 7));
    scripted::answer(DBA_WAIT_APPROX, delivering(full));
    auto exact = scan();
    ASSERT_FALSE(exact.raised) << exact.message;
    ASSERT_EQ(mxGetM(exact.output()), static_cast<size_t>(HISTORY_CAPACITY));
    EXPECT_EQ(at(exact.output(), HISTORY_CAPACITY - 1, 1), 8.0);

    scripted::reset();
    full.back() = stored("IBM");
    full.push_back(stored("IBM", markedBlock(1, 64 * 7)));
    scripted::answer(DBA_WAIT_APPROX, delivering(full));
    scripted::answer(DBA_DETACH, 4); // ignored: the capacity is what the caller must hear of
    auto over = scan();
    ASSERT_TRUE(raisedWith(over, expected::HISTORY_CAPACITY_EXCEEDED, expected::HISTORY_CAPACITY));
    EXPECT_EQ(scripted::operations(),
              (Ops{DBA_ATTACH, DBA_GET_APPROX, DBA_WAIT_APPROX, DBA_DETACH}));
    EXPECT_EQ(scripted::calls()[2].callbackResults.back(), 1);
    EXPECT_EQ(HistoryRowCount, HISTORY_CAPACITY);
    EXPECT_EQ(HistoryColumns[1][HISTORY_CAPACITY - 1], 1.0); // the refused block left no trace

    // The next scan starts afresh.
    scripted::reset();
    scripted::answerAlways(DBA_WAIT_APPROX, delivering({failure(7, 99)}));
    scripted::answer(DBA_WAIT_APPROX, delivering({stored("IBM")}));
    auto after = scan();
    ASSERT_FALSE(after.raised) << after.message;
    EXPECT_EQ(mxGetM(after.output()), 8u);
}

TEST_F(HistoryScan, FailedReadsDetachBeforeRaising) {
    scripted::answer(DBA_GET_APPROX, -3);
    EXPECT_TRUE(raisedWith(scan(), expected::APPROX_FAILED, -3));
    EXPECT_EQ(scripted::operations(), (Ops{DBA_ATTACH, DBA_GET_APPROX, DBA_DETACH}));
    EXPECT_EQ(scripted::openAttachments(), 0);

    scripted::reset();
    scripted::answer(DBA_WAIT_APPROX,
                     delivering({stored("IBM")}, 17)); // a wait's status is ignored
    scripted::answer(DBA_GET_APPROX, 0);
    scripted::answer(DBA_GET_APPROX, 9);
    EXPECT_TRUE(raisedWith(scan(), expected::NEXT_FAILED, 9));
    EXPECT_EQ(scripted::operations(),
              (Ops{DBA_ATTACH, DBA_GET_APPROX, DBA_WAIT_APPROX, DBA_GET_APPROX, DBA_DETACH}));
    EXPECT_EQ(scripted::openAttachments(), 0);

    scripted::reset();
    scripted::answer(DBA_WAIT_APPROX, delivering({stored("IBM"), failure(2, 1)}));
    scripted::answer(DBA_DETACH, 4);
    EXPECT_TRUE(raisedWith(scan(), expected::DETACH_FAILED, 4));
}

} // namespace
