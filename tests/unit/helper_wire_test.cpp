// The feed helper's wire format: a request and a reply written on one side read back whole on
// the other, and every reply that breaks the format refused before anything of it is made.
#include "harness.h"
#include "helper_wire.h"
#include "raw_records.h"

#include <cstring>
#include <random>
#include <vector>

namespace {

// `count` raw records of `size` bytes, every byte drawn at random (the decoders take any).
std::vector<unsigned char> randomRecords(size_t count, size_t size, unsigned seed) {
    std::mt19937 draw(seed);
    std::vector<unsigned char> bytes(count * size);
    for (unsigned char &byte : bytes) {
        byte = static_cast<unsigned char>(draw());
    }
    return bytes;
}

// A reply of every kind of value, written with the helper's writer into `section`: a 2-by-3
// matrix, a structure of a column of texts and a text, two raw history blocks, a warning and a
// print.
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
    const size_t blockSize = rawRecordsLayout(RAW_HISTORY_BLOCKS)->recordSize;
    const std::vector<unsigned char> blocks = randomRecords(2, blockSize, 1);
    replyRawBegin(RAW_HISTORY_BLOCKS);
    replyRawAppend(blocks.data());
    replyRawAppend(blocks.data() + blockSize);
    WireNode *raw = replyRawEnd();
    WireNode *slots[] = {matrix, structure, raw};
    size_t needed = 0;
    return replyFinish(slots, 3, &needed);
}

// Replays `bytes` of `section` in a call of its own, as the module does with a reply.
// The progress messages a helper sent while it wrote its raw records are taken first, as the
// module takes them while it waits for the reply.
mxhost::CallResult replay(const std::vector<unsigned char> &section, size_t bytes, bool *accepted,
                          const std::vector<HelperMessage> &progress = {}) {
    static const std::vector<unsigned char> *from;
    static const std::vector<HelperMessage> *announced;
    static size_t length;
    static bool ok;
    from = &section;
    announced = &progress;
    length = bytes;
    auto entry = [](int nlhs, mxArray *plhs[], int, const mxArray *[]) {
        const char *why = nullptr;
        HelperRawProgress decoded{};
        ok = true;
        for (const HelperMessage &message : *announced) {
            ok = ok && takeHelperProgress(from->data(), from->size(), message, &decoded, &why);
        }
        HelperError error;
        ok = ok && replayHelperReply(from->data(), length, reinterpret_cast<ResultArray **>(plhs),
                                     nlhs, &error, &why, &decoded);
    };
    auto result = mxhost::call(entry, 3, {});
    *accepted = ok;
    return result;
}

// The matrix the module's own process makes of the same raw records.
mxhost::CallResult decodedHere(RawRecords kind, const std::vector<unsigned char> &records) {
    static RawRecords decoding;
    static const std::vector<unsigned char> *from;
    decoding = kind;
    from = &records;
    auto entry = [](int, mxArray *plhs[], int, const mxArray *[]) {
        const size_t size = rawRecordsLayout(decoding)->recordSize;
        resultRawBegin(decoding);
        for (size_t at = 0; at < from->size(); at += size) {
            resultRawAppend(from->data() + at);
        }
        plhs[0] = reinterpret_cast<mxArray *>(resultRawEnd());
    };
    return mxhost::call(entry, 1, {});
}

bool sameBits(const mxArray *a, const mxArray *b) {
    return a != nullptr && b != nullptr && mxGetM(a) == mxGetM(b) && mxGetN(a) == mxGetN(b) &&
           std::memcmp(mxGetPr(a), mxGetPr(b), mxGetM(a) * mxGetN(a) * sizeof(double)) == 0;
}

// Raw records written as a helper writes them, with the progress messages it would send.
struct RawReply {
    std::vector<unsigned char> section;
    size_t bytes;
    std::vector<HelperMessage> progress;
};

RawReply rawReply(RawRecords kind, const std::vector<unsigned char> &records) {
    static std::vector<HelperMessage> *sent;
    RawReply reply{std::vector<unsigned char>(records.size() + 256 * 1024), 0, {}};
    sent = &reply.progress;
    replySetProgress([](uint32_t which, uint32_t offset, uint32_t count) {
        sent->push_back(
            HelperMessage{HELPER_PROGRESS, HELPER_PROTOCOL_VERSION, 1, count, which, offset});
    });
    replyBegin(reply.section.data(), reply.section.size());
    const size_t size = rawRecordsLayout(kind)->recordSize;
    replyRawBegin(kind);
    for (size_t at = 0; at < records.size(); at += size) {
        replyRawAppend(records.data() + at);
    }
    WireNode *slots[] = {replyRawEnd()};
    size_t needed = 0;
    reply.bytes = replyFinish(slots, 1, &needed);
    replySetProgress(nullptr);
    return reply;
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
    EXPECT_EQ(expected::matrixMismatch(result.output(2), 16, 7), "");
}

