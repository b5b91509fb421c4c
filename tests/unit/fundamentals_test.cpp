// Request 6: rows, date columns and call sequence; scaled prices, decimal exponents,
// hundredths and unsigned words; bounded texts; failures.
#include "harness.h"

namespace {

using expected::FUNDAMENTALS_FIELDS;

class FundamentalsSnapshot : public ModuleTest {
  protected:
    mxhost::CallResult fundamentals(double n, size_t listed) {
        std::vector<std::string> symbols, qualifiers;
        for (size_t i = 0; i < listed; ++i) {
            symbols.push_back("F" + std::to_string(i));
            qualifiers.push_back(i % 2 == 0 ? "" : "X");
        }
        return run(inputs(num(6), num(3), num(n), cells(symbols), cells(qualifiers)));
    }
    mxhost::CallResult fundamentalsOf(const std::vector<RecordBytes> &records) {
        for (const RecordBytes &record : records) {
            scripted::answer(DBA_GET_RECORD, 0, record.bytes);
        }
        auto result = fundamentals(static_cast<double>(records.size()), records.size());
        EXPECT_FALSE(result.raised) << result.message;
        return result;
    }
};

std::vector<double> valuesOf(const mxhost::CallResult &result, const char *field) {
    const double *values = mxGetPr(mxGetField(result.output(), 0, field));
    return std::vector<double>(
        values, values + mxGetNumberOfElements(mxGetField(result.output(), 0, field)));
}

TEST_F(FundamentalsSnapshot, ThreeSecuritiesGiveRowsAndDateColumnsInInputOrder) {
    std::vector<RecordBytes> records(3);
    for (unsigned i = 0; i < 3; ++i) {
        records[i]
            .text(26, "BASE" + std::to_string(i))
            .text(128, "Name " + std::to_string(i))
            .text(186, "CUSIP" + std::to_string(i))
            .u16(46, 40 + i)
            .u8(72, 20)
            .u8(73, i)
            .u8(74, 6)
            .u8(75, 30 + i)
            .u8(76, 19)
            .u8(77, 99)
            .u8(78, 12)
            .u8(79, 31)
            .u8(80, 255)
            .u8(81, 255)
            .u8(82, 255)
            .u8(83, 255 - i);
    }
    auto result = fundamentalsOf(records);
    EXPECT_EQ(scripted::operations(),
              (Ops{DBA_ATTACH, DBA_GET_RECORD, DBA_GET_RECORD, DBA_GET_RECORD, DBA_DETACH}));
    EXPECT_EQ(keyText(scripted::calls()[1].key, 0, 18),
              std::string(2, '\0') + "F0" + std::string(14, ' '));
    EXPECT_EQ(keyText(scripted::calls()[2].key, 2, 16), "F1" + std::string(10, ' ') + "X   ");
    EXPECT_EQ(keyText(scripted::calls()[3].key, 2, 2), "F2");
    ASSERT_EQ(expected::structureMismatch(result.output(), FUNDAMENTALS_FIELDS, 3), "");
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(textAt(result, "BaseItem", i), "BASE" + std::to_string(i));
        EXPECT_EQ(textAt(result, "Name", i), "Name " + std::to_string(i));
        EXPECT_EQ(textAt(result, "CusipNumber", i), "CUSIP" + std::to_string(i));
    }
    EXPECT_EQ(valuesOf(result, "LastUpdate"), (std::vector<double>{40, 41, 42}));
    // One column per security, its three rows adjacent.
    EXPECT_EQ(valuesOf(result, "DivDate"),
              (std::vector<double>{2000, 6, 30, 2001, 6, 31, 2002, 6, 32}));
    EXPECT_EQ(valuesOf(result, "ExpDate"),
              (std::vector<double>{1999, 12, 31, 1999, 12, 31, 1999, 12, 31}));
    EXPECT_EQ(valuesOf(result, "RawMatDate"),
              (std::vector<double>{25755, 255, 255, 25755, 255, 254, 25755, 255, 253}));
    EXPECT_EQ(scripted::openAttachments(), 0);
}

TEST_F(FundamentalsSnapshot, FourPricesUseTheRecordsDivisorAndOthersStayRaw) {
    struct Case {
        unsigned code;
        int32_t raw;
        double price;
    };
    const std::vector<Case> cases = {{0, 512, 2.0},      {8, 512, 2.0},    {12, 12345, 123.45},
                                     {16, 99, 99.0},     {0x8000, 7, 7.0}, {0xFFFF, -5, -5.0},
                                     {15, -150000, -1.5}};
    std::vector<RecordBytes> records;
    for (const Case &c : cases) {
        records.push_back(RecordBytes()
                              .u16(54, c.code)
                              .i32(92, c.raw)
                              .i32(96, c.raw)
                              .i32(100, c.raw)
                              .i32(120, c.raw)
                              .i32(108, c.raw));
    }
    auto result = fundamentalsOf(records);
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(at(result, "PriceType", i), static_cast<double>(cases[i].code));
        for (const char *field : {"ClosePrice", "HistHigh", "HistLow", "StrikePrice"}) {
            EXPECT_DOUBLE_EQ(at(result, field, i), cases[i].price) << field << " " << i;
        }
        EXPECT_EQ(at(result, "OpenInterest", i), static_cast<double>(cases[i].raw));
    }
}

