// Request 3: the order of the scan's feed calls, what the callback stores and when it ends
// the scan, the capacity of the static columns, failures.
#include "harness.h"
#include "history.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

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
        const char *heldUnder; // the qualifier the warning of an empty result names, if any
    };
    const std::vector<Case> cases = {
        // Neighbours that share the first 3, 4 and 11 characters of the symbol.
        {"IB", "", {stored("IBM")}, 0, nullptr},
        {"GOOG", "", {stored("GOOG"), stored("GOOGL")}, 8, nullptr},
        {"ABCDEFGHIJK", "", {stored("ABCDEFGHIJK"), stored("ABCDEFGHIJKL")}, 8, nullptr},
        // No qualifier asked for: only the blocks without one belong, never the first
        // delivery's qualifier, so neither a security with a qualifier nor the next qualifier
        // of the same symbol is taken for it.
        {"AAPL",
         "",
         {stored("AAPL", markedBlock(), "C1"), stored("AAPL", markedBlock(), "P1")},
         0,
         "C1"},
        {"STK3", "", {stored("STK3", markedBlock(), "L")}, 0, "L"},
        {"AAPL", "", {stored("AAPL"), stored("AAPL", markedBlock(), "C1")}, 8, nullptr},
        // With one, only that qualifier's blocks belong, from the first delivery on.
        {"AAPL", "P1", {stored("AAPL", markedBlock(), "P1"), stored("AAPL")}, 8, nullptr},
        {"AAPL", "P1", {stored("AAPL", markedBlock(), "C1")}, 0, "C1"},
        // The symbol without a qualifier is named as such.
        {"AAPL", "C1", {stored("AAPL")}, 0, ""},
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
            std::string message = "No history for symbol '" + c.symbol + "' with qualifier '" +
                                  c.qualifier + "': the feed holds none for this security";
            if (c.heldUnder != nullptr) {
                message +=
                    "; the feed holds history under qualifier '" + std::string(c.heldUnder) + "'";
            }
            ASSERT_EQ(result.warnings.size(), 1u) << c.symbol;
            EXPECT_EQ(result.warnings[0].identifier, "quorvex:noHistory");
            EXPECT_EQ(result.warnings[0].message, message);
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
        // A printed failure is an incomplete history; any other failure status ends the data
        // (the end of the feed's data, for one), so an empty result is no history.
        ASSERT_EQ(result.warnings.size(), 1u) << eventCode;
        EXPECT_EQ(result.warnings[0].identifier,
                  printed.empty() ? "quorvex:noHistory" : "quorvex:historyIncomplete");
    }
}

