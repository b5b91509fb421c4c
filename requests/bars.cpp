// Request 5: the bar series of one security as a fixed 75000-by-6 matrix, read block by
// block straight into the result.
#include "feed_link.h"
#include "feed_session.h"
#include "field_readers.h"
#include "keys.h"
#include "requests.h"

#include <algorithm>

namespace {

// The four prices of a bar record, columns 2 to 5.
constexpr size_t BAR_PRICE_OFFSETS[] = {BAR_OPEN_OFFSET, BAR_HIGH_OFFSET, BAR_LOW_OFFSET,
                                        BAR_CLOSE_OFFSET};
constexpr size_t BAR_PRICE_COUNT = 4;

// Decodes the eight records of `block` into rows `row` to `row` + 7 of the column-major
// matrix at `columns`; every record is scaled by the divisor of its own price type.
void decodeBarBlock(const unsigned char *block, double *columns, size_t row) {
    double *stamp = columns + BAR_STAMP * BAR_ROWS + row;
    double *volume = columns + BAR_VOLUME * BAR_ROWS + row;
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

void runBarSeries(RequestCall &call) {
    const SecurityText &security = call.inputs.securities.items[0];
    // The rows of the delivered blocks are decoded into it, the rest zeroed at the end.
    double *columns = nullptr;
    ResultArray *result = resultMatrix(BAR_ROWS, BAR_COLUMN_COUNT, MATRIX_UNZEROED, &columns);
    unsigned char key[BAR_KEY_SIZE];
    buildBarKey(key, security.symbol, security.qualifier);

    // The security record is opaque here: it goes back unchanged as the key of every block read.
    unsigned char record[SECURITY_RECORD_SIZE + FEED_BUFFER_ROOM] = {};
    readFeed(call, FAILURE_RETRIEVAL, DBA_GET_RECORD, key, record, 0);
    unsigned char block[BAR_BLOCK_BUFFER_SIZE + FEED_BUFFER_ROOM] = {};
    readFeed(call, FAILURE_RETRIEVAL, DBA_GET_FIRST_BLOCK, record, block, 0);
    decodeBarBlock(block, columns, 0);

    // A nonzero status of the next-block read ends the series, not an error. Which status is
    // the end of the feed's data and which a failure is the feed's to say, so the status goes
    // back to a caller who asks for it.
    size_t row = BAR_BLOCK_RECORDS;
    int32_t endStatus = 0;
    while ((endStatus = feedCall(call.block, DBA_GET_NEXT_BLOCK, record, block, 0)) == 0) {
        if (row + BAR_BLOCK_RECORDS > BAR_ROWS) {
            // A series cut at the last row would look complete; refuse it instead.
            failAttached(call, FAILURE_BAR_CAPACITY, static_cast<int32_t>(BAR_ROWS));
        }
        decodeBarBlock(block, columns, row);
        row += BAR_BLOCK_RECORDS;
    }
    detachFeed(call);
    // The matrix keeps its full size; the rows after the last block hold zeros.
    for (size_t column = 0; column < BAR_COLUMN_COUNT; ++column) {
        std::fill(columns + column * BAR_ROWS + row, columns + (column + 1) * BAR_ROWS, 0.0);
    }
    call.outputs[0] = result;
    if (call.outputCount > 1) {
        call.outputs[1] = resultScalar(static_cast<double>(endStatus));
    }
}
