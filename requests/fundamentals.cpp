// Request 6: the fundamentals of each listed security, as one structure of 24 fields.
#include "feed_session.h"
#include "field_readers.h"
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
    {NAME, FUNDAMENTALS_NAME_OFFSET, FUNDAMENTALS_NAME_ROOM},
    {BASE_ITEM, FUNDAMENTALS_BASE_ITEM_OFFSET, FUNDAMENTALS_BASE_ITEM_ROOM},
    {CUSIP_NUMBER, FUNDAMENTALS_CUSIP_OFFSET, FUNDAMENTALS_CUSIP_ROOM},
};

// FundamentalsRecord: the dates, four bytes each.
struct DateField {
    int field;
    size_t offset;
};
constexpr DateField FUNDAMENTALS_DATES[] = {
    {DIV_DATE, FUNDAMENTALS_DIV_DATE_OFFSET},
    {EXP_DATE, FUNDAMENTALS_EXP_DATE_OFFSET},
    {RAW_MAT_DATE, FUNDAMENTALS_MAT_DATE_OFFSET},
};

// FundamentalsRecord: the unsigned 16-bit and 32-bit fields copied as they are.
struct WordField {
    int field;
    size_t offset;
};
constexpr WordField FUNDAMENTALS_WORDS[] = {
    {LAST_UPDATE, FUNDAMENTALS_LAST_UPDATE_OFFSET},
    {SP_CODE, FUNDAMENTALS_SP_CODE_OFFSET},
    {PRICE_TYPE, FUNDAMENTALS_PRICE_TYPE_OFFSET},
    {SEC_CATEGORY, FUNDAMENTALS_SEC_CATEGORY_OFFSET},
    {VOLUME_FLAG, FUNDAMENTALS_VOLUME_FLAG_OFFSET},
    {DIV_FREQ, FUNDAMENTALS_DIV_FREQ_OFFSET},
};
constexpr WordField FUNDAMENTALS_LONGS[] = {
    {VOLUME, FUNDAMENTALS_VOLUME_OFFSET},
    {OUTSTANDING, FUNDAMENTALS_OUTSTANDING_OFFSET},
    {SH_PER_CONTR, FUNDAMENTALS_SH_PER_CONTR_OFFSET},
};

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
    column[0] =
        readU8(record, offset + DATE_CENTURY_AT) * 100.0 + readU8(record, offset + DATE_YEAR_AT);
    column[1] = readU8(record, offset + DATE_MONTH_AT);
    column[2] = readU8(record, offset + DATE_DAY_AT);
}

} // namespace

void runFundamentalsSnapshot(RequestCall &call) {
    // Every field is a column but the texts and the dates, 3-by-rows.
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
    SnapshotArrays out;
    createSnapshotArrays(call, shapes, FUNDAMENTALS_FIELD_COUNT, out);
    double *const *column = out.columns;

    // A batch of records at a time, decoded field by field across the batch (see snapshot.h).
    SnapshotBatch batch;
    for (size_t first = 0; first < out.rows; first += SNAPSHOT_BATCH_ROWS) {
        readSnapshotBatch(call, first, batch, out);
        const size_t n = batch.count;
        for (size_t j = 0; j < n; ++j) {
            if (!batch.read[j]) {
                continue;
            }
            for (const TextField &text : FUNDAMENTALS_TEXTS) {
                setRecordText(out.arrays[text.field], first + j, batch.record(j), text.offset,
                              text.room);
            }
        }

        for (size_t j = 0; j < n; ++j) {
            const unsigned char *record = batch.record(j);
            const size_t i = first + j;
            const PriceScale scale =
                PriceTypeScale(readI16(record, FUNDAMENTALS_PRICE_TYPE_OFFSET));
            column[CLOSE_PRICE][i] =
                applyPriceScale(readI32(record, FUNDAMENTALS_CLOSE_PRICE_OFFSET), scale);
            column[HIST_HIGH][i] =
                applyPriceScale(readI32(record, FUNDAMENTALS_HIST_HIGH_OFFSET), scale);
            column[HIST_LOW][i] =
                applyPriceScale(readI32(record, FUNDAMENTALS_HIST_LOW_OFFSET), scale);
            column[STRIKE_PRICE][i] =
                applyPriceScale(readI32(record, FUNDAMENTALS_STRIKE_PRICE_OFFSET), scale);
        }
        for (size_t j = 0; j < n; ++j) {
            const unsigned char *record = batch.record(j);
            const size_t i = first + j;
            const double dividendScale = powerOfTen(record, FUNDAMENTALS_DIV_EXPONENT_OFFSET);
            column[DIV_EXP][i] = readU16(record, FUNDAMENTALS_DIV_EXP_OFFSET) / dividendScale;
            column[DIV_LAST][i] = readU16(record, FUNDAMENTALS_DIV_LAST_OFFSET) / dividendScale;
            column[EPS][i] =
                static_cast<double>(readI16(record, FUNDAMENTALS_EPS_MANTISSA_OFFSET)) /
                powerOfTen(record, FUNDAMENTALS_EPS_EXPONENT_OFFSET);
            column[BETA][i] = readU16(record, FUNDAMENTALS_BETA_OFFSET) * HUNDREDTH;
            column[OPEN_INTEREST][i] =
                static_cast<double>(readI32(record, FUNDAMENTALS_OPEN_INTEREST_OFFSET));
        }
        for (const WordField &word : FUNDAMENTALS_WORDS) {
            double *values = column[word.field] + first;
            for (size_t j = 0; j < n; ++j) {
                values[j] = readU16(batch.record(j), word.offset);
            }
        }
        for (const WordField &value : FUNDAMENTALS_LONGS) {
            double *values = column[value.field] + first;
            for (size_t j = 0; j < n; ++j) {
                values[j] = readU32(batch.record(j), value.offset);
            }
        }
        for (const DateField &date : FUNDAMENTALS_DATES) {
            for (size_t j = 0; j < n; ++j) {
                storeDate(column[date.field] + DATE_ROWS * (first + j), batch.record(j),
                          date.offset);
            }
        }
        markUnreadRows(batch, out);
    }
    detachFeed(call);
    storeSnapshot(call, FUNDAMENTALS_FIELDS, out);
}
