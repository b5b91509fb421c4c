// Request 3: the stored history of one security, gathered block by block through the feed's
// callback into static columns and returned as a rows-by-7 matrix.
#include "history.h"

#include "feed_link.h"
#include "feed_session.h"
#include "field_readers.h"
#include "feed_call.h"
#include "host_arrays.h"
#include "inputs.h"
#include "keys.h"
#include "requests.h"

#include <cstring>

double HistoryColumns[HISTORY_COLUMN_COUNT][HISTORY_CAPACITY];
int32_t HistoryRowCount = 0;
unsigned char FirstDeliveryKey[HISTORY_KEY_SIZE];
unsigned char RequestedHistoryKey[HISTORY_KEY_SIZE];
bool HistoryCapacityExceeded = false;
bool HistoryEndedOnOtherSecurity = false;
bool HistoryHeldUnderOtherQualifier = false;
int32_t HistoryEndStatus = 0;
int32_t HistoryEndEvent = 0;
int32_t HistoryDeliveryCount = 0;
bool HistoryFirstKeyTaken = false;
bool HistoryFailurePrinted = false;
bool HistoryFailureSeen = false;
int32_t HistoryFailureStatus = 0;
int32_t HistoryFailureRows = 0;

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

// The one body of the callback in either convention.
int32_t storeHistoryDelivery(int32_t eventCode, const void *key, const void *block, int32_t status,
                             void *scanBlock) {
    ++HistoryDeliveryCount;
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
        // The feed may call from a thread of its own, where the host must not be called: the
        // scan prints the line once the feed call has returned.
        if ((eventCode & 0xFF) == HISTORY_EVENT_APPROX) {
            HistoryFailurePrinted = true;
            HistoryFailureSeen = true;
            HistoryFailureStatus = status;
            HistoryFailureRows = HistoryRowCount;
        }
        HistoryEndStatus = status;
        HistoryEndEvent = eventCode;
        scan->done = 1;
        return 1;
    }
    const auto *keyBytes = static_cast<const unsigned char *>(key);
    // The feed's `started` tells the first delivery of a scan; a feed that counts events to
    // ignore as deliveries would leave the key of an earlier scan in place, so the scan's own
    // first block takes it as well.
    if (scan->started == 0 || !HistoryFirstKeyTaken) {
        std::memcpy(FirstDeliveryKey, keyBytes, HISTORY_KEY_SIZE);
        HistoryFirstKeyTaken = true;
    }
    // A block belongs to the scan when its key names the requested symbol, whole, and the
    // requested qualifier, spaces for none: a scan never runs on from one security's history
    // into another's, nor takes a security with a qualifier for the one without. The
    // approximate read starts at the first key at or after the requested one, so the first
    // delivery may well be another security's.
    const bool sameSymbol =
        std::memcmp(keyBytes + KEY_SYMBOL_OFFSET, RequestedHistoryKey + KEY_SYMBOL_OFFSET,
                    KEY_SYMBOL_SIZE) == 0;
    if (!sameSymbol ||
        std::memcmp(keyBytes + KEY_QUALIFIER_OFFSET, RequestedHistoryKey + KEY_QUALIFIER_OFFSET,
                    KEY_QUALIFIER_SIZE) != 0) {
        // The symbol asked for, under another qualifier, before any row: the warning of the
        // empty result names where the feed holds its history.
        HistoryHeldUnderOtherQualifier = sameSymbol && HistoryRowCount == 0;
        HistoryEndedOnOtherSecurity = true;
        HistoryEndStatus = 0;
        HistoryEndEvent = eventCode;
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

// The line of a failure the callback saw, printed on the host's thread after the feed call in
// which it came; the text and its place before the result stay as if the callback printed it.
void printHistoryFailure() {
    if (HistoryFailurePrinted) {
        HistoryFailurePrinted = false;
        mexPrintf("DBA_GET_APPROX failed with code %d\n", static_cast<int>(HistoryFailureStatus));
    }
}

// One feed call of the scan, then the line the callback left for the host; a nonzero status
// of a read is raised after that line (`failure` FAILURE_KIND_COUNT: the status is not looked
// at).
void scanCall(RequestCall &call, FailureKind failure, int32_t operation, void *key,
              HistoryScanBlock *scan, int32_t parameter) {
    int32_t status = feedCall(call.block, operation, key, scan, parameter);
    printHistoryFailure();
    if (failure != FAILURE_KIND_COUNT && status != 0) {
        failFeedCall(call, failure, status);
    }
}

// The callback of the convention the feed calls it with: that of `dbax`, or the one
// QUORVEX_FEED_CALLBACK names for a library that mixes them. A refused setting ends the
// request.
const void *chooseCallback(RequestCall &call) {
    const char *refused = nullptr;
    FeedConvention convention = feedCallbackConvention(&refused);
    if (refused != nullptr) {
        failAttachedFormatted(call, ID_FEED_LIBRARY,
                              "%s is '%s': it names the calling convention of the history "
                              "callback and must be stdcall or cdecl, or unset",
                              FEED_CALLBACK_VARIABLE, refused);
    }
#if GUARDED_CALL_MEASURES
    if (convention == FEED_CONVENTION_CDECL) {
        return functionAddress(&HistoryCallbackCdecl);
    }
#else
    (void)convention;
#endif
    return functionAddress(&HistoryCallback);
}

// The warning of an empty result; when the feed went on from the symbol asked for under
// another qualifier, it names that qualifier, the likeliest reason.
void warnNoHistory(const char *symbol, const char *qualifier) {
    if (!HistoryHeldUnderOtherQualifier) {
        mexWarnMsgIdAndTxt("quorvex:noHistory",
                           "No history for symbol '%s' with qualifier '%s': the feed holds none "
                           "for this security",
                           symbol, qualifier);
        return;
    }
    // The feed's bytes, trailing spaces dropped, shown as they are where printable.
    char held[KEY_QUALIFIER_SIZE + 1] = {};
    size_t length = KEY_QUALIFIER_SIZE;
    while (length > 0 && FirstDeliveryKey[KEY_QUALIFIER_OFFSET + length - 1] == ' ') {
        --length;
    }
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = FirstDeliveryKey[KEY_QUALIFIER_OFFSET + i];
        held[i] = c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    mexWarnMsgIdAndTxt("quorvex:noHistory",
                       "No history for symbol '%s' with qualifier '%s': the feed holds none for "
                       "this security; the feed holds history under qualifier '%s'",
                       symbol, qualifier, held);
}

void setCallback(HistoryScanBlock *scan, const void *callback) {
    std::memcpy(&scan->callback, &callback, sizeof scan->callback);
}

} // namespace

