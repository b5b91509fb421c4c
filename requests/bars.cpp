// Request 5: the bar series of one security as a fixed 75000-by-6 matrix, read block by
// block into the result.
#include "feed_link.h"
#include "feed_session.h"
#include "field_readers.h"
#include "keys.h"
#include "requests.h"

void runBarSeries(RequestCall &call) {
    const SecurityText &security = call.inputs.securities.items[0];
    unsigned char key[BAR_KEY_SIZE];
    buildBarKey(key, security.symbol, security.qualifier);

    // The security record is opaque here: it goes back unchanged as the key of every block read.
    unsigned char record[SECURITY_RECORD_SIZE + FEED_BUFFER_ROOM] = {};
    readFeed(call, FAILURE_RETRIEVAL, DBA_GET_RECORD, key, record, 0);
    unsigned char block[BAR_BLOCK_BUFFER_SIZE + FEED_BUFFER_ROOM] = {};
    // Each block goes to the result as it comes, decoded where the matrix is made.
    resultRawBegin(RAW_BAR_BLOCKS);
    readFeed(call, FAILURE_RETRIEVAL, DBA_GET_FIRST_BLOCK, record, block, 0);
    resultRawAppend(block);

    // A nonzero status of the next-block read ends the series, not an error. Which status is
    // the end of the feed's data and which a failure is the feed's to say, so the status goes
    // back to a caller who asks for it.
    size_t blocks = 1;
    int32_t endStatus = 0;
    while ((endStatus = feedCall(call.block, DBA_GET_NEXT_BLOCK, record, block, 0)) == 0) {
        if (blocks == BAR_MAX_BLOCKS) {
            // A series cut at the last row would look complete; refuse it instead.
            failAttached(call, FAILURE_BAR_CAPACITY, static_cast<int32_t>(BAR_ROWS));
        }
        resultRawAppend(block);
        ++blocks;
    }
    detachFeed(call);
    // The matrix keeps its full size; the rows after the last block hold zeros.
    call.outputs[0] = resultRawEnd();
    if (call.outputCount > 1) {
        call.outputs[1] = resultScalar(static_cast<double>(endStatus));
    }
}
