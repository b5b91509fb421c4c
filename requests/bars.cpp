// Request 5: the bar series of one security as a fixed 75000-by-6 matrix, read block by
// block straight into the result.
#include "bars.h"

#include "failures.h"
#include "feed_link.h"
#include "inputs.h"
#include "keys.h"
#include "records.h"
#include "requests.h"

namespace {

// Decodes the eight records of `block` into rows `row` to `row` + 7 of the column-major
// matrix at `columns`; every record is scaled by the divisor of its own price type.
void decodeBarBlock(const unsigned char *block, double *columns, size_t row) {
    double *column1 = columns + row;
    double *column2 = column1 + BAR_ROWS;
    double *column3 = column2 + BAR_ROWS;
    double *column4 = column3 + BAR_ROWS;
    double *column5 = column4 + BAR_ROWS;
    double *column6 = column5 + BAR_ROWS;
    for (size_t k = 0; k < BAR_BLOCK_RECORDS; ++k) {
        const unsigned char *record = block + BAR_RECORD_SIZE * k;
        double divisor = PriceTypeDivisor(static_cast<int16_t>(readU8(record, 1)));
        column1[k] = readU32(record, 2);
        column2[k] = scalePrice(readI32(record, 6), divisor);
        column3[k] = scalePrice(readI32(record, 10), divisor);
        column4[k] = scalePrice(readI32(record, 14), divisor);
        column5[k] = scalePrice(readI32(record, 18), divisor);
        column6[k] = readI32(record, 22);
    }
}

} // namespace

void checkBarSeries(RequestCall &call) {
    checkSecurityLists(call, 1);
}

void runBarSeries(RequestCall &call) {
    char symbol[TEXT_BUFFER_SIZE];
    char qualifier[TEXT_BUFFER_SIZE];
    readSecurityTexts(call, 0, symbol, qualifier);
    mxArray *result = mxCreateDoubleMatrix(BAR_ROWS, BAR_COLUMNS, mxREAL);
    double *columns = mxGetPr(result);
    unsigned char key[BAR_KEY_SIZE];
    buildBarKey(key, symbol, qualifier);

    // The security record is opaque here: it goes back unchanged as the key of every block read.
    unsigned char security[SECURITY_RECORD_SIZE] = {};
    int32_t status = feedCall(call.block, DBA_GET_RECORD, key, security, 0);
    if (status != 0) {
        failAttached(call, ID_RETRIEVAL, MSG_RETRIEVAL, status);
    }
    unsigned char block[RECORD_BUFFER_SIZE] = {};
    status = feedCall(call.block, DBA_GET_FIRST_BLOCK, security, block, 0);
    if (status != 0) {
        failAttached(call, ID_RETRIEVAL, MSG_RETRIEVAL, status);
    }
    decodeBarBlock(block, columns, 0);

    // A nonzero status of the next-block read is the end of the series, not an error.
    size_t row = BAR_BLOCK_RECORDS;
    while (feedCall(call.block, DBA_GET_NEXT_BLOCK, security, block, 0) == 0) {
        if (row + BAR_BLOCK_RECORDS > BAR_ROWS) {
            // A series cut at the last row would look complete; refuse it instead.
            failAttached(call, ID_CAPACITY,
                         "The bar series holds more than %d rows, the most the matrix can hold",
                         static_cast<int32_t>(BAR_ROWS));
        }
        decodeBarBlock(block, columns, row);
        row += BAR_BLOCK_RECORDS;
    }
    detachFeed(call);
    call.outputs[0] = result;
}