#if GUARDED_CALL_MEASURES
int32_t __stdcall HistoryCallback(int32_t, int32_t eventCode, const void *key, const void *block,
                                  int32_t, int32_t status, void *scanBlock) {
    return storeHistoryDelivery(eventCode, key, block, status, scanBlock);
}

int32_t __cdecl HistoryCallbackCdecl(int32_t, int32_t eventCode, const void *key, const void *block,
                                     int32_t, int32_t status, void *scanBlock) {
    return storeHistoryDelivery(eventCode, key, block, status, scanBlock);
}
#else
int32_t HistoryCallback(int32_t, int32_t eventCode, const void *key, const void *block, int32_t,
                        int32_t status, void *scanBlock) {
    return storeHistoryDelivery(eventCode, key, block, status, scanBlock);
}
#endif

void runHistoryScan(RequestCall &call) {
    char symbol[TEXT_BUFFER_SIZE];
    char qualifier[TEXT_BUFFER_SIZE];
    readSecurityTexts(call, 0, symbol, qualifier);
    unsigned char key[SECURITY_KEY_SIZE];
    buildSecurityKey(key, symbol, qualifier);
    std::memcpy(RequestedHistoryKey, key, HISTORY_KEY_SIZE);

    HistoryRowCount = 0;
    HistoryCapacityExceeded = false;
    HistoryEndedOnOtherSecurity = false;
    HistoryHeldUnderOtherQualifier = false;
    HistoryEndStatus = 0;
    HistoryEndEvent = 0;
    HistoryFailurePrinted = false;
    HistoryFailureSeen = false;
    HistoryFirstKeyTaken = false;
    const void *callback = chooseCallback(call);

    // Zeroed whole, room after it included: the feed's own fields read 0 unless the feed
    // writes them (`started` must be 0 at the first delivery), and a feed whose scan block is
    // larger than the fields the module knows writes into zeroed storage of ours.
    HistoryScanStorage storage = {};
    HistoryScanBlock *scan = &storage.scan;
    setCallback(scan, callback);
    scan->reserved4 = 0;
    scan->done = 0;
    scan->mode = SCAN_MODE_POSITION;
    scanCall(call, FAILURE_APPROX, DBA_GET_APPROX, key, scan, 0);
    scanCall(call, FAILURE_KIND_COUNT, DBA_WAIT_APPROX, nullptr, scan, -1);
    scan->mode = SCAN_MODE_NEXT;

    // The feed may use this buffer for the get-next reads; the module never reads it. Zeroed,
    // and as large as any key the feed could take it for.
    unsigned char nextKey[NEXT_KEY_BUFFER_SIZE] = {};
    // `done` is set by the callback inside the feed calls, so it is looked at only after each
    // wait has returned. A feed that accepts the reads and never calls back would keep the
    // host here for good: after HISTORY_STALL_ROUNDS rounds in a row without a single
    // delivery the scan gives up.
    int32_t emptyRounds = 0;
    while (scan->done == 0) {
        int32_t deliveriesBefore = HistoryDeliveryCount;
        setCallback(scan, callback);
        scanCall(call, FAILURE_NEXT, DBA_GET_APPROX, nextKey, scan, 0);
        scanCall(call, FAILURE_KIND_COUNT, DBA_WAIT_APPROX, nullptr, scan, -1);
        emptyRounds = HistoryDeliveryCount == deliveriesBefore ? emptyRounds + 1 : 0;
        if (scan->done == 0 && emptyRounds >= HISTORY_STALL_ROUNDS) {
            failAttachedFormatted(call, ID_FEED_STALLED,
                                  "The feed stopped delivering history for symbol '%s': %d "
                                  "get-next reads in a row brought neither data nor the end of "
                                  "the scan",
                                  symbol, static_cast<int>(emptyRounds));
        }
    }

    if (HistoryCapacityExceeded) {
        // The one number of the message is the capacity.
        failAttached(call, FAILURE_HISTORY_CAPACITY, HISTORY_CAPACITY);
    }
    detachFeed(call);
    // Warnings come once detached: a host may turn a warning into an error that unwinds.
    if (HistoryFailureSeen) {
        // A failed delivery cut the scan: the printed line alone is no sign a script can catch.
        mexWarnMsgIdAndTxt("quorvex:historyIncomplete",
                           "The history of symbol '%s' with qualifier '%s' is incomplete: the "
                           "feed reported status %d after %d rows",
                           symbol, qualifier, static_cast<int>(HistoryFailureStatus),
                           static_cast<int>(HistoryFailureRows));
    } else if (HistoryRowCount == 0) {
        // An unknown security, or one without history: the feed went straight on to another,
        // or to the end of its data. The empty result stands, but a typo must not pass unseen.
        warnNoHistory(symbol, qualifier);
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
    if (call.outputCount > 1) {
        // How the scan ended: the status and event code of the delivery that ended it (0 and
        // the event of a block of another security; 0 and 0 when the feed ended it itself).
        mxArray *ended = mxCreateDoubleMatrix(1, 2, mxREAL);
        mxGetPr(ended)[0] = HistoryEndStatus;
        mxGetPr(ended)[1] = HistoryEndEvent;
        call.outputs[1] = ended;
    }
}
