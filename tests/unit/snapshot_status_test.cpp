// Requests 2 and 6 with a second output: a security the feed cannot read costs only its own
// row (NaN in every number, an empty text in every text) and its status is the data of the
// second output; the securities around it are read as with one output.
#include "harness.h"

#include <cmath>

namespace {

class SnapshotStatus : public ModuleTest {
  protected:
    // Three securities, the second of which the feed refuses with `status`; the others carry
    // a distinct price word at `priceOffset`.
    mxhost::CallResult snapshot(int request, size_t priceOffset, int32_t status, int outputs) {
        scripted::answer(DBA_GET_RECORD, 0,
                         RecordBytes().u16(24, 2).u16(54, 2).i32(priceOffset, 11).bytes);
        scripted::answer(DBA_GET_RECORD, status);
        scripted::answer(DBA_GET_RECORD, 0,
                         RecordBytes().u16(24, 2).u16(54, 2).i32(priceOffset, 33).bytes);
        return run(
            inputs(num(request), num(1), num(3), cells({"A", "B", "C"}), cells({"", "", ""})),
            outputs);
    }
};

template <size_t N>
void expectUnreadRow(const mxhost::CallResult &result, const expected::Field (&fields)[N],
                     size_t row) {
    for (const expected::Field &field : fields) {
        const mxArray *value = mxGetField(result.output(), 0, field.name);
        ASSERT_NE(value, nullptr) << field.name;
        switch (field.shape) {
        case expected::Shape::Texts:
            EXPECT_EQ(mxhost::textOf(mxGetCell(value, row)), "") << field.name;
            break;
        case expected::Shape::Column:
            EXPECT_TRUE(std::isnan(mxGetPr(value)[row])) << field.name;
            break;
        case expected::Shape::TwoColumns:
            EXPECT_TRUE(std::isnan(mxGetPr(value)[row]) && std::isnan(mxGetPr(value)[3 + row]))
                << field.name;
            break;
        case expected::Shape::DateRows:
            for (size_t k = 0; k < 3; ++k) {
                EXPECT_TRUE(std::isnan(mxGetPr(value)[3 * row + k])) << field.name;
            }
            break;
        case expected::Shape::Text:
            break;
        }
    }
}

TEST_F(SnapshotStatus, AFailedReadCostsOnlyItsRowAndItsStatusIsData) {
    struct Case {
        int request;
        size_t priceOffset;
        const char *price;
    };
    for (const Case &c : {Case{2, 44, "LastPrice"}, Case{6, 92, "ClosePrice"}}) {
        scripted::reset();
        auto result = snapshot(c.request, c.priceOffset, -42, 2);
        ASSERT_FALSE(result.raised) << result.message;
        EXPECT_EQ(scripted::operations(),
                  (Ops{DBA_ATTACH, DBA_GET_RECORD, DBA_GET_RECORD, DBA_GET_RECORD, DBA_DETACH}));
        EXPECT_EQ(scripted::openAttachments(), 0);
        const mxArray *statuses = result.output(1);
        ASSERT_EQ(expected::matrixMismatch(statuses, 3, 1), "");
        EXPECT_EQ(std::vector<double>(mxGetPr(statuses), mxGetPr(statuses) + 3),
                  (std::vector<double>{0, -42, 0}));
        EXPECT_EQ(at(result, c.price, 0), 11.0);
        EXPECT_EQ(at(result, c.price, 2), 33.0);
        // Every field is there; the unread row holds no finite number.
        if (c.request == 2) {
            expectUnreadRow(result, expected::QUOTE_FIELDS, 1);
        } else {
            expectUnreadRow(result, expected::FUNDAMENTALS_FIELDS, 1);
        }
    }
}

TEST_F(SnapshotStatus, WithOneOutputTheFirstFailedReadStillRaises) {
    for (int request : {2, 6}) {
        scripted::reset();
        auto result = snapshot(request, 44, 9, 1);
        ASSERT_TRUE(raisedWith(result, expected::RETRIEVAL_FAILED, 9));
        EXPECT_EQ(scripted::operations(),
                  (Ops{DBA_ATTACH, DBA_GET_RECORD, DBA_GET_RECORD, DBA_DETACH}));
    }
}

TEST_F(SnapshotStatus, AnEmptyListGivesAnEmptyColumnOfStatuses) {
    auto result = run(inputs(num(2), num(1), num(0), cells({}), cells({})), 2);
    ASSERT_FALSE(result.raised) << result.message;
    EXPECT_EQ(expected::matrixMismatch(result.output(1), 0, 1), "");
}

} // namespace
