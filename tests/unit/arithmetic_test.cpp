// Conversions give the same doubles on every target: each product and sum is rounded to
// double as it is formed, never carried in a wider register. The values below are those of
// IEEE double arithmetic; a build keeping intermediates in extended precision (the x87 unit
// of 32-bit x86) differs from them in the last bit.
#include "harness.h"

namespace {

class Arithmetic : public ModuleTest {};

TEST_F(Arithmetic, TimesOfDayAreRoundedLikeDoubleArithmetic) {
    RecordBytes record;
    record.u8(54, 1).u8(55, 18); // last 1:18
    record.u8(66, 1).u8(67, 21); // open 1:21
    record.u8(78, 9).u8(79, 30); // high 9:30
    record.u8(90, 1).u8(91, 27); // low 1:27
    scripted::answer(DBA_GET_RECORD, 0, record.bytes);
    auto result = run(inputs(num(2), num(1), num(1), cells({"X"}), cells({""})));
    ASSERT_FALSE(result.raised) << result.message;
    EXPECT_EQ(at(result, "LastPriceTime"), 0x1.bbbbbbbbbbbbcp-5);
    EXPECT_EQ(at(result, "OpenPriceTime"), 0x1.cccccccccccccp-5);
    EXPECT_EQ(at(result, "HighPriceTime"), 0x1.9555555555555p-2);
    EXPECT_EQ(at(result, "LowPriceTime"), 1 * (1.0 / 24) + 27 * (1.0 / 1440));
}

TEST_F(Arithmetic, HundredthsAreRoundedLikeDoubleArithmetic) {
    for (auto [word, expected] : {std::pair<unsigned, double>{6835, 0x1.1166666666667p+6},
                                  {9549, 0x1.7df5c28f5c28fp+6},
                                  {13670, 0x1.1166666666667p+7}}) {
        scripted::reset();
        scripted::answer(DBA_GET_RECORD, 0, RecordBytes().u16(58, word).bytes);
        auto result = run(inputs(num(6), num(1), num(1), cells({"X"}), cells({""})));
        ASSERT_FALSE(result.raised) << result.message;
        EXPECT_EQ(at(result, "Beta"), expected) << word;
    }
}

} // namespace
