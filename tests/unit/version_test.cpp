// Request 4: call sequence, sign widening, texts and their bounds, failures.
#include "harness.h"

namespace {

class VersionQuery : public ModuleTest {
  protected:
    mxhost::CallResult query() { return run(inputs(num(4), num(2.9))); }
};

TEST_F(VersionQuery, ReturnsTheFourFieldsAfterExactlyThreeCalls) {
    scripted::answer(DBA_GET_VERSION, 0,
                     RecordBytes().u16(0, 3).u16(2, 0xFFFF).text(4, "b").text(6, "20261208").bytes);
    auto result = query();
    ASSERT_FALSE(result.raised) << result.message;
    EXPECT_EQ(scripted::operations(), (Ops{DBA_ATTACH, DBA_GET_VERSION, DBA_DETACH}));
    const auto &log = scripted::calls();
    EXPECT_EQ(log[0].parameter, 2);
    EXPECT_FALSE(log[1].keyGiven);
    EXPECT_TRUE(log[1].recordGiven);
    EXPECT_EQ(log[1].parameter, 0);

    const mxArray *s = result.output();
    ASSERT_EQ(expected::structureMismatch(s, expected::VERSION_FIELDS, 1), "");
    EXPECT_EQ(at(result, "majorversion"), 3.0);
    EXPECT_EQ(at(result, "minorversion"), -1.0);
    EXPECT_EQ(mxhost::textOf(mxGetField(s, 0, "release")), "b");
    EXPECT_EQ(mxhost::textOf(mxGetField(s, 0, "serialnumber")), "20261208");
    EXPECT_EQ(scripted::openAttachments(), 0);
}

TEST_F(VersionQuery, WidensWithSignAndGivesEmptyTexts) {
    scripted::answer(DBA_GET_VERSION, 0, RecordBytes().u16(0, 0xFFFE).u16(2, 0x7FFF).bytes);
    auto result = query();
    ASSERT_FALSE(result.raised);
    EXPECT_EQ(at(result, "majorversion"), -2.0);
    EXPECT_EQ(at(result, "minorversion"), 32767.0);
    EXPECT_EQ(mxhost::textOf(mxGetField(result.output(), 0, "release")), "");
    EXPECT_EQ(mxhost::textOf(mxGetField(result.output(), 0, "serialnumber")), "");
}

TEST_F(VersionQuery, TextsWithoutZeroBytesStayWithinTheirRoom) {
    RecordBytes record;
    for (size_t i = 4; i < 260; ++i) {
        record.u8(i, 'x');
    }
    scripted::answer(DBA_GET_VERSION, 0, record.bytes);
    auto result = query();
    ASSERT_FALSE(result.raised);
    EXPECT_EQ(mxhost::textOf(mxGetField(result.output(), 0, "release")), "xx");
    EXPECT_EQ(mxhost::textOf(mxGetField(result.output(), 0, "serialnumber")),
              std::string(254, 'x'));
}

TEST_F(VersionQuery, FailedReadDetachesThenRaises) {
    scripted::answer(DBA_GET_VERSION, -5);
    EXPECT_TRUE(raisedWith(query(), expected::VERSION_FAILED, -5));
    EXPECT_EQ(scripted::operations(), (Ops{DBA_ATTACH, DBA_GET_VERSION, DBA_DETACH}));
    EXPECT_EQ(scripted::openAttachments(), 0);
}

TEST_F(VersionQuery, FailedDetachRaisesWithItsStatus) {
    scripted::answer(DBA_DETACH, 30);
    EXPECT_TRUE(raisedWith(query(), expected::DETACH_FAILED, 30));
}

TEST_F(VersionQuery, FailedAttachMakesTwoCalls) {
    scripted::answer(DBA_ATTACH, 1);
    EXPECT_TRUE(raisedWith(query(), expected::ATTACH_FAILED, 1));
    EXPECT_EQ(scripted::operations(), (Ops{DBA_ATTACH, DBA_DETACH}));
}

} // namespace