TEST_F(FundamentalsSnapshot, ExponentsHundredthsAndUnsignedWords) {
    RecordBytes first;
    first.u16(176, 2).u16(178, static_cast<uint16_t>(-150)); // EPS -1.5
    first.u16(64, 0).u16(66, 65535).u16(68, 9999).u16(70, 250);
    first.u16(58, 125);
    first.u32(104, 0xFFFFFFFFu).u32(108, 0xFFFFFFFFu).u32(112, 0xFFFFFFFFu).u32(116, 0xFFFFFFFFu);
    first.u16(46, 0xFFFF).u16(48, 0x8000).u16(56, 0x8001).u16(60, 0xFFFE).u16(180, 0x8002);
    // Only the shared dividend exponent and the EPS words differ.
    RecordBytes second = first;
    second.u16(64, 2).u16(176, 3).u16(178, 0x8000);
    auto result = fundamentalsOf({first, second});

    EXPECT_EQ(valuesOf(result, "EPS"), (std::vector<double>{-1.5, -32.768}));
    EXPECT_EQ(valuesOf(result, "DivLast"), (std::vector<double>{65535.0, 655.35}));
    EXPECT_EQ(valuesOf(result, "DivExp"), (std::vector<double>{250.0, 2.5}));
    EXPECT_EQ(at(result, "Beta"), 1.25);
    for (const char *field : {"Volume", "Outstanding", "ShPerContr"}) {
        EXPECT_EQ(at(result, field), 4294967295.0) << field;
    }
    EXPECT_EQ(at(result, "OpenInterest"), -1.0);
    EXPECT_EQ(at(result, "LastUpdate"), 65535.0);
    EXPECT_EQ(at(result, "DivFreq"), 32768.0);
    EXPECT_EQ(at(result, "SecCategory"), 32769.0);
    EXPECT_EQ(at(result, "VolumeFlag"), 65534.0);
    EXPECT_EQ(at(result, "S&PCode"), 32770.0);
}

TEST_F(FundamentalsSnapshot, TextsStopAtTheirRoomOrFirstZeroByte) {
    RecordBytes full;
    for (size_t i = 0; i < 260; ++i) {
        full.u8(i, 'A' + static_cast<unsigned>(i % 26));
    }
    auto result = fundamentalsOf({full, RecordBytes()});
    std::string alphabet;
    for (size_t i = 0; i < 260; ++i) {
        alphabet += static_cast<char>('A' + i % 26);
    }
    EXPECT_EQ(textAt(result, "BaseItem"), alphabet.substr(26, 20));
    EXPECT_EQ(textAt(result, "Name"), alphabet.substr(128, 48));
    EXPECT_EQ(textAt(result, "CusipNumber"), alphabet.substr(186, 74));
    for (const char *field : {"BaseItem", "Name", "CusipNumber"}) {
        EXPECT_EQ(textAt(result, field, 1), "") << field;
    }
}

TEST_F(FundamentalsSnapshot, ZeroOrNegativeCountGivesEmptyFieldsWithoutReading) {
    for (double n : {0.0, -1.0}) {
        scripted::reset();
        auto result = fundamentals(n, 0);
        ASSERT_FALSE(result.raised) << result.message;
        EXPECT_EQ(scripted::operations(), (Ops{DBA_ATTACH, DBA_DETACH}));
        EXPECT_EQ(expected::structureMismatch(result.output(), FUNDAMENTALS_FIELDS, 0), "") << n;
    }
}

TEST_F(FundamentalsSnapshot, FailedReadDetachesAndRaisesWithoutOutput) {
    scripted::answer(DBA_GET_RECORD, 0, RecordBytes().bytes);
    scripted::answer(DBA_GET_RECORD, 1234);
    auto result = fundamentals(3, 3);
    ASSERT_TRUE(raisedWith(result, expected::RETRIEVAL_FAILED, 1234));
    EXPECT_EQ(scripted::operations(),
              (Ops{DBA_ATTACH, DBA_GET_RECORD, DBA_GET_RECORD, DBA_DETACH}));
    EXPECT_EQ(scripted::openAttachments(), 0);
}

TEST_F(FundamentalsSnapshot, FailedClosingDetachRaisesWithoutOutput) {
    scripted::answer(DBA_DETACH, -9);
    EXPECT_TRUE(raisedWith(fundamentals(2, 2), expected::DETACH_FAILED, -9));
    EXPECT_EQ(scripted::operations(),
              (Ops{DBA_ATTACH, DBA_GET_RECORD, DBA_GET_RECORD, DBA_DETACH}));
}

} // namespace
