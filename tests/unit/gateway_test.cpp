// The entry point: dispatch, truncation, the attach check and its failures, input checks.
#include "feed_call.h"
#include "harness.h"

#include <cmath>
#include <functional>

using scripted::Call;

namespace {

class Gateway : public ModuleTest {};

TEST_F(Gateway, CodesOutsideOneToSevenReturnAtOnce) {
    for (double code : {0.5, 0.0, -1.0, 8.0, 100.0, -0.5, 1e12, -1e12}) {
        auto result = run(inputs(num(code), num(1)));
        EXPECT_FALSE(result.raised) << code;
        EXPECT_EQ(result.output(), nullptr) << code;
        EXPECT_TRUE(scripted::calls().empty()) << code;
    }
}

TEST_F(Gateway, RequestCodeIsTruncatedTowardZero) {
    auto result = run(inputs(num(1.9), num(2)));
    ASSERT_FALSE(result.raised) << result.message;
    EXPECT_EQ(scalarOf(result.output()), 2.0);

    scripted::reset();
    auto cant = run(inputs(num(7.99), num(1), num(0)));
    ASSERT_FALSE(cant.raised) << cant.message;
    EXPECT_EQ(scripted::operations(), (Ops{DBA_ATTACH, DBA_GET_RECORD_EXT, DBA_DETACH}));
    EXPECT_EQ(cant.output(), nullptr);
}

TEST_F(Gateway, AttachCheckReturnsTheTruncatedDatabaseNumber) {
    auto result = run(inputs(num(1), num(3.7)));
    ASSERT_FALSE(result.raised);
    EXPECT_EQ(scalarOf(result.output()), 3.0);
    ASSERT_EQ(scripted::operations(), (Ops{DBA_ATTACH, DBA_DETACH}));
    const auto &log = scripted::calls();
    EXPECT_EQ(log[0].parameter, 3);
    EXPECT_FALSE(log[0].keyGiven);
    EXPECT_FALSE(log[0].recordGiven);
    EXPECT_EQ(log[1].parameter, 0);
    EXPECT_EQ(log[0].block, log[1].block);
    EXPECT_EQ(scripted::openAttachments(), 0);

    scripted::reset();
    auto negative = run(inputs(num(1), num(-2.5)));
    EXPECT_EQ(scalarOf(negative.output()), -2.0);
    EXPECT_EQ(scripted::calls()[0].parameter, -2);
}

TEST_F(Gateway, FailedAttachDetachesThenRaisesForEveryRequest) {
    for (int code = 1; code <= 7; ++code) {
        scripted::reset();
        scripted::answer(DBA_ATTACH, -17);
        scripted::answer(DBA_DETACH, 99); // ignored after a failed attach
        auto result = run(inputs(num(code), num(4), num(1), cells({"IBM"}), cells({""})));
        EXPECT_TRUE(raisedWith(result, expected::ATTACH_FAILED, -17)) << code;
        EXPECT_EQ(scripted::operations(), (Ops{DBA_ATTACH, DBA_DETACH})) << code;
    }
}

TEST_F(Gateway, FailedDetachOfTheAttachCheckRaises) {
    scripted::answer(DBA_DETACH, 12);
    EXPECT_TRUE(raisedWith(run(inputs(num(1), num(1))), expected::DETACH_FAILED, 12));
}

TEST_F(Gateway, HistoryBarsAndCantReadTheThirdInput) {
    for (int code : {3, 5, 7}) {
        scripted::reset();
        auto missing = run(inputs(num(code), num(1)));
        ASSERT_TRUE(missing.raised) << code;
        EXPECT_EQ(missing.message, "Input 3 (count) is missing");
        EXPECT_TRUE(scripted::calls().empty());
    }
}

struct BadInput {
    const char *what;
    std::function<std::vector<mxhost::ArrayPtr>()> make;
    const char *message;
};

TEST_F(Gateway, BadInputsAreRefusedBeforeAnyFeedCall) {
    auto numberCell = [] {
        mxhost::ArrayPtr c = own(mxCreateCellMatrix(1, 2));
        mxSetCell(c.get(), 0, mxCreateString("IBM"));
        mxSetCell(c.get(), 1, mxCreateDoubleScalar(3));
        return c;
    };
    std::vector<BadInput> cases = {
        {"no inputs", [] { return inputs(); }, "Input 1 (request code) is missing"},
        {"text request code", [] { return inputs(mxhost::text("1"), num(1)); },
         "Input 1 (request code) must be a real numeric scalar"},
        {"logical request code", [] { return inputs(own(mxCreateLogicalScalar(true)), num(1)); },
         "Input 1 (request code) must be a real numeric scalar"},
        {"NaN request code", [] { return inputs(num(NAN), num(1)); },
         "Input 1 (request code) must be finite"},
        {"missing database", [] { return inputs(num(1)); }, "Input 2 (database number) is missing"},
        {"complex database",
         [] { return inputs(num(1), own(mxCreateDoubleMatrix(1, 1, mxCOMPLEX))); },
         "Input 2 (database number) must be a real numeric scalar"},
        {"vector database", [] { return inputs(num(4), own(mxCreateDoubleMatrix(1, 2, mxREAL))); },
         "Input 2 (database number) must be a real numeric scalar"},
        {"infinite database", [] { return inputs(num(1), num(INFINITY)); },
         "Input 2 (database number) must be finite"},
        {"database out of range", [] { return inputs(num(1), num(2147483648.0)); },
         "Input 2 (database number) is outside the signed 32-bit range"},
        {"count out of range", [] { return inputs(num(2), num(1), num(-2147483649.0)); },
         "Input 3 (count) is outside the signed 32-bit range"},
        {"missing symbols", [] { return inputs(num(3), num(1), num(0)); },
         "Input 4 (symbols) is missing"},
        {"symbols not a cell", [] { return inputs(num(5), num(1), num(0), num(3), cells({""})); },
         "Input 4 (symbols) must be a cell array of texts"},
        {"missing qualifiers", [] { return inputs(num(2), num(1), num(1), cells({"IBM"})); },
         "Input 5 (qualifiers) is missing"},
        {"too few symbols",
         [] {
             return inputs(num(2), num(1), num(3), cells({"A", "B"}), cells({"", "", ""}));
         },
         "Input 4 (symbols) holds 2 cells, 3 are needed"},
        {"too few qualifiers",
         [] {
             return inputs(num(6), num(1), num(2), cells({"A", "B"}), cells({""}));
         },
         "Input 5 (qualifiers) holds 1 cells, 2 are needed"},
        {"number in a cell",
         [&] {
             return inputs(num(2), num(1), num(2), numberCell(), cells({"", ""}));
         },
         "Input 4 (symbols), cell 2: must be a text"},
        {"empty cell element",
         [] {
             return inputs(num(3), num(1), num(0), cells({"IBM"}), own(mxCreateCellMatrix(1, 1)));
         },
         "Input 5 (qualifiers), cell 1: must be a text"},
        {"long qualifier for the CANT read",
         [] { return inputs(num(7), num(1), num(0), cells({"IBM"}), cells({"ABCDEFG"})); },
         "Input 5 (qualifiers), cell 1: a qualifier has at most 4 characters, this one has 7"},
    };
    for (const BadInput &bad : cases) {
        scripted::reset();
        auto result = run(bad.make());
        ASSERT_TRUE(result.raised) << bad.what;
        EXPECT_EQ(result.message, bad.message) << bad.what;
        EXPECT_EQ(result.identifier, expected::BAD_INPUT) << bad.what;
        EXPECT_TRUE(scripted::calls().empty()) << bad.what;
        EXPECT_EQ(result.output(), nullptr) << bad.what;
    }
}

// The qualifier's field in the key holds four characters: four pass the input check and reach
// the key whole, five are refused before any feed call.
TEST_F(Gateway, QualifiersOfFourCharactersPassAndOfFiveAreRefused) {
    for (int code : {2, 7}) {
        scripted::reset();
        auto four = run(inputs(num(code), num(1), num(1), cells({"IBM"}), cells({"WXYZ"})));
        ASSERT_FALSE(four.raised) << code << ": " << four.message;
        ASSERT_EQ(scripted::calls().size(), 3u) << code;
        EXPECT_EQ(keyText(scripted::calls()[1].key, 2, 16), "IBM         WXYZ") << code;

        scripted::reset();
        auto five = run(inputs(num(code), num(1), num(1), cells({"IBM"}), cells({"WXYZV"})));
        ASSERT_TRUE(five.raised) << code;
        EXPECT_EQ(five.identifier, expected::BAD_INPUT) << code;
        EXPECT_EQ(five.message,
                  "Input 5 (qualifiers), cell 1: a qualifier has at most 4 characters, this one "
                  "has 5")
            << code;
        EXPECT_TRUE(scripted::calls().empty()) << code;
    }
}

TEST_F(Gateway, IntegerClassesAreAcceptedAsScalars) {
    // The stand-in host's integer arrays hold zeros: an int32 request code of 0 is read as a
    // code outside 1 to 7, and a uint8 database number of 0 is attached.
    auto code = run(inputs(own(mxCreateNumericMatrix(1, 1, mxINT32_CLASS, mxREAL)), num(1)));
    ASSERT_FALSE(code.raised) << code.message;
    EXPECT_EQ(code.output(), nullptr);
    EXPECT_TRUE(scripted::calls().empty());

    auto database = run(inputs(num(1), own(mxCreateNumericMatrix(1, 1, mxUINT8_CLASS, mxREAL))));
    ASSERT_FALSE(database.raised) << database.message;
    EXPECT_EQ(scalarOf(database.output()), 0.0);
    ASSERT_EQ(scripted::operations(), (Ops{DBA_ATTACH, DBA_DETACH}));
    EXPECT_EQ(scripted::calls()[0].parameter, 0);
}

TEST_F(Gateway, NoArrayOutlivesACall) {
    size_t before = mxhost::liveArrayCount();
    {
        auto result = run(inputs(num(1), num(1)));
        scripted::answer(DBA_ATTACH, 3);
        auto failed = run(inputs(num(1), num(1)));
    }
    kept.clear();
    EXPECT_EQ(mxhost::liveArrayCount(), before);
}

#if GUARDED_CALL_MEASURES
// Entry points of the conventions a feed library may follow, all answering through the
// scripted feed: cdecl, and one that removes 8 bytes of its 20 (neither convention).
int32_t __cdecl cdeclEntry(void *block, int32_t operation, void *key, void *record,
                           int32_t parameter) {
    return scripted::dbax(block, operation, key, record, parameter);
}
int32_t __stdcall eightByteEntry(void *block, int32_t operation) {
    return scripted::dbax(block, operation, nullptr, nullptr, 0);
}

class Conventions : public Gateway {
  protected:
    void SetUp() override {
        Gateway::SetUp();
        feedForgetConventions();
    }
    void TearDown() override {
        feedForgetConventions();
        Gateway::TearDown();
    }
    mxhost::CallResult attachCheck() { return run(inputs(num(1), num(4))); }
};

TEST_F(Conventions, TheFirstCallFixesTheConventionOfDbax) {
    feedUseEntryAddress(functionAddress(cdeclEntry));
    auto result = attachCheck();
    ASSERT_FALSE(result.raised) << result.message;
    EXPECT_EQ(feedConvention(), FEED_CONVENTION_CDECL);
    EXPECT_EQ(scalarOf(result.output()), 4.0);

    feedForgetConventions();
    feedUseEntryPoint(scripted::dbax);
    result = attachCheck();
    ASSERT_FALSE(result.raised) << result.message;
    EXPECT_EQ(feedConvention(), FEED_CONVENTION_STDCALL);

    // The same library later answering in the other convention is refused, detached.
    scripted::reset();
    feedUseEntryAddress(functionAddress(cdeclEntry));
    result = attachCheck();
    ASSERT_TRUE(result.raised);
    EXPECT_EQ(result.identifier, "quorvex:feedLibrary");
    EXPECT_NE(result.message.find("cdecl calling convention in operation 0 after following "
                                  "stdcall"),
              std::string::npos)
        << result.message;
    EXPECT_EQ(scripted::operations(), (Ops{DBA_ATTACH, DBA_DETACH}));
}

TEST_F(Conventions, ALibraryOfNeitherConventionIsRefusedAndTheProcessGoesOn) {
    feedUseEntryAddress(functionAddress(eightByteEntry));
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto result = attachCheck();
        ASSERT_TRUE(result.raised);
        EXPECT_EQ(result.identifier, "quorvex:feedLibrary");
        EXPECT_NE(result.message.find("removed 8 bytes"), std::string::npos) << result.message;
        EXPECT_EQ(feedConvention(), FEED_CONVENTION_UNKNOWN);
    }
    EXPECT_EQ(scripted::operations(), (Ops{DBA_ATTACH, DBA_DETACH, DBA_ATTACH, DBA_DETACH}));
    feedUseEntryPoint(scripted::dbax);
    EXPECT_FALSE(attachCheck().raised);
}
#endif

} // namespace
