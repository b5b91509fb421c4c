// Request 6: the fundamentals of each listed security, as one structure of 24 fields.
#include "failures.h"
#include "inputs.h"
#include "keys.h"
#include "records.h"
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

// Text fields: offset and room in the record.
constexpr size_t BASE_ITEM_OFFSET = 26;
constexpr size_t BASE_ITEM_ROOM = 20;
constexpr size_t NAME_OFFSET = 128;
constexpr size_t NAME_ROOM = 48;
constexpr size_t CUSIP_OFFSET = 186;
constexpr size_t CUSIP_ROOM = RECORD_BUFFER_SIZE - CUSIP_OFFSET;

// Numeric fields.
constexpr size_t LAST_UPDATE_OFFSET = 46;
constexpr size_t DIV_FREQ_OFFSET = 48;
constexpr size_t PRICE_TYPE_OFFSET = 54;
constexpr size_t SEC_CATEGORY_OFFSET = 56;
constexpr size_t BETA_OFFSET = 58;
constexpr size_t VOLUME_FLAG_OFFSET = 60;
constexpr size_t DIV_EXPONENT_OFFSET = 64; // shared by DivLast and DivExp
constexpr size_t DIV_LAST_OFFSET = 66;
constexpr size_t DIV_EXP_OFFSET = 70;
constexpr size_t DIV_DATE_OFFSET = 72;
constexpr size_t EXP_DATE_OFFSET = 76;
constexpr size_t RAW_MAT_DATE_OFFSET = 80;
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

bool isDate(int field) {
    return field == DIV_DATE || field == EXP_DATE || field == RAW_MAT_DATE;
}

bool isText(int field) {
    return field == NAME || field == BASE_ITEM || field == CUSIP_NUMBER;
}

double unsigned16(const unsigned char *record, size_t offset) {
    return static_cast<double>(readU16(record, offset));
}

double unsigned32(const unsigned char *record, size_t offset) {
    return static_cast<double>(readU32(record, offset));
}

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

void checkFundamentalsSnapshot(RequestCall &call) {
    // Only the cells of the securities to read are looked at; a count of 0 or less reads none.
    if (call.count > 0) {
        checkSecurityLists(call, call.count);
    }
}

void runFundamentalsSnapshot(RequestCall &call) {
    const size_t rows = snapshotRows(call.count);

    // Every array at its final size before the first read.
    mxArray *arrays[FUNDAMENTALS_FIELD_COUNT];
    double *column[FUNDAMENTALS_FIELD_COUNT] = {};
    for (int field = 0; field < FUNDAMENTALS_FIELD_COUNT; ++field) {
        if (isText(field)) {
            arrays[field] = mxCreateCellMatrix(rows, 1);
        } else {
            arrays[field] = isDate(field) ? mxCreateDoubleMatrix(DATE_ROWS, rows, mxREAL)
                                          : mxCreateDoubleMatrix(rows, 1, mxREAL);
            column[field] = mxGetPr(arrays[field]);
        }
    }

    // Zeroed once, so bytes a feed leaves unwritten decode as zeros, never as stale stack.
    unsigned char record[RECORD_BUFFER_SIZE] = {};
    for (size_t i = 0; i < rows; ++i) {
        readSecurityRecord(call, static_cast<int32_t>(i), record);

        mxSetCell(arrays[NAME], i, recordString(record, NAME_OFFSET, NAME_ROOM));
        mxSetCell(arrays[BASE_ITEM], i, recordString(record, BASE_ITEM_OFFSET, BASE_ITEM_ROOM));
        mxSetCell(arrays[CUSIP_NUMBER], i, recordString(record, CUSIP_OFFSET, CUSIP_ROOM));

        const double divisor = PriceTypeDivisor(readI16(record, PRICE_TYPE_OFFSET));
        const double dividendScale = powerOfTen(record, DIV_EXPONENT_OFFSET);

        column[LAST_UPDATE][i] = unsigned16(record, LAST_UPDATE_OFFSET);
        column[EPS][i] = static_cast<double>(readI16(record, EPS_MANTISSA_OFFSET)) /
                         powerOfTen(record, EPS_EXPONENT_OFFSET);
        column[SP_CODE][i] = unsigned16(record, SP_CODE_OFFSET);
        column[PRICE_TYPE][i] = unsigned16(record, PRICE_TYPE_OFFSET);
        column[SEC_CATEGORY][i] = unsigned16(record, SEC_CATEGORY_OFFSET);
        column[CLOSE_PRICE][i] = scalePrice(readI32(record, CLOSE_PRICE_OFFSET), divisor);
        column[VOLUME][i] = unsigned32(record, VOLUME_OFFSET);
        column[VOLUME_FLAG][i] = unsigned16(record, VOLUME_FLAG_OFFSET);
        column[OPEN_INTEREST][i] = static_cast<double>(readI32(record, OPEN_INTEREST_OFFSET));
        column[HIST_HIGH][i] = scalePrice(readI32(record, HIST_HIGH_OFFSET), divisor);
        column[HIST_LOW][i] = scalePrice(readI32(record, HIST_LOW_OFFSET), divisor);
        column[DIV_EXP][i] = unsigned16(record, DIV_EXP_OFFSET) / dividendScale;
        column[DIV_LAST][i] = unsigned16(record, DIV_LAST_OFFSET) / dividendScale;
        storeDate(column[DIV_DATE] + DATE_ROWS * i, record, DIV_DATE_OFFSET);
        column[DIV_FREQ][i] = unsigned16(record, DIV_FREQ_OFFSET);
        storeDate(column[EXP_DATE] + DATE_ROWS * i, record, EXP_DATE_OFFSET);
        column[OUTSTANDING][i] = unsigned32(record, OUTSTANDING_OFFSET);
        column[BETA][i] = unsigned16(record, BETA_OFFSET) * HUNDREDTH;
        column[SH_PER_CONTR][i] = unsigned32(record, SH_PER_CONTR_OFFSET);
        column[STRIKE_PRICE][i] = scalePrice(readI32(record, STRIKE_PRICE_OFFSET), divisor);
        storeDate(column[RAW_MAT_DATE] + DATE_ROWS * i, record, RAW_MAT_DATE_OFFSET);
    }
    detachFeed(call);

    mxArray *result = mxCreateStructMatrix(1, 1, FUNDAMENTALS_FIELD_COUNT,
                                           const_cast<const char **>(FUNDAMENTALS_FIELDS));
    for (int field = 0; field < FUNDAMENTALS_FIELD_COUNT; ++field) {
        mxSetField(result, 0, FUNDAMENTALS_FIELDS[field], arrays[field]);
    }
    call.outputs[0] = result;
}
