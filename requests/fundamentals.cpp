// Request 6: the fundamentals of each listed security, as one structure of 24 fields.
#include "feed_session.h"
#include "field_readers.h"
#include "inputs.h"
#include "keys.h"
#include "requests.h"
#include "snapshot.h"

#include <cmath>

namespace {

// Output fields, in the order of the structure (and of the name table below).
enum FundamentalsField {
    LAST_UPDATE,
    NAME,
    BASE_ITEM,
    EPS,
    SP_CODE,
    PRICE_TYPE,
    SEC_CATEGORY,
    CLOSE_PRICE,
    VOLUME,
    VOLUME_FLAG,
    OPEN_INTEREST,
    HIST_HIGH,
    HIST_LOW,
    DIV_EXP,
    DIV_LAST,
    DIV_DATE,
    DIV_FREQ,
    EXP_DATE,
    OUTSTANDING,
    BETA,
    SH_PER_CONTR,
    STRIKE_PRICE,
    RAW_MAT_DATE,
    CUSIP_NUMBER,
    FUNDAMENTALS_FIELD_COUNT
};

constexpr const char *FUNDAMENTALS_FIELDS[FUNDAMENTALS_FIELD_COUNT] = {
    "LastUpdate",  "Name",       "BaseItem",   "EPS",         "S&PCode",      "PriceType",
    "SecCategory", "ClosePrice", "Volume",     "VolumeFlag",  "OpenInterest", "HistHigh",
    "HistLow",     "DivExp",     "DivLast",    "DivDate",     "DivFreq",      "ExpDate",
    "Outstanding", "Beta",       "ShPerContr", "StrikePrice", "RawMatDate",   "CusipNumber"};

// FundamentalsRecord: the text fields with their offset and room.
constexpr TextField FUNDAMENTALS_TEXTS[] = {
    {NAME, 128, 48},
    {BASE_ITEM, 26, 20},
    {CUSIP_NUMBER, 186, RECORD_BUFFER_SIZE - 186},
};

// FundamentalsRecord: the dates, four bytes each.
struct DateField {
    int field;
    size_t offset;
};
constexpr DateField FUNDAMENTALS_DATES[] = {
    {DIV_DATE, 72},
    {EXP_DATE, 76},
    {RAW_MAT_DATE, 80},
};

// FundamentalsRecord: the numeric fields.
constexpr size_t LAST_UPDATE_OFFSET = 46;
constexpr size_t DIV_FREQ_OFFSET = 48;
constexpr size_t PRICE_TYPE_OFFSET = 54;
constexpr size_t SEC_CATEGORY_OFFSET = 56;
constexpr size_t BETA_OFFSET = 58;
constexpr size_t VOLUME_FLAG_OFFSET = 60;
constexpr size_t DIV_EXPONENT_OFFSET = 64; // shared by DivLast and DivExp
constexpr size_t DIV_LAST_OFFSET = 66;
constexpr size_t DIV_EXP_OFFSET = 70;
constexpr size_t CLOSE_PRICE_OFFSET = 92;
constexpr size_t HIST_HIGH_OFFSET = 96;
constexpr size_t HIST_LOW_OFFSET = 100;
constexpr size_t VOLUME_OFFSET = 104;
constexpr size_t OPEN_INTEREST_OFFSET = 108;
constexpr size_t OUTSTANDING_OFFSET = 112;
constexpr size_t SH_PER_CONTR_OFFSET = 116;
constexpr size_t STRIKE_PRICE_OFFSET = 120;
constexpr size_t EPS_EXPONENT_OFFSET = 176;
constexpr size_t EPS_MANTISSA_OFFSET = 178;
constexpr size_t SP_CODE_OFFSET = 180;

constexpr double HUNDREDTH = 0.01;
constexpr size_t DATE_ROWS = 3;

// Powers of ten that a double holds exactly; std::pow gives these same values for these
// exponents, so the table changes no result and saves a pow call per scaling.
constexpr double EXACT_POWERS_OF_TEN[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                          1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr size_t EXACT_POWER_COUNT = sizeof EXACT_POWERS_OF_TEN / sizeof EXACT_POWERS_OF_TEN[0];

// 10 to the power of the unsigned exponent word at `offset`.
double powerOfTen(const unsigned char *record, size_t offset) {
    const uint16_t exponent = readU16(record, offset);
    if (exponent < EXACT_POWER_COUNT) {
        return EXACT_POWERS_OF_TEN[exponent];
    }
    return std::pow(10.0, static_cast<double>(exponent));
}

// Four date bytes b0 b1 b2 b3 as one column: b0 * 100 + b1, b2, b3.
void storeDate(double *column, const unsigned char *record, size_t offset) {
    column[0] = readU8(record, offset) * 100.0 + readU8(record, offset + 1);
    column[1] = readU8(record, offset + 2);
    column[2] = readU8(record, offset + 3);
}

} // namespace

void runFundamentalsSnapshot(RequestCall &call) {
    const size_t rows = snapshotRows(call.count);

    // Every field is a column but the texts, which are cells, and the dates, 3-by-rows.
    FieldShape shapes[FUNDAMENTALS_FIELD_COUNT];
    for (FieldShape &shape : shapes) {
        shape = SHAPE_COLUMN;
    }
    for (const TextField &text : FUNDAMENTALS_TEXTS) {
        shapes[text.field] = SHAPE_TEXT;
    }
    for (const DateField &date : FUNDAMENTALS_DATES) {
        shapes[date.field] = SHAPE_DATE;
    }
    mxArray *arrays[FUNDAMENTALS_FIELD_COUNT];
    double *column[FUNDAMENTALS_FIELD_COUNT];
    createSnapshotArrays(shapes, FUNDAMENTALS_FIELD_COUNT, rows, arrays, column);

    // Zeroed once, so bytes a feed leaves unwritten decode as zeros, never as stale stack.
    unsigned char record[RECORD_BUFFER_SIZE + FEED_BUFFER_ROOM] = {};
    for (size_t i = 0; i < rows; ++i) {
        readSecurityRecord(call, static_cast<int32_t>(i), record);

        for (const TextField &text : FUNDAMENTALS_TEXTS) {
            mxSetCell(arrays[text.field], i, recordString(record, text.offset, text.room));
        }

        const PriceScale scale = PriceTypeScale(readI16(record, PRICE_TYPE_OFFSET));
        const double dividendScale = powerOfTen(record, DIV_EXPONENT_OFFSET);

        column[LAST_UPDATE][i] = readU16(record, LAST_UPDATE_OFFSET);
        column[EPS][i] = static_cast<double>(readI16(record, EPS_MANTISSA_OFFSET)) /
                         powerOfTen(record, EPS_EXPONENT_OFFSET);
        column[SP_CODE][i] = readU16(record, SP_CODE_OFFSET);
        column[PRICE_TYPE][i] = readU16(record, PRICE_TYPE_OFFSET);
        column[SEC_CATEGORY][i] = readU16(record, SEC_CATEGORY_OFFSET);
        column[CLOSE_PRICE][i] = applyPriceScale(readI32(record, CLOSE_PRICE_OFFSET), scale);
        column[VOLUME][i] = readU32(record, VOLUME_OFFSET);
        column[VOLUME_FLAG][i] = readU16(record, VOLUME_FLAG_OFFSET);
        column[OPEN_INTEREST][i] = static_cast<double>(readI32(record, OPEN_INTEREST_OFFSET));
        column[HIST_HIGH][i] = applyPriceScale(readI32(record, HIST_HIGH_OFFSET), scale);
        column[HIST_LOW][i] = applyPriceScale(readI32(record, HIST_LOW_OFFSET), scale);
        column[DIV_EXP][i] = readU16(record, DIV_EXP_OFFSET) / dividendScale;
        column[DIV_LAST][i] = readU16(record, DIV_LAST_OFFSET) / dividendScale;
        column[DIV_FREQ][i] = readU16(record, DIV_FREQ_OFFSET);
        column[OUTSTANDING][i] = readU32(record, OUTSTANDING_OFFSET);
        column[BETA][i] = readU16(record, BETA_OFFSET) * HUNDREDTH;
        column[SH_PER_CONTR][i] = readU32(record, SH_PER_CONTR_OFFSET);
        column[STRIKE_PRICE][i] = applyPriceScale(readI32(record, STRIKE_PRICE_OFFSET), scale);
        for (const DateField &date : FUNDAMENTALS_DATES) {
            storeDate(column[date.field] + DATE_ROWS * i, record, date.offset);
        }
    }
    detachFeed(call);

    storeSnapshot(call, FUNDAMENTALS_FIELDS, FUNDAMENTALS_FIELD_COUNT, arrays);
}
