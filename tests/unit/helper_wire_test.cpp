// The feed helper's wire format: a request and a reply written on one side read back whole on
// the other, and every reply that breaks the format refused before anything of it is made.
#include "harness.h"
#include "helper_wire.h"

#include <cstring>
#include <vector>

namespace {

// A reply of every kind of value, written with the helper's writer into `section`: a 2-by-3
// matrix, a structure of a column of texts and a text, a warning and a print.
size_t sampleReply(std::vector<unsigned char> &section) {
    replyBegin(section.data(), section.size());
    double *data = nullptr;
    WireNode *matrix = replyMatrix(2, 3, &data);
    for (int i = 0; i < 6; ++i) {
        data[i] = i + 0.25;
    }
    replyEvent(HELPER_EVENT_PRINT, nullptr, "a line\n");
    WireNode *texts = replyTexts(2);
    replySetText(texts, 0, "IBM");
    WireNode *text = replyText("b");
    replyEvent(HELPER_EVENT_WARNING, "quorvex:noHistory", "none");
    const char *names[] = {"Symbol", "release"};
    WireNode *fields[] = {texts, text};
    WireNode *structure = replyStructure(2, names, fields);
    WireNode *slots[] = {matrix, structure};
    size_t needed = 0;
    return replyFinish(slots, 2, &needed);
}

// Replays `bytes` of `section` in a call of its own, as the module does with a reply.
mxhost::CallResult replay(const std::vector<unsigned char> &section, size_t bytes, bool *accepted) {
    static const std::vector<unsigned char> *from;
    static size_t length;
    static bool ok;
    from = &section;
    length = bytes;
    auto entry = [](int nlhs, mxArray *plhs[], int, const mxArray *[]) {
        const char *why = nullptr;
        HelperError error;
        ok = replayHelperReply(from->data(), length, reinterpret_cast<ResultArray **>(plhs), nlhs,
                               &error, &why);
    };
    auto result = mxhost::call(entry, 2, {});
    *accepted = ok;
    return result;
}

TEST(HelperWire, ARequestComesBackAsItWasSent) {
    SecurityText sent[2] = {{"IBM", ""}, {"AAPL-C190", "2406"}};
    RequestInputs inputs{2, 7, 2, SecurityList{sent, 2}};
    const char environment[] = "A=1\0B=two\0";
    std::vector<unsigned char> section(helperRequestSize(2, sizeof environment));
    encodeHelperRequest(inputs, 2, environment, sizeof environment, section.data());

    RequestInputs got{};
    int outputs = 0;
    SecurityText securities[2];
    const char *variables = nullptr;
    size_t variableBytes = 0;
    const char *why = nullptr;
    ASSERT_TRUE(decodeHelperRequest(section.data(), section.size(), &got, &outputs, securities, 2,
                                    &variables, &variableBytes, &why))
        << why;
    EXPECT_EQ(got.code, 2);
    EXPECT_EQ(got.database, 7);
    EXPECT_EQ(outputs, 2);
    ASSERT_EQ(got.securities.count, 2);
    EXPECT_STREQ(got.securities.items[1].symbol, "AAPL-C190");
    EXPECT_STREQ(got.securities.items[1].qualifier, "2406");
    EXPECT_EQ(std::string(variables, variableBytes), std::string(environment, sizeof environment));

    // More securities than the room, or than the bytes, and an environment that does not end:
    // refused.
    EXPECT_FALSE(decodeHelperRequest(section.data(), section.size(), &got, &outputs, securities, 1,
                                     &variables, &variableBytes, &why));
    EXPECT_FALSE(decodeHelperRequest(section.data(), HELPER_REQUEST_HEADER_SIZE + 30, &got,
                                     &outputs, securities, 2, &variables, &variableBytes, &why));
    section.back() = 'x';
    EXPECT_FALSE(decodeHelperRequest(section.data(), section.size(), &got, &outputs, securities, 2,
                                     &variables, &variableBytes, &why));
}

TEST(HelperWire, AReplyIsReplayedWithItsReportsInOrder) {
    std::vector<unsigned char> section(64 * 1024);
    const size_t bytes = sampleReply(section);
    ASSERT_GT(bytes, 0u);
    bool accepted = false;
    auto result = replay(section, bytes, &accepted);
    ASSERT_TRUE(accepted);
    EXPECT_EQ(result.printed, "a line\n");
    ASSERT_EQ(result.warnings.size(), 1u);
    EXPECT_EQ(result.warnings[0].identifier, "quorvex:noHistory");
    ASSERT_EQ(expected::matrixMismatch(result.output(0), 2, 3), "");
    EXPECT_EQ(at(result.output(0), 1, 2), 5.25);
    const mxArray *structure = result.output(1);
    EXPECT_EQ(mxhost::fieldNames(structure), (std::vector<std::string>{"Symbol", "release"}));
    const mxArray *symbols = mxGetField(structure, 0, "Symbol");
    EXPECT_EQ(mxhost::textOf(mxGetCell(symbols, 0)), "IBM");
    EXPECT_EQ(mxhost::textOf(mxGetCell(symbols, 1)), ""); // never set: empty
    EXPECT_EQ(mxhost::textOf(mxGetField(structure, 0, "release")), "b");
}

TEST(HelperWire, EveryBrokenReplyIsRefusedBeforeAnythingIsMade) {
    std::vector<unsigned char> good(64 * 1024);
    const size_t bytes = sampleReply(good);
    const size_t before = mxhost::liveArrayCount();
    // Cut short anywhere, and every byte of the header and the directory changed in turn:
    // refused, or read within the bytes; nothing made of a refused one.
    for (size_t cut = 0; cut < bytes; cut += 7) {
        bool accepted = true;
        auto result = replay(good, cut, &accepted);
        EXPECT_FALSE(accepted) << "cut at " << cut;
        EXPECT_EQ(result.output(0), nullptr);
    }
    // The header (32 bytes), then the data area up to the reports (its doubles may be
    // anything), then the reports and the directory.
    const size_t reports = good[20] | (good[21] << 8) | (good[22] << 16);
    for (size_t at = 0; at < bytes; ++at) {
        if (at >= 32 && at < reports) {
            continue;
        }
        for (int value : {0x00, 0x7F, 0xFF}) {
            std::vector<unsigned char> broken = good;
            broken[at] = static_cast<unsigned char>(value);
            bool accepted = false;
            auto result = replay(broken, bytes, &accepted);
            if (!accepted) {
                EXPECT_EQ(result.output(0), nullptr) << "byte " << at;
                EXPECT_EQ(result.printed, "") << "byte " << at;
            }
        }
    }
    EXPECT_EQ(mxhost::liveArrayCount(), before);
}

TEST(HelperWire, AReplyThatDoesNotFitItsSectionFailsWhole) {
    std::vector<unsigned char> section(64 * 1024);
    replyBegin(section.data(), section.size());
    double *data = nullptr;
    EXPECT_EQ(replyMatrix(100000, 7, &data), nullptr);
    WireNode *slots[] = {nullptr};
    size_t needed = 0;
    EXPECT_EQ(replyFinish(slots, 1, &needed), 0u);
    EXPECT_GT(needed, 100000u * 7 * 8);
}

} // namespace
