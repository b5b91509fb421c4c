// Request 5: the bar series of one security as a fixed 75000-by-6 matrix, read block by
// block straight into the result.
#include "bars.h"

#include "feed_link.h"
#include "feed_session.h"
#include "field_readers.h"
#include "host_arrays.h"
#include "inputs.h"
#include "keys.h"
#include "requests.h"

#include <algorithm>

namespace {

// BarRecord: the price-type code of the record, an unsigned value for column 1, four signed
// prices for columns 2 to 5, a signed value for column 6.
constexpr size_t BAR_PRICE_TYPE_OFFSET = 1;
constexpr size_t BAR_COLUMN1_OFFSET = 2;
constexpr size_t BAR_PRICE_OFFSETS[] = {6, 10, 14, 18}; // columns 2 to 5
constexpr size_t BAR_PRICE_COUNT = 4;
constexpr size_t BAR_COLUMN6_OFFSET = 22;

// Decodes the eight records of `block` into rows `row` to `row` + 7 of the column-major
// matrix at `columns`; every record is scaled by the divisor of its own price type.
void decodeBarBlock(const unsigned char *block, double *columns, size_t row) {
    double *column1 = columns + row;
    double *column6 = column1 + (BAR_COLUMNS - 1) * BAR_ROWS;
    for (size_t k = 0; k < BAR_BLOCK_RECORDS; ++k) {
        const unsigned char *record = block + BAR_RECORD_SIZE * k;
        const PriceScale scale = PriceTypeScale(readU8(record, BAR_PRICE_TYPE_OFFSET));
        column1[k] = readU32(record, BAR_COLUMN1_OFFSET);
        for (size_t p = 0; p < BAR_PRICE_COUNT; ++p) {
            column1[(p + 1) * BAR_ROWS + k] =
                applyPriceScale(readI32(record, BAR_PRICE_OFFSETS[p]), scale);
        }
        column6[k] = readI32(record, BAR_COLUMN6_OFFSET);
    }
}

} // namespace

void runBarSeries(RequestCall &call) {
    char symbol[TEXT_BUFFER_SIZE];
    char qualifier[TEXT_BUFFER_SIZE];
    readSecurityTexts(call, 0, symbol, qualifier);
    // The rows of the delivered blocks are decoded into it, the rest zeroed at the end.
    mxArray *result = createUnzeroedMatrix(BAR_ROWS, BAR_COLUMNS);
    double *columns = mxGetPr(result);
    unsigned char key[BAR_KEY_SIZE];
    buildBarKey(key, symbol, qualifier);

    // The security record is opaque here: it goes back unchanged as the key of every block read.
    unsigned char security[SECURITY_RECORD_SIZE + FEED_BUFFER_ROOM] = {};
    readFeed(call, FAILURE_RETRIEVAL, DBA_GET_RECORD, key, security, 0);
    unsigned char block[RECORD_BUFFER_SIZE + FEED_BUFFER_ROOM] = {};
    readFeed(call, FAILURE_RETRIEVAL, DBA_GET_FIRST_BLOCK, security, block, 0);
    decodeBarBlock(block, columns, 0);

    // A nonzero status of the next-block read ends the series, not an error. Which status is
    // the end of the feed's data and which a failure is the feed's to say, so the status goes
    // back to a caller who asks for it.
    size_t row = BAR_BLOCK_RECORDS;
    int32_t endStatus = 0;
    while ((endStatus = feedCall(call.block, DBA_GET_NEXT_BLOCK, security, block, 0)) == 0) {
        if (row + BAR_BLOCK_RECORDS > BAR_ROWS) {
            // A series cut at the last row would look complete; refuse it instead.
            failAttached(call, FAILURE_BAR_CAPACITY, static_cast<int32_t>(BAR_ROWS));
        }
        decodeBarBlock(block, columns, row);
        row += BAR_BLOCK_RECORDS;
    }
    detachFeed(call);
    // The matrix keeps its full size; the rows after the last block hold zeros.
    for (size_t column = 0; column < BAR_COLUMNS; ++column) {
        std::fill(columns + column * BAR_ROWS + row, columns + (column + 1) * BAR_ROWS, 0.0);
    }
    call.outputs[0] = result;
    if (call.outputCount > 1) {
        call.outputs[1] = mxCreateDoubleScalar(static_cast<double>(endStatus));
    }
}
