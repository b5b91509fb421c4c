// Request 3: the stored history of one security, gathered block by block through the feed's
// callback into static columns and returned as a rows-by-7 matrix.
#include "history.h"

#include "failures.h"
#include "feed_link.h"
#include "inputs.h"
#include "keys.h"
#include "records.h"
#include "requests.h"

#include <cstring>

double HistoryColumns[HISTORY_COLUMN_COUNT][HISTORY_CAPACITY];
int32_t HistoryRowCount = 0;
unsigned char FirstDeliveryKey[HISTORY_KEY_SIZE];
bool HistoryCapacityExceeded = false;

namespace {

// The first three characters of the key's symbol decide whether a block belongs to the scan.
constexpr size_t KEY_COMPARED_OFFSET = 2;
constexpr size_t KEY_COMPARED_SIZE = 3;
constexpr size_t PRICE_TYPE_OFFSET = 10;

} // namespace

int32_t DBA_CALL HistoryCallback(int32_t, int32_t eventCode, const void *key, const void *block,
                                 int32_t, int32_t status, void *scanBlock) {
    if (eventCode == HISTORY_EVENT_IGNORED) {
        return 1;
    }
    auto *scan = static_cast<HistoryScanBlock *>(scanBlock);
    if (status != 0) {
        if ((eventCode & 0xFF) == HISTORY_EVENT_APPROX) {
            mexPrintf("DBA_GET_APPROX failed with code %d\n", static_cast<int>(status));
        }
        scan->done = 1;
        return 1;
    }
    const auto *keyBytes = static_cast<const unsigned char *>(key);
    if (scan->started == 0) {
        std::memcpy(FirstDeliveryKey, keyBytes, HISTORY_KEY_SIZE);
    }
    if (std::memcmp(keyBytes + KEY_COMPARED_OFFSET, FirstDeliveryKey + KEY_COMPARED_OFFSET,
                    KEY_COMPARED_SIZE) != 0) {
        scan->done = 1;
        return 1;
    }
    // A block that does not fit ends the scan unstored; the request then fails rather than
    // return a cut history as if it were complete.
    if (HistoryRowCount > HISTORY_CAPACITY - HISTORY_BLOCK_RECORDS) {
        HistoryCapacityExceeded = true;
        scan->done = 1;
        return 1;
    }

    // One divisor for the whole block: the price type of its first record.
    const auto *records = static_cast<const unsigned char *>(block);
    double divisor = PriceTypeDivisor(static_cast<int16_t>(readU8(records, PRICE_TYPE_OFFSET)));
    size_t row = static_cast<size_t>(HistoryRowCount);
    double *type = HistoryColumns[0] + row;
    double *price = HistoryColumns[1] + row;
    double *size = HistoryColumns[2] + row;
    double *column4 = HistoryColumns[3] + row;
    double *column5 = HistoryColumns[4] + row;
    double *column6 = HistoryColumns[5] + row;
    double *column7 = HistoryColumns[6] + row;
    // The block holds its records newest last; the rows come out in reverse record order.
    for (size_t k = 0; k < HISTORY_BLOCK_RECORDS; ++k) {
        const unsigned char *record =
            records + HISTORY_RECORD_SIZE * (HISTORY_BLOCK_RECORDS - 1 - k);
        type[k] = readU8(record, 8);
        price[k] = scalePrice(readI32(record, 0), divisor);
        size[k] = readU32(record, 4);
        column4[k] = readU8(record, 15);
        column5[k] = readU8(record, 16);
        column6[k] = readU8(record, 17);
        column7[k] = readU8(record, 11);
    }
    HistoryRowCount += HISTORY_BLOCK_RECORDS;
    return 0;
}

void checkHistoryScan(RequestCall &call) {
    checkSecurityLists(call, 1);
}

void runHistoryScan(RequestCall &call) {
    char symbol[TEXT_BUFFER_SIZE];
    char qualifier[TEXT_BUFFER_SIZE];
    readSecurityTexts(call, 0, symbol, qualifier);
    unsigned char key[SECURITY_KEY_SIZE];
    buildSecurityKey(key, symbol, qualifier);

    HistoryRowCount = 0;
    HistoryCapacityExceeded = false;

    // `reserved8` and `started` belong to the feed and are left as they are.
    HistoryScanBlock scan;
    scan.callback = HistoryCallback;
    scan.reserved4 = 0;
    scan.done = 0;
    scan.mode = SCAN_MODE_POSITION;
    int32_t status = feedCall(call.block, DBA_GET_APPROX, key, &scan, 0);
    if (status != 0) {
        failAttached(call, ID_APPROX, MSG_APPROX, status);
    }
    feedCall(call.block, DBA_WAIT_APPROX, nullptr, &scan, -1);
    scan.mode = SCAN_MODE_NEXT;

    // The feed may use this buffer for the get-next reads; the module never reads it, and
    // zeroes it only so that no uninitialised bytes reach the feed.
    unsigned char nextKey[NEXT_KEY_BUFFER_SIZE] = {};
    // `done` is set by the callback inside the feed calls, so it is looked at only after each
    // wait has returned.
    while (scan.done == 0) {
        scan.callback = HistoryCallback;
        status = feedCall(call.block, DBA_GET_APPROX, nextKey, &scan, 0);
        if (status != 0) {
            failAttached(call, ID_NEXT, MSG_NEXT, status);
        }
        feedCall(call.block, DBA_WAIT_APPROX, nullptr, &scan, -1);
    }

    if (HistoryCapacityExceeded) {
        // The one number of the message is the capacity.
        failAttached(call, ID_CAPACITY,
                     "The history holds more than %d rows, the most one scan can return",
                     HISTORY_CAPACITY);
    }
    detachFeed(call);

    size_t rows = static_cast<size_t>(HistoryRowCount);
    mxArray *result = mxCreateDoubleMatrix(rows, HISTORY_COLUMN_COUNT, mxREAL);
    if (rows > 0) {
        double *out = mxGetPr(result);
        for (size_t c = 0; c < HISTORY_COLUMN_COUNT; ++c) {
            std::memcpy(out + c * rows, HistoryColumns[c], rows * sizeof(double));
        }
    }
    call.outputs[0] = result;
}