TEST_F(HistoryScan, ACutScanSaysSoAndHowItEnded) {
    struct Case {
        std::vector<Delivery> deliveries;
        size_t rows;
        double status, event;
        std::string warning; // identifier, or empty
    };
    const std::vector<Case> cases = {
        // Cut by a failed delivery after one block: the rows so far, and a warning naming them.
        {{stored("IBM"), failure(2, 5)}, 8, 5, 2, "quorvex:historyIncomplete"},
        // Ended by the next security, or by the end of the data: complete.
        {{stored("IBM"), stored("KO")}, 8, 0, 0, ""},
        {{stored("IBM"), failure(3, 9)}, 8, 9, 3, ""},
    };
    for (const Case &c : cases) {
        scripted::reset();
        scripted::answerAlways(DBA_WAIT_APPROX, delivering({failure(7, 99)}));
        scripted::answer(DBA_GET_APPROX, delivering({c.deliveries[0]}));
        scripted::answer(DBA_WAIT_APPROX, delivering({}));
        scripted::answer(DBA_GET_APPROX, delivering({c.deliveries[1]}));
        auto result = run(inputs(num(3), num(2), num(0), cells({"IBM"}), cells({""})), 2);
        ASSERT_FALSE(result.raised) << result.message;
        EXPECT_EQ(expected::matrixMismatch(result.output(), c.rows, 7), "");
        const mxArray *ended = result.output(1);
        ASSERT_NE(ended, nullptr);
        ASSERT_EQ(mxGetNumberOfElements(ended), 2u);
        EXPECT_EQ(mxGetPr(ended)[0], c.status);
        EXPECT_EQ(mxGetPr(ended)[1], c.event);
        if (c.warning.empty()) {
            EXPECT_TRUE(result.warnings.empty()) << result.warnings[0].message;
        } else {
            ASSERT_EQ(result.warnings.size(), 1u);
            EXPECT_EQ(result.warnings[0].identifier, c.warning);
            EXPECT_EQ(result.warnings[0].message,
                      "The history of symbol 'IBM' with qualifier '' is incomplete: the feed "
                      "reported status 5 after 8 rows");
        }
        EXPECT_EQ(scripted::openAttachments(), 0);
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
    // The columns took every block that fitted and refused the one more.
    const std::vector<int32_t> &returned = scripted::calls()[2].callbackResults;
    EXPECT_EQ(std::count(returned.begin(), returned.end(), 0), static_cast<long>(fit));
    EXPECT_EQ(returned.back(), 1);

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

// Fills a large stretch of the stack below the caller with a pattern, so that whatever the
// module leaves uninitialised in its frame is not zero by luck.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
void dirtyTheStack() {
    volatile unsigned char dirt[64 * 1024];
    for (size_t i = 0; i < sizeof dirt; ++i) {
        dirt[i] = 0xA5;
    }
}

// What the first read of a scan found in the storage the module lent the feed: the scan block
// and the room after it, and the get-next reads' key buffer.
struct LentStorage {
    Bytes scanRoom; // the 256 bytes after the six fields, at the positioning read
    Bytes nextKey;  // the 256 bytes of the key of the first get-next read
    int32_t started = -1;
    int32_t reserved8 = -1;
};
LentStorage lent;

// Copies what the module lent before the scripted feed sees the call, and never writes
// `started`, like a feed that leaves it to the caller's zeroing.
int32_t DBA_CALL inspectingFeed(void *block, int32_t operation, void *key, void *record,
                                int32_t parameter) {
    if (operation == DBA_GET_APPROX) {
        const auto *bytes = static_cast<const unsigned char *>(record);
        auto *scan = static_cast<HistoryScanBlock *>(record);
        if (scan->mode == SCAN_MODE_POSITION) {
            lent.scanRoom.assign(bytes + sizeof(HistoryScanBlock),
                                 bytes + sizeof(HistoryScanBlock) + 256);
            lent.started = scan->started;
            lent.reserved8 = scan->reserved8;
        } else if (lent.nextKey.empty()) {
            const auto *keyBytes = static_cast<const unsigned char *>(key);
            lent.nextKey.assign(keyBytes, keyBytes + 256);
        }
    }
    int32_t saved = static_cast<HistoryScanBlock *>(record) != nullptr &&
                            (operation == DBA_GET_APPROX || operation == DBA_WAIT_APPROX)
                        ? static_cast<HistoryScanBlock *>(record)->started
                        : 0;
    int32_t status = scripted::dbax(block, operation, key, record, parameter);
    if (operation == DBA_GET_APPROX || operation == DBA_WAIT_APPROX) {
        static_cast<HistoryScanBlock *>(record)->started = saved;
    }
    return status;
}

TEST_F(HistoryScan, LendsTheFeedZeroedStorageWithRoomToSpare) {
    lent = LentStorage{};
    feedUseEntryPoint(inspectingFeed);
    scripted::answer(DBA_WAIT_APPROX, delivering({stored("IBM")}));
    scripted::answer(DBA_WAIT_APPROX, delivering({stored("IBM"), stored("MSFT")}));
    dirtyTheStack();
    auto result = scan();
    ASSERT_FALSE(result.raised) << result.message;
    EXPECT_EQ(lent.started, 0);
    EXPECT_EQ(lent.reserved8, 0);
    EXPECT_EQ(lent.scanRoom, Bytes(256, 0));
    EXPECT_EQ(lent.nextKey, Bytes(256, 0));
    // A feed that never writes `started` leaves every delivery looking like a first one; the
    // requested key still decides what belongs to the scan.
    EXPECT_EQ(expected::matrixMismatch(result.output(), 16, 7), "");
}

TEST_F(HistoryScan, AFeedThatStopsDeliveringEndsTheScanWithinTheBound) {
    scripted::answerAlways(DBA_WAIT_APPROX, Answer{});
    scripted::answer(DBA_WAIT_APPROX, delivering({stored("IBM")}));
    auto result = scan();
    ASSERT_TRUE(result.raised);
    EXPECT_EQ(result.identifier, "quorvex:feedStalled");
    EXPECT_NE(result.message.find("stopped delivering"), std::string::npos) << result.message;
    EXPECT_NE(result.message.find("'IBM'"), std::string::npos) << result.message;
    // The positioning read and its wait, the bound's rounds of two calls, the detach.
    EXPECT_EQ(scripted::calls().size(), 1u + 2u + 2u * HISTORY_STALL_ROUNDS + 1u);
    EXPECT_EQ(scripted::operations().back(), DBA_DETACH);
    EXPECT_EQ(scripted::openAttachments(), 0);
}

TEST_F(HistoryScan, DeliveriesOfAnyKindKeepALongScanGoing) {
    // Twice the bound of rounds that bring only events to ignore, then blocks and the end.
    scripted::answerAlways(DBA_WAIT_APPROX, delivering({Delivery{SCAN_EVENT_IGNORED, {}, {}, 0}}));
    for (int32_t round = 0; round < 2 * HISTORY_STALL_ROUNDS; ++round) {
        scripted::answer(DBA_GET_APPROX, 0);
    }
    scripted::answer(DBA_GET_APPROX, delivering({stored("IBM"), stored("MSFT")}));
    auto result = scan();
    ASSERT_FALSE(result.raised) << result.message;
    EXPECT_EQ(expected::matrixMismatch(result.output(), 8, 7), "");
}

// Makes every history delivery of the scripted feed from a thread of its own, waiting for it
// before the feed call returns, as some feeds deliver from a worker thread.
int32_t DBA_CALL threadedFeed(void *block, int32_t operation, void *key, void *record,
                              int32_t parameter) {
    int32_t status = 0;
    std::thread worker([&] { status = scripted::dbax(block, operation, key, record, parameter); });
    worker.join();
    return status;
}

TEST_F(HistoryScan, CallbacksFromAFeedThreadNeverCallTheHost) {
    feedUseEntryPoint(threadedFeed);
    scripted::answer(DBA_WAIT_APPROX, delivering({stored("IBM")}));
    scripted::answer(DBA_WAIT_APPROX, delivering({stored("IBM"), failure(2, 99)}));
    auto result = scan();
    ASSERT_FALSE(result.raised) << result.message;
    EXPECT_TRUE(result.offThreadHostCalls.empty()) << result.offThreadHostCalls.front();
    EXPECT_EQ(result.printed, expected::textOf(expected::APPROX_FAILURE_LINE, 99));
    EXPECT_EQ(expected::matrixMismatch(result.output(), 16, 7), "");
}

// The callback's convention as a setting: refused unless it names one.
class CallbackSetting : public HistoryScan {
  protected:
    void TearDown() override {
        setVariable(nullptr);
        HistoryScan::TearDown();
    }
    static void setVariable(const char *value) {
#if defined(_WIN32)
        _putenv_s(FEED_CALLBACK_VARIABLE, value != nullptr ? value : "");
#else
        if (value != nullptr) {
            setenv(FEED_CALLBACK_VARIABLE, value, 1);
        } else {
            unsetenv(FEED_CALLBACK_VARIABLE);
        }
#endif
        feedForgetConventions();
    }
};

TEST_F(CallbackSetting, ARefusedValueEndsTheScanDetached) {
    setVariable("fastcall");
    auto result = scan();
    ASSERT_TRUE(result.raised);
    EXPECT_EQ(result.identifier, "quorvex:feedLibrary");
    EXPECT_NE(result.message.find("QUORVEX_FEED_CALLBACK is 'fastcall'"), std::string::npos)
        << result.message;
    EXPECT_EQ(scripted::operations(), (Ops{DBA_ATTACH, DBA_DETACH}));
    // Read once: a change later in the process is not seen.
    setVariable(nullptr);
    setVariable("cdecl");
    const char *refused = nullptr;
    FeedConvention named = feedCallbackConvention(&refused);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(named, FEED_CONVENTION_CDECL);
#if defined(_WIN32)
    _putenv_s(FEED_CALLBACK_VARIABLE, "nonsense");
#else
    setenv(FEED_CALLBACK_VARIABLE, "nonsense", 1);
#endif
    EXPECT_EQ(feedCallbackConvention(&refused), FEED_CONVENTION_CDECL);
}

#if GUARDED_CALL_MEASURES
// A `dbax` built __cdecl, whose history callback is __cdecl too.
int32_t __cdecl cdeclFeed(void *block, int32_t operation, void *key, void *record,
                          int32_t parameter) {
    return scripted::dbax(block, operation, key, record, parameter);
}

TEST_F(CallbackSetting, TheCallbackFollowsTheConventionOfDbaxOrTheSetting) {
    const void *address = functionAddress(&cdeclFeed);
    for (bool cdeclDbax : {true, false}) {
        for (const char *setting : {static_cast<const char *>(nullptr), "stdcall", "cdecl"}) {
            scripted::reset();
            scripted::answerAlways(DBA_WAIT_APPROX, delivering({failure(7, 99)}));
            setVariable(setting);
            bool cdeclCallback =
                setting != nullptr ? std::strcmp(setting, "cdecl") == 0 : cdeclDbax;
            scripted::setCdeclCallback(cdeclCallback);
            if (cdeclDbax) {
                feedUseEntryAddress(address);
            } else {
                feedUseEntryPoint(scripted::dbax);
            }
            scripted::answer(DBA_WAIT_APPROX, delivering({stored("IBM")}));
            scripted::answer(DBA_WAIT_APPROX, delivering({stored("IBM"), stored("MSFT")}));
            auto result = scan();
            ASSERT_FALSE(result.raised) << result.message;
            EXPECT_EQ(feedConvention(),
                      cdeclDbax ? FEED_CONVENTION_CDECL : FEED_CONVENTION_STDCALL);
            EXPECT_EQ(expected::matrixMismatch(result.output(), 16, 7), "")
                << cdeclDbax << (setting != nullptr ? setting : "-");
        }
    }
}
#endif

} // namespace