TEST(HelperWire, RawRecordsDecodeAsInTheModulesOwnProcessWithOrWithoutProgress) {
    // A history of 4,000 blocks (several progress messages), and a bar series of 2,000 blocks
    // in its fixed rows.
    for (RawRecords kind : {RAW_HISTORY_BLOCKS, RAW_BAR_BLOCKS}) {
        const size_t count = kind == RAW_HISTORY_BLOCKS ? 4000 : 2000;
        const std::vector<unsigned char> records =
            randomRecords(count, rawRecordsLayout(kind)->recordSize, 7);
        auto here = decodedHere(kind, records);
        RawReply reply = rawReply(kind, records);
        ASSERT_GT(reply.bytes, 0u);
        // The room past the last record went back: the reply holds the records, not the most.
        EXPECT_LT(reply.bytes, records.size() + 4096);
        ASSERT_GE(reply.progress.size(), 1u);
        bool accepted = false;
        auto whole = replay(reply.section, reply.bytes, &accepted);
        ASSERT_TRUE(accepted);
        EXPECT_TRUE(sameBits(whole.output(0), here.output(0))) << kind;
        auto stepwise = replay(reply.section, reply.bytes, &accepted, reply.progress);
        ASSERT_TRUE(accepted);
        EXPECT_TRUE(sameBits(stepwise.output(0), here.output(0))) << kind;
    }
    const size_t rows = mxGetM(decodedHere(RAW_BAR_BLOCKS, {}).output(0));
    EXPECT_EQ(rows, expected::BAR_ROWS); // no block still gives the series' fixed rows, all zeros
}

TEST(HelperWire, ProgressThatGoesBackOrElsewhereIsRefused) {
    const std::vector<unsigned char> records =
        randomRecords(4000, rawRecordsLayout(RAW_HISTORY_BLOCKS)->recordSize, 3);
    RawReply reply = rawReply(RAW_HISTORY_BLOCKS, records);
    ASSERT_GE(reply.progress.size(), 2u);
    const HelperMessage first = reply.progress[0];
    auto refused = [&](std::vector<HelperMessage> progress) {
        bool accepted = true;
        replay(reply.section, reply.bytes, &accepted, progress);
        return !accepted;
    };
    EXPECT_FALSE(refused(reply.progress));
    HelperMessage back = reply.progress[1];
    back.bytes = first.bytes - 1;
    EXPECT_TRUE(refused({first, back}));
    HelperMessage otherKind = first;
    otherKind.detail = RAW_BAR_BLOCKS;
    EXPECT_TRUE(refused({first, otherKind}));
    HelperMessage unknown = first;
    unknown.detail = 99;
    EXPECT_TRUE(refused({unknown}));
    HelperMessage outside = first;
    outside.offset = static_cast<uint32_t>(reply.section.size() - 16);
    EXPECT_TRUE(refused({outside}));
    HelperMessage tooMany = first;
    tooMany.bytes = 100000; // more blocks than any history holds
    EXPECT_TRUE(refused({tooMany}));
    // Progress at another place than the reply's records, and more than the reply holds.
    HelperMessage elsewhere = first;
    elsewhere.offset += 8;
    EXPECT_TRUE(refused({elsewhere}));
    HelperMessage beyond = first;
    beyond.bytes = 4001;
    EXPECT_TRUE(refused({beyond}));
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

// Replies the fuzz target over the reader found accepted or crashing: each must be refused
// with nothing made.
TEST(HelperWire, RepliesTheHostCannotBuildAreRefused) {
    std::vector<unsigned char> section(4096);
    auto directoryWord = [&section](size_t word) -> unsigned char * {
        const size_t directory = section[24] | (section[25] << 8) | (section[26] << 16);
        return &section[directory + 4 * word];
    };
    auto refused = [&section](size_t bytes) {
        bool accepted = true;
        auto result = replay(section, bytes, &accepted);
        EXPECT_FALSE(accepted);
        EXPECT_TRUE(result.created.empty());
    };
    const char *names[] = {"Symbol", "Symbol"};
    size_t needed = 0;

    // A structure naming a field twice: the host would refuse to make it.
    replyBegin(section.data(), section.size());
    WireNode *twice[] = {replyText("a"), replyText("b")};
    WireNode *structure = replyStructure(2, names, twice);
    refused(replyFinish(&structure, 1, &needed));

    // A structure field whose value is "no value": tag, count, then the first name's offset and
    // length come before the first value's tag.
    replyBegin(section.data(), section.size());
    WireNode *once[] = {replyText("a")};
    structure = replyStructure(1, names, once);
    size_t bytes = replyFinish(&structure, 1, &needed);
    std::memset(directoryWord(4), 0, 4);
    refused(bytes);

    // A matrix of 2^31 by 2^30 doubles, whose byte count wraps to 0 in 64 bits.
    replyBegin(section.data(), section.size());
    double *data = nullptr;
    WireNode *matrix = replyMatrix(1, 1, &data);
    bytes = replyFinish(&matrix, 1, &needed);
    const unsigned char rows[] = {0, 0, 0, 0x80}, columns[] = {0, 0, 0, 0x40};
    std::memcpy(directoryWord(1), rows, 4);
    std::memcpy(directoryWord(2), columns, 4);
    refused(bytes);
}

} // namespace
