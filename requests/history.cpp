// Request 3: the stored history of one security, gathered block by block through the feed's
// callback into static columns and returned as a rows-by-7 matrix.
#include "history.h"

#include "feed_link.h"
#include "feed_session.h"
#include "field_readers.h"
#include "host_arrays.h"
#include "inputs.h"
#include "keys.h"
#include "requests.h"

#include <cstring>

double HistoryColumns[HISTORY_COLUMN_COUNT][HISTORY_CAPACITY];
int32_t HistoryRowCount = 0;
unsigned char FirstDeliveryKey[HISTORY_KEY_SIZE];
unsigned char RequestedHistoryKey[HISTORY_KEY_SIZE];
bool RequestNamesQualifier = false;
bool HistoryCapacityExceeded = false;
bool HistoryEndedOnOtherSecurity = false;

namespace {

// HistoryRecord: the signed price at 0, scaled by the block's divisor into column 2; the
// price-type code at 10 (of the block's first record); and the fields the request copies
// without interpretation: an unsigned 32-bit value into column 3 and five unsigned bytes into
// columns 1, 4, 5, 6 and 7.
constexpr size_t HISTORY_PRICE_OFFSET = 0;
constexpr size_t HISTORY_COLUMN3_OFFSET = 4;
constexpr size_t HISTORY_COLUMN1_OFFSET = 8;
constexpr size_t HISTORY_PRICE_TYPE_OFFSET = 10;
constexpr size_t HISTORY_COLUMN7_OFFSET = 11;
constexpr size_t HISTORY_COLUMN4_OFFSET = 15;
constexpr size_t HISTORY_COLUMN5_OFFSET = 16;
constexpr size_t HISTORY_COLUMN6_OFFSET = 17;

} // namespace

int32_t DBA_CALL HistoryCallback(int32_t, int32_t eventCode, const void *key, const void *block,
                                 int32_t, int32_t status, void *scanBlock) {
    if (eventCode == HISTORY_EVENT_IGNORED) {
        return 1;
    }
    auto *scan = static_cast<HistoryScanBlock *>(scanBlock);
    // Once the scan has ended, a feed that goes on delivering within the same call adds
    // nothing: those blocks would follow another security's.
    if (scan->done != 0) {
        return 1;
    }
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
    // A block belongs to the scan when its key names the requested symbol, whole, and the
    // requested qualifier; without one, the qualifier of the first delivery, so that a scan
    // never runs on from one qualifier's history into another's. The approximate read starts
    // at the first key at or after the requested one, so the first delivery may well be
    // another security's.
    const unsigned char *qualifier = RequestNamesQualifier ? RequestedHistoryKey : FirstDeliveryKey;
    if (std::memcmp(keyBytes + KEY_SYMBOL_OFFSET, RequestedHistoryKey + KEY_SYMBOL_OFFSET,
                    KEY_SYMBOL_SIZE) != 0 ||
        std::memcmp(keyBytes + KEY_QUALIFIER_OFFSET, qualifier + KEY_QUALIFIER_OFFSET,
                    KEY_QUALIFIER_SIZE) != 0) {
        HistoryEndedOnOtherSecurity = true;
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
    const PriceScale scale = PriceTypeScale(readU8(records, HISTORY_PRICE_TYPE_OFFSET));
    size_t row = static_cast<size_t>(HistoryRowCount);
    double *column1 = HistoryColumns[0] + row;
    double *price = HistoryColumns[1] + row;
    double *column3 = HistoryColumns[2] + row;
    double *column4 = HistoryColumns[3] + row;
    double *column5 = HistoryColumns[4] + row;
    double *column6 = HistoryColumns[5] + row;
    double *column7 = HistoryColumns[6] + row;
    // The block holds its records newest last; the rows come out in reverse record order.
    for (size_t k = 0; k < HISTORY_BLOCK_RECORDS; ++k) {
        const unsigned char *record =
            records + HISTORY_RECORD_SIZE * (HISTORY_BLOCK_RECORDS - 1 - k);
        column1[k] = readU8(record, HISTORY_COLUMN1_OFFSET);
        price[k] = applyPriceScale(readI32(record, HISTORY_PRICE_OFFSET), scale);
        column3[k] = readU32(record, HISTORY_COLUMN3_OFFSET);
        column4[k] = readU8(record, HISTORY_COLUMN4_OFFSET);
        column5[k] = readU8(record, HISTORY_COLUMN5_OFFSET);
        column6[k] = readU8(record, HISTORY_COLUMN6_OFFSET);
        column7[k] = readU8(record, HISTORY_COLUMN7_OFFSET);
    }
    HistoryRowCount += HISTORY_BLOCK_RECORDS;
    return 0;
}

void runHistoryScan(RequestCall &call) {
    char symbol[TEXT_BUFFER_SIZE];
    char qualifier[TEXT_BUFFER_SIZE];
    readSecurityTexts(call, 0, symbol, qualifier);
    unsigned char key[SECURITY_KEY_SIZE];
    buildSecurityKey(key, symbol, qualifier);
    std::memcpy(RequestedHistoryKey, key, HISTORY_KEY_SIZE);
    RequestNamesQualifier = qualifier[0] != '\0';

    HistoryRowCount = 0;
    HistoryCapacityExceeded = false;
    HistoryEndedOnOtherSecurity = false;

    // `reserved8` and `started` belong to the feed and are left as they are.
    HistoryScanBlock scan;
    scan.callback = HistoryCallback;
    scan.reserved4 = 0;
    scan.done = 0;
    scan.mode = SCAN_MODE_POSITION;
    readFeed(call, FAILURE_APPROX, DBA_GET_APPROX, key, &scan, 0);
    feedCall(call.block, DBA_WAIT_APPROX, nullptr, &scan, -1);
    scan.mode = SCAN_MODE_NEXT;

    // The feed may use this buffer for the get-next reads; the module never reads it, and
    // zeroes it only so that no uninitialised bytes reach the feed.
    unsigned char nextKey[NEXT_KEY_BUFFER_SIZE] = {};
    // `done` is set by the callback inside the feed calls, so it is looked at only after each
    // wait has returned.
    while (scan.done == 0) {
        scan.callback = HistoryCallback;
        readFeed(call, FAILURE_NEXT, DBA_GET_APPROX, nextKey, &scan, 0);
        feedCall(call.block, DBA_WAIT_APPROX, nullptr, &scan, -1);
    }

    if (HistoryCapacityExceeded) {
        // The one number of the message is the capacity.
        failAttached(call, FAILURE_HISTORY_CAPACITY, HISTORY_CAPACITY);
    }
    detachFeed(call);
    if (HistoryRowCount == 0 && HistoryEndedOnOtherSecurity) {
        // An unknown security, or one without history: the feed went straight on to another.
        // The empty result stands, but a typo must not pass unseen.
        mexWarnMsgIdAndTxt("quorvex:noHistory",
                           "No history for symbol '%s' with qualifier '%s': the feed holds "
                           "none for this security",
                           symbol, qualifier);
    }

    size_t rows = static_cast<size_t>(HistoryRowCount);
    // Written whole by the copy below.
    mxArray *result = createUnzeroedMatrix(rows, HISTORY_COLUMN_COUNT);
    if (rows > 0) {
        double *out = mxGetPr(result);
        for (size_t c = 0; c < HISTORY_COLUMN_COUNT; ++c) {
            std::memcpy(out + c * rows, HistoryColumns[c], rows * sizeof(double));
        }
    }
    call.outputs[0] = result;
}
