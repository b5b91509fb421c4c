// Request 2: rows, shapes and call sequence; every conversion at the values where it can go
// wrong; failures while reading and at the closing detach.
#include "harness.h"

#include <cmath>

namespace {

using expected::QUOTE_FIELDS;

class QuoteSnapshot : public ModuleTest {
  protected:
    // Requests `n` securities named S0, S1, ... with qualifiers Q0, Q1, ...
    mxhost::CallResult quote(double n, size_t listed) {
        std::vector<std::string> symbols, qualifiers;
        for (size_t i = 0; i < listed; ++i) {
            symbols.push_back("S" + std::to_string(i));
            qualifiers.push_back("Q" + std::to_string(i));
        }
        return run(inputs(num(2), num(7), num(n), cells(symbols), cells(qualifiers)));
    }
    // One call reading the given records, which must succeed.
    mxhost::CallResult quoteOf(const std::vector<RecordBytes> &records) {
        for (const RecordBytes &record : records) {
            scripted::answer(DBA_GET_RECORD, 0, record.bytes);
        }
        auto result = quote(static_cast<double>(records.size()), records.size());
        EXPECT_FALSE(result.raised) << result.message;
        return result;
    }
};

TEST_F(QuoteSnapshot, ThreeSecuritiesFillRowsInInputOrder) {
    std::vector<RecordBytes> records(3);
    for (size_t i = 0; i < 3; ++i) {
        records[i]
            .text(2, "SYM" + std::to_string(i))
            .text(36, "P" + std::to_string(i))
            .u16(24, 2) // divisor 1
            .i32(44, static_cast<int32_t>(100 + i))
            .u32(164, static_cast<uint32_t>(10 + i))
            .u32(168, static_cast<uint32_t>(20 + i))
            .text(124, "A" + std::to_string(i));
    }
    auto result = quoteOf(records);
    EXPECT_EQ(scripted::operations(),
              (Ops{DBA_ATTACH, DBA_GET_RECORD, DBA_GET_RECORD, DBA_GET_RECORD, DBA_DETACH}));
    EXPECT_EQ(scripted::calls()[0].parameter, 7);
    for (size_t i = 0; i < 3; ++i) {
        const auto &read = scripted::calls()[1 + i];
        EXPECT_EQ(read.parameter, 0);
        EXPECT_EQ(keyText(read.key, 0, 18), std::string(2, '\0') + "S" + std::to_string(i) +
                                                std::string(10, ' ') + "Q" + std::to_string(i) +
                                                "  ");
        EXPECT_EQ(textAt(result, "Symbol", i), "SYM" + std::to_string(i));
        EXPECT_EQ(textAt(result, "PrimaryExchange", i), "P" + std::to_string(i));
        EXPECT_EQ(textAt(result, "AskExchange", i), "A" + std::to_string(i));
        EXPECT_EQ(at(result, "LastPrice", i), 100.0 + static_cast<double>(i));
    }
    const mxArray *s = result.output();
    ASSERT_EQ(expected::structureMismatch(s, QUOTE_FIELDS, 3), "");
    // Column-major: column 1 in elements 0 to 2, column 2 in 3 to 5.
    const double *range = mxGetPr(mxGetField(s, 0, "CloseRange"));
    EXPECT_EQ(std::vector<double>(range, range + 6), (std::vector<double>{10, 11, 12, 20, 21, 22}));
    EXPECT_EQ(scripted::openAttachments(), 0);
}

TEST_F(QuoteSnapshot, PricesUseTheDivisorOfTheirOwnRecord) {
    struct Case {
        unsigned code;
        int32_t raw;
        double price;
    };
    const std::vector<Case> cases = {
        {12, 12345, 123.45}, {1, 96, 1.5},         {0, 384, 1.5},      {2, 7, 7.0},
        {16, 77, 77.0},      {0x8005, 512, 512.0}, {0xFFFF, -3, -3.0}, {13, -12345, -12.345},
    };
    std::vector<RecordBytes> records;
    for (const Case &c : cases) {
        RecordBytes record;
        record.u16(24, c.code);
        for (size_t group = 44; group <= 116; group += 12) {
            record.i32(group, c.raw);
        }
        records.push_back(record);
    }
    auto result = quoteOf(records);
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(at(result, "PriceType", i), static_cast<double>(cases[i].code));
        for (const char *field : {"LastPrice", "OpenPrice", "HighPrice", "LowPrice",
                                  "YesterdayPrice", "BidPrice", "AskPrice"}) {
            EXPECT_DOUBLE_EQ(at(result, field, i), cases[i].price) << field << " row " << i;
        }
    }
}

