// Request 7: the tagged key with and without securities given, the one read, its failures.
#include "harness.h"

namespace {

class CantRead : public ModuleTest {};

TEST_F(CantRead, SendsTheTaggedKeyOfTheFirstSecurityAndReturnsNothing) {
    auto result =
        run(inputs(num(7), num(2), num(5), cells({"AAPLLONGNAME1", "MSFT"}), cells({"Q", "X"})));
    ASSERT_FALSE(result.raised) << result.message;
    EXPECT_EQ(scripted::operations(), (Ops{DBA_ATTACH, DBA_GET_RECORD_EXT, DBA_DETACH}));
    const auto &call = scripted::calls()[1];
    EXPECT_EQ(keyText(call.key, 0, 25), std::string("\0\0AAPLLONGNAM Q      CANT", 25));
    EXPECT_TRUE(call.recordGiven);
    EXPECT_EQ(call.parameter, 0);
    EXPECT_EQ(result.output(), nullptr);
    EXPECT_EQ(result.printed, "");
    EXPECT_EQ(scripted::openAttachments(), 0);
}

TEST_F(CantRead, WithoutSecuritiesTheKeyCarriesOnlySpacesAndTheTag) {
    auto result = run(inputs(num(7), num(2), num(0)));
    ASSERT_FALSE(result.raised) << result.message;
    EXPECT_EQ(keyText(scripted::calls()[1].key, 0, 25),
              std::string("\0\0", 2) + std::string(19, ' ') + "CANT");
}

TEST_F(CantRead, FailuresDetachAndRaise) {
    scripted::answer(DBA_GET_RECORD_EXT, 12);
    scripted::answer(DBA_DETACH, 8); // ignored after the failed read
    EXPECT_TRUE(raisedWith(run(inputs(num(7), num(2), num(0))), expected::RETRIEVAL_FAILED, 12));
    EXPECT_EQ(scripted::operations(), (Ops{DBA_ATTACH, DBA_GET_RECORD_EXT, DBA_DETACH}));

    scripted::reset();
    scripted::answer(DBA_DETACH, 3);
    EXPECT_TRUE(raisedWith(run(inputs(num(7), num(2), num(0))), expected::DETACH_FAILED, 3));
}

} // namespace
