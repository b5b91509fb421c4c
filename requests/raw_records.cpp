#include "raw_records.h"

#include "field_readers.h"
#include "history.h"
#include "keys.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t HISTORY_MOST_BLOCKS =
    static_cast<size_t>(HISTORY_CAPACITY) / HISTORY_BLOCK_RECORDS;
constexpr RawRecordsLayout HISTORY_BLOCKS_LAYOUT = {HISTORY_BLOCK_SIZE, HISTORY_BLOCK_RECORDS,
                                                    HISTORY_COLUMN_COUNT, 0, HISTORY_MOST_BLOCKS};
constexpr RawRecordsLayout BAR_BLOCKS_LAYOUT = {BAR_BLOCK_SIZE, BAR_BLOCK_RECORDS, BAR_COLUMN_COUNT,
                                                BAR_ROWS, BAR_MAX_BLOCKS};

// The history's blocks as the feed delivered them, until the scan has ended.
unsigned char HistoryBlocks[HISTORY_MOST_BLOCKS][HISTORY_BLOCK_SIZE];

// The decode under way.
struct RawDecode {
    RawRecords kind;
    size_t records;
    ResultArray *matrix; // a bar series' from the start
    double *data;
};
RawDecode current;

// The kept history blocks into their rows-by-7 matrix: each block's records filed from the
// last to the first.
void decodeHistoryBlocks(size_t count, double *out) {
    const size_t rows = count * HISTORY_BLOCK_RECORDS;
    double *day = out + HISTORY_DAY * rows;
    double *price = out + HISTORY_PRICE * rows;
    double *size = out + HISTORY_SIZE * rows;
    double *hour = out + HISTORY_HOUR * rows;
    double *minute = out + HISTORY_MINUTE * rows;
    double *second = out + HISTORY_SECOND * rows;
    double *condition = out + HISTORY_CONDITION * rows;
    for (size_t b = 0; b < count; ++b) {
        const unsigned char *records = HistoryBlocks[b];
        const PriceScale scale = PriceTypeScale(readU8(records, HISTORY_PRICE_TYPE_OFFSET));
        const size_t first = b * HISTORY_BLOCK_RECORDS;
        for (size_t k = 0; k < HISTORY_BLOCK_RECORDS; ++k) {
            const unsigned char *record = records + HISTORY_RECORD_SIZE * historyRecordOfRow(k);
            const size_t row = first + k;
            day[row] = readU8(record, HISTORY_DAY_OFFSET);
            price[row] = applyPriceScale(readI32(record, HISTORY_PRICE_OFFSET), scale);
            size[row] = readU32(record, HISTORY_SIZE_OFFSET);
            hour[row] = readU8(record, HISTORY_HOUR_OFFSET);
            minute[row] = readU8(record, HISTORY_MINUTE_OFFSET);
            second[row] = readU8(record, HISTORY_SECOND_OFFSET);
            condition[row] = readU8(record, HISTORY_CONDITION_OFFSET);
        }
    }
}

// The four prices of a bar record, columns 2 to 5.
constexpr size_t BAR_PRICE_OFFSETS[] = {BAR_OPEN_OFFSET, BAR_HIGH_OFFSET, BAR_LOW_OFFSET,
                                        BAR_CLOSE_OFFSET};
constexpr size_t BAR_PRICE_COUNT = 4;

// One bar block into rows `row` to `row` + 7 of the fixed BAR_ROWS-row matrix at `out`.
void decodeBarBlock(const unsigned char *block, double *out, size_t row) {
    double *stamp = out + BAR_STAMP * BAR_ROWS + row;
    double *volume = out + BAR_VOLUME * BAR_ROWS + row;
    for (size_t k = 0; k < BAR_BLOCK_RECORDS; ++k) {
        const unsigned char *record = block + BAR_RECORD_SIZE * k;
        const PriceScale scale = PriceTypeScale(readU8(record, BAR_PRICE_TYPE_OFFSET));
        stamp[k] = readU32(record, BAR_STAMP_OFFSET);
        for (size_t p = 0; p < BAR_PRICE_COUNT; ++p) {
            stamp[(BAR_OPEN + p) * BAR_ROWS + k] =
                applyPriceScale(readI32(record, BAR_PRICE_OFFSETS[p]), scale);
        }
        volume[k] = readI32(record, BAR_VOLUME_OFFSET);
    }
}

} // namespace

const RawRecordsLayout *rawRecordsLayout(uint32_t kind) {
    switch (kind) {
    case RAW_HISTORY_BLOCKS:
        return &HISTORY_BLOCKS_LAYOUT;
    case RAW_BAR_BLOCKS:
        return &BAR_BLOCKS_LAYOUT;
    default:
        return nullptr;
    }
}

void rawDecodeBegin(RawRecords kind) {
    current = RawDecode{kind, 0, nullptr, nullptr};
    if (kind == RAW_BAR_BLOCKS) {
        // Written whole: the blocks as they come, then the zeros after them.
        current.matrix = resultMatrix(BAR_ROWS, BAR_COLUMN_COUNT, MATRIX_UNZEROED, &current.data);
    }
}

void rawDecodeAppend(const unsigned char *record) {
    if (current.kind == RAW_BAR_BLOCKS) {
        if (current.records < BAR_MAX_BLOCKS) {
            decodeBarBlock(record, current.data, current.records * BAR_BLOCK_RECORDS);
            ++current.records;
        }
    } else if (current.records < HISTORY_MOST_BLOCKS) {
        std::memcpy(HistoryBlocks[current.records], record, HISTORY_BLOCK_SIZE);
        ++current.records;
    }
}

ResultArray *rawDecodeEnd() {
    if (current.kind == RAW_BAR_BLOCKS) {
        // The matrix keeps its full size; the rows after the last block hold zeros (all bits
        // zero is 0.0, and one memset per column is quicker than a loop over doubles).
        const size_t row = current.records * BAR_BLOCK_RECORDS;
        for (size_t column = 0; column < BAR_COLUMN_COUNT; ++column) {
            std::memset(current.data + column * BAR_ROWS + row, 0,
                        (BAR_ROWS - row) * sizeof(double));
        }
        return current.matrix;
    }
    // Written whole by the decode.
    double *data = nullptr;
    ResultArray *matrix = resultMatrix(current.records * HISTORY_BLOCK_RECORDS,
                                       HISTORY_COLUMN_COUNT, MATRIX_UNZEROED, &data);
    decodeHistoryBlocks(current.records, data);
    return matrix;
}