TEST_F(QuoteSnapshot, SizesAndCodesAreUnsignedAndNeverScaled) {
    RecordBytes record;
    record.u16(24, 12); // divisor 100, which no size may see
    const std::vector<std::pair<size_t, const char *>> sizes = {
        {48, "LastSize"},      {60, "OpenSize"}, {72, "HighSize"},
        {84, "LowSize"},       {108, "BidSize"}, {120, "AskSize"},
        {152, "OpenInterest"}, {156, "Volume"},  {160, "OpenRange"}};
    for (const auto &size : sizes) {
        record.u32(size.first, 0x80000000u);
    }
    record.u32(164, 0xFFFFFFFFu).u32(168, 0x80000001u);
    record.u16(26, 0xFFFF).u16(38, 0x8000).u16(172, 0x8001);
    auto result = quoteOf({record});
    for (const auto &size : sizes) {
        EXPECT_EQ(at(result, size.second), 2147483648.0) << size.second;
    }
    EXPECT_EQ(at(result, "CloseRange", 0), 4294967295.0);
    EXPECT_EQ(at(result, "CloseRange", 1), 2147483649.0);
    EXPECT_EQ(at(result, "SecCategory"), 65535.0);
    EXPECT_EQ(at(result, "QuoteIndicator"), 32768.0);
    EXPECT_EQ(at(result, "TradeIndicator"), 32769.0);
}

TEST_F(QuoteSnapshot, TimesAreFractionsOfADayOrTheMinutesWhenNegative) {
    struct Case {
        unsigned hours, minutes;
        double value;
    };
    const std::vector<Case> cases = {
        {9, 30, 19.0 / 48},
        {0, 0, 0.0},
        {255, 255, -1.0},
        {255, 30, 30.0},
        {0, 255, -1.0},
        {5, 255, 5.0 / 24 - 1.0 / 1440},
        {23, 59, 23.0 / 24 + 59.0 / 1440},
        {128, 0, 0.0},
    };
    const std::vector<std::pair<size_t, const char *>> times = {
        {54, "LastPriceTime"}, {66, "OpenPriceTime"}, {78, "HighPriceTime"},
        {90, "LowPriceTime"},  {114, "BidPriceTime"}, {126, "AskPriceTime"}};
    std::vector<RecordBytes> records;
    for (const Case &c : cases) {
        RecordBytes record;
        for (const auto &time : times) {
            record.u8(time.first, c.hours).u8(time.first + 1, c.minutes);
        }
        records.push_back(record);
    }
    auto result = quoteOf(records);
    for (size_t i = 0; i < cases.size(); ++i) {
        for (const auto &time : times) {
            EXPECT_DOUBLE_EQ(at(result, time.second, i), cases[i].value)
                << time.second << " bytes " << cases[i].hours << "," << cases[i].minutes;
        }
    }
}

TEST_F(QuoteSnapshot, EachTickPairDecodesOnItsOwn) {
    struct Case {
        unsigned word;
        double last, open, yesterday, bid, ask;
    };
    const std::vector<Case> cases = {
        {0x8000, -1, 0, 0, 0, 0},  {0x4000, 1, 0, 0, 0, 0},  {0xC000, -1, 0, 0, 0, 0},
        {0x8100, -1, 0, 0, 1, 0},  {0x1000, 0, 1, 0, 0, 0},  {0x0800, 0, 0, -1, 0, 0},
        {0x0400, 0, 0, 1, 0, 0},   {0x0300, 0, 0, 0, -1, 0}, {0x0080, 0, 0, 0, 0, -1},
        {0x0040, 0, 0, 0, 0, 1},   {0x00C0, 0, 0, 0, 0, -1}, {0x013F, 0, 0, 0, 1, 0},
        {0x6840, 1, -1, -1, 0, 1},
    };
    std::vector<RecordBytes> records;
    for (const Case &c : cases) {
        records.push_back(RecordBytes().u16(28, c.word));
    }
    auto result = quoteOf(records);
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case &c = cases[i];
        EXPECT_EQ(at(result, "LastTick", i), c.last) << std::hex << c.word;
        EXPECT_EQ(at(result, "OpenTick", i), c.open) << std::hex << c.word;
        EXPECT_EQ(at(result, "YesterdayTick", i), c.yesterday) << std::hex << c.word;
        EXPECT_EQ(at(result, "BidTick", i), c.bid) << std::hex << c.word;
        EXPECT_EQ(at(result, "AskTick", i), c.ask) << std::hex << c.word;
    }
}

