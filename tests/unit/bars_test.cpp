// Request 5: the key and record passed along, block paging, per-record divisors, the matrix
// capacity, failures.
#include "harness.h"
#include "pcqw32_layout.h"

namespace {

// A block whose record k has column 6 = 100 * `tag` + k, so every row tells where it came from.
std::vector<unsigned char> taggedBlock(int32_t tag) {
    RecordBytes block;
    for (unsigned k = 0; k < 8; ++k) {
        block.u8(32 * k + 1, 2).i32(32 * k + 22, 100 * tag + static_cast<int32_t>(k));
    }
    return block.bytes;
}

// Rows from `from` on hold nothing but zeros.
bool zeroFrom(const mxArray *matrix, size_t from) {
    for (size_t c = 0; c < BAR_COLUMN_COUNT; ++c) {
        for (size_t r = from; r < BAR_ROWS; ++r) {
            if (at(matrix, r, c) != 0.0) {
                return false;
            }
        }
    }
    return true;
}

class BarSeries : public ModuleTest {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        scripted::answerAlways(DBA_GET_NEXT_BLOCK, scripted::Answer{1, {}, {}});
    }
    mxhost::CallResult series() {
        return run(inputs(num(5), num(3), num(-4), cells({"IBM", "MSFT"}), cells({"NY", "X"})));
    }
};

TEST_F(BarSeries, SendsTheBarKeyAndHandsTheSecurityRecordBackAsKey) {
    scripted::setKeyLength(DBA_GET_RECORD, 32);
    RecordBytes security(256);
    for (size_t i = 0; i < 256; ++i) {
        security.u8(i, (i * 7 + 3) & 0xFF);
    }
    scripted::answer(DBA_GET_RECORD, 0, security.bytes);
    auto result = series();
    ASSERT_FALSE(result.raised) << result.message;
    EXPECT_EQ(scripted::operations(), (Ops{DBA_ATTACH, DBA_GET_RECORD, DBA_GET_FIRST_BLOCK,
                                           DBA_GET_NEXT_BLOCK, DBA_DETACH}));
    const auto &log = scripted::calls();
    EXPECT_EQ(keyText(log[1].key, 0, 32),
              std::string("\0\0IBM         NY  ", 18) + std::string(14, ' '));
    EXPECT_EQ(log[2].key, security.bytes);
    EXPECT_EQ(log[3].key, security.bytes);
    for (size_t i = 1; i <= 3; ++i) {
        EXPECT_TRUE(log[i].recordGiven) << i;
        EXPECT_EQ(log[i].parameter, 0) << i;
    }
    EXPECT_EQ(scripted::openAttachments(), 0);
}

TEST_F(BarSeries, ScalesEachRecordByItsOwnDivisor) {
    RecordBytes block;
    block.u8(1, 1).i32(6, 128).i32(10, -64).i32(14, 32).i32(18, 16);
    block.u8(32 + 1, 12).i32(32 + 6, 250);
    block.u8(64 + 1, 200).i32(64 + 6, 1234).i32(64 + 10, -5).i32(64 + 14, 7).i32(64 + 18, 8);
    block.u8(96 + 1, 2).u32(96 + 2, 0xFFFFFFFFu).u32(96 + 22, 0xFFFFFFFFu);
    scripted::answer(DBA_GET_FIRST_BLOCK, 0, block.bytes);
    auto result = series();
    ASSERT_FALSE(result.raised) << result.message;
    const mxArray *m = result.output();
    ASSERT_EQ(expected::matrixMismatch(m, expected::BAR_ROWS, expected::BAR_COLUMNS), "");
    EXPECT_EQ(at(m, 0, 1), 2.0);
    EXPECT_EQ(at(m, 0, 2), -1.0);
    EXPECT_EQ(at(m, 0, 3), 0.5);
    EXPECT_EQ(at(m, 0, 4), 0.25);
    EXPECT_EQ(at(m, 1, 1), 2.5);
    EXPECT_EQ(at(m, 2, 1), 1234.0);
    EXPECT_EQ(at(m, 2, 2), -5.0);
    EXPECT_EQ(at(m, 2, 3), 7.0);
    EXPECT_EQ(at(m, 2, 4), 8.0);
    EXPECT_EQ(at(m, 3, 0), 4294967295.0);
    EXPECT_EQ(at(m, 3, 5), -1.0);
    // The next-block read failed at once: everything after the first block stays zero.
    EXPECT_TRUE(zeroFrom(m, 8));
}

TEST_F(BarSeries, PagesUntilTheNextBlockReadFails) {
    scripted::answer(DBA_GET_FIRST_BLOCK, 0, taggedBlock(0));
    for (int32_t b = 1; b <= 3; ++b) {
        scripted::answer(DBA_GET_NEXT_BLOCK, 0, taggedBlock(b));
    }
    scripted::answer(DBA_GET_NEXT_BLOCK, -9); // the end of the series, not reported
    auto result = series();
    ASSERT_FALSE(result.raised) << result.message;
    for (size_t r = 0; r < 32; ++r) {
        EXPECT_EQ(at(result.output(), r, 5), static_cast<double>(100 * (r / 8) + r % 8)) << r;
    }
    EXPECT_TRUE(zeroFrom(result.output(), 32));
    EXPECT_EQ(scripted::operations().size(), 8u);
}

TEST_F(BarSeries, FillsTheMatrixExactlyAndRefusesOneBlockMore) {
    const size_t fit = BAR_ROWS / 8;
    for (size_t b = 1; b + 1 < fit; ++b) {
        scripted::answer(DBA_GET_NEXT_BLOCK, 0);
    }
    scripted::answer(DBA_GET_NEXT_BLOCK, 0, taggedBlock(7));
    auto exact = series();
    ASSERT_FALSE(exact.raised) << exact.message;
    EXPECT_EQ(at(exact.output(), BAR_ROWS - 1, 5), 707.0);
    EXPECT_EQ(scripted::operations().size(), 3 + fit + 1);

    scripted::reset();
    scripted::answerAlways(DBA_GET_NEXT_BLOCK, scripted::Answer{0, {}, {}});
    scripted::answer(DBA_DETACH, 6); // ignored: the capacity is what the caller must hear of
    auto over = series();
    ASSERT_TRUE(raisedWith(over, expected::BAR_CAPACITY_EXCEEDED, expected::BAR_ROWS));
    auto ops = scripted::operations();
    EXPECT_EQ(ops.size(), 3 + fit + 1);
    EXPECT_EQ(ops.back(), DBA_DETACH);
}

TEST_F(BarSeries, FailedReadsDetachBeforeRaising) {
    for (int32_t failing : {DBA_GET_RECORD, DBA_GET_FIRST_BLOCK}) {
        scripted::reset();
        scripted::answer(failing, -2);
        auto result = series();
        ASSERT_TRUE(raisedWith(result, expected::RETRIEVAL_FAILED, -2));
        auto ops = scripted::operations();
        EXPECT_EQ(ops.size(), failing == DBA_GET_RECORD ? 3u : 4u);
        EXPECT_EQ(ops.back(), DBA_DETACH);
        EXPECT_EQ(scripted::openAttachments(), 0);
    }

    scripted::reset();
    scripted::answerAlways(DBA_GET_NEXT_BLOCK, scripted::Answer{1, {}, {}});
    scripted::answer(DBA_DETACH, 5);
    EXPECT_TRUE(raisedWith(series(), expected::DETACH_FAILED, 5));
}

} // namespace