TEST_F(QuoteSnapshot, FlagsAreSingleBitsOfTheFlagWord) {
    struct Case {
        unsigned word;
        double status, news, exDividend, split;
    };
    const std::vector<Case> cases = {
        {0x0020, 1, 0, 0, 0}, {0x0040, 0, 1, 0, 0}, {0x4000, 0, 0, 1, 0},
        {0x8000, 0, 0, 0, 1}, {0xC000, 0, 0, 1, 1}, {0x3F9F, 0, 0, 0, 0},
    };
    std::vector<RecordBytes> records;
    for (const Case &c : cases) {
        records.push_back(RecordBytes().u16(22, c.word));
    }
    auto result = quoteOf(records);
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(at(result, "Status", i), cases[i].status) << std::hex << cases[i].word;
        EXPECT_EQ(at(result, "News", i), cases[i].news) << std::hex << cases[i].word;
        EXPECT_EQ(at(result, "ExDividendToday", i), cases[i].exDividend);
        EXPECT_EQ(at(result, "SplitToday", i), cases[i].split);
    }
}

TEST_F(QuoteSnapshot, TextsStopAtTheirRoomOrFirstZeroByte) {
    RecordBytes full;
    for (size_t i = 0; i < 260; ++i) {
        full.u8(i, static_cast<unsigned>('a' + i % 26));
    }
    RecordBytes empty; // every text starts with a zero byte
    auto result = quoteOf({full, empty});
    EXPECT_EQ(textAt(result, "Symbol"), "cdefghijklmnopqrstuv");
    EXPECT_EQ(textAt(result, "PrimaryExchange"), "kl");
    EXPECT_EQ(textAt(result, "LastExchange"), "ab");
    EXPECT_EQ(textAt(result, "YesterdayExchange"), "wx");
    EXPECT_EQ(textAt(result, "AskExchange"), "uv");
    for (const expected::Field &field : QUOTE_FIELDS) {
        if (field.shape == expected::Shape::Texts) {
            EXPECT_EQ(textAt(result, field.name, 1), "") << field.name;
        }
    }
}

TEST_F(QuoteSnapshot, ZeroOrNegativeCountGivesEmptyFieldsWithoutReading) {
    for (double n : {0.0, -3.0}) {
        scripted::reset();
        auto result = quote(n, 0);
        ASSERT_FALSE(result.raised) << result.message;
        EXPECT_EQ(scripted::operations(), (Ops{DBA_ATTACH, DBA_DETACH}));
        EXPECT_EQ(expected::structureMismatch(result.output(), QUOTE_FIELDS, 0), "") << n;
    }
}

TEST_F(QuoteSnapshot, FailedReadDetachesAndRaisesWithoutOutput) {
    scripted::answer(DBA_GET_RECORD, 0, RecordBytes().bytes);
    scripted::answer(DBA_GET_RECORD, -42);
    auto result = quote(3, 3);
    ASSERT_TRUE(raisedWith(result, expected::RETRIEVAL_FAILED, -42));
    EXPECT_EQ(scripted::operations(),
              (Ops{DBA_ATTACH, DBA_GET_RECORD, DBA_GET_RECORD, DBA_DETACH}));
    EXPECT_EQ(keyText(scripted::calls()[2].key, 2, 2), "S1");
    EXPECT_EQ(scripted::openAttachments(), 0);
}

TEST_F(QuoteSnapshot, FailedClosingDetachRaisesWithoutOutput) {
    scripted::answer(DBA_DETACH, 8);
    EXPECT_TRUE(raisedWith(quote(1, 1), expected::DETACH_FAILED, 8));
    EXPECT_EQ(scripted::operations(), (Ops{DBA_ATTACH, DBA_GET_RECORD, DBA_DETACH}));
}

} // namespace
