// Request 3: the stored history of one security, gathered block by block through the feed's
// callback and returned as a rows-by-7 matrix.
#include "history.h"

#include "failures.h"
#include "feed_link.h"
#include "feed_session.h"
#include "field_readers.h"
#include "keys.h"
#include "requests.h"
#include "results.h"

#include <cstring>
#include <type_traits>

namespace {

// Everything one scan knows, in the request's frame. The scan block the feed is lent is the
// first member, so the address the feed hands the callback back is the state's own: the
// callback reaches the scan through it, as nothing else passes between them.
struct HistoryScanState {
    // The scan block, with zeroed room after the fields the module knows, since the feed's own
    // idea of the block's size is unknown.
    HistoryScanBlock block;
    unsigned char room[FEED_BUFFER_ROOM];

    unsigned char requestedKey[SECURITY_KEY_SIZE];
    // The key of the scan's first delivery, taken from the scan's own first block.
    unsigned char firstDeliveryKey[SECURITY_KEY_SIZE];
    bool firstKeyTaken;
    // Blocks kept for the result; eight rows each.
    int32_t storedBlocks;
    // Callback calls of every kind; the scan compares it across a round to see whether the
    // feed delivered anything.
    int32_t deliveries;

    // How the scan ended.
    bool endedOnOtherSecurity; // a block of another security came
    // ... and before any row, it named the requested symbol under another qualifier.
    bool heldUnderOtherQualifier;
    bool capacityFull; // a block came that no longer fit the store
    int32_t endStatus; // status and event code of the delivery that ended the scan (0, 0: none)
    int32_t endEvent;

    // A failed delivery of rows: its line is printed on the host's thread once the feed call
    // it came in has returned, and the scan warns once detached.
    bool failureLinePending;
    bool failedDelivery;
    int32_t failureStatus;
    int32_t failureRows;
};
static_assert(std::is_standard_layout<HistoryScanState>::value,
              "the scan block's address must be the state's");

// The most blocks a scan keeps; eight rows each.
constexpr int32_t HISTORY_BLOCK_CAPACITY =
    HISTORY_CAPACITY / static_cast<int32_t>(HISTORY_BLOCK_RECORDS);

HistoryScanState *stateOf(void *scanBlock) {
    return reinterpret_cast<HistoryScanState *>(static_cast<HistoryScanBlock *>(scanBlock));
}

// The one body of the callback in either convention.
int32_t storeHistoryDelivery(int32_t eventCode, const void *key, const void *block, int32_t status,
                             void *scanBlock) {
    HistoryScanState *scan = stateOf(scanBlock);
    ++scan->deliveries;
    if (eventCode == SCAN_EVENT_IGNORED) {
        return 1;
    }
    // Once the scan has ended, a feed that goes on delivering within the same call adds
    // nothing: those blocks would follow another security's.
    if (scan->block.done != 0) {
        return 1;
    }
    if (status != 0) {
        // The feed may call from a thread of its own, where the host must not be called: the
        // scan prints the line once the feed call has returned.
        if ((eventCode & 0xFF) == SCAN_EVENT_BLOCK) {
            scan->failureLinePending = true;
            scan->failedDelivery = true;
            scan->failureStatus = status;
            scan->failureRows = scan->storedBlocks * static_cast<int32_t>(HISTORY_BLOCK_RECORDS);
        }
        scan->endStatus = status;
        scan->endEvent = eventCode;
        scan->block.done = 1;
        return 1;
    }
    const auto *keyBytes = static_cast<const unsigned char *>(key);
    // The feed's `started` tells the first delivery of a scan; a feed that counts events to
    // ignore as deliveries would leave the key of an earlier scan in place, so the scan's own
    // first block takes it as well.
    if (scan->block.started == 0 || !scan->firstKeyTaken) {
        std::memcpy(scan->firstDeliveryKey, keyBytes, SECURITY_KEY_SIZE);
        scan->firstKeyTaken = true;
    }
    // A block belongs to the scan when its key names the requested symbol, whole, and the
    // requested qualifier, spaces for none: a scan never runs on from one security's history
    // into another's, nor takes a security with a qualifier for the one without. The
    // approximate read starts at the first key at or after the requested one, so the first
    // delivery may well be another security's.
    const bool sameSymbol =
        std::memcmp(keyBytes + KEY_SYMBOL_OFFSET, scan->requestedKey + KEY_SYMBOL_OFFSET,
                    KEY_SYMBOL_SIZE) == 0;
    if (!sameSymbol ||
        std::memcmp(keyBytes + KEY_QUALIFIER_OFFSET, scan->requestedKey + KEY_QUALIFIER_OFFSET,
                    KEY_QUALIFIER_SIZE) != 0) {
        scan->heldUnderOtherQualifier = sameSymbol && scan->storedBlocks == 0;
        scan->endedOnOtherSecurity = true;
        scan->endStatus = 0;
        scan->endEvent = eventCode;
        scan->block.done = 1;
        return 1;
    }
    // A block that does not fit ends the scan unstored; the request then fails rather than
    // return a cut history as if it were complete.
    if (scan->storedBlocks >= HISTORY_BLOCK_CAPACITY) {
        scan->capacityFull = true;
        scan->block.done = 1;
        return 1;
    }
    // Kept as it came, and decoded once, straight into the result, after the scan: a third of
    // the decoded rows' size, and every row is written once.
    resultRawAppend(static_cast<const unsigned char *>(block));
    ++scan->storedBlocks;
    return 0;
}

// The line of a failed delivery the callback saw, printed on the host's thread after the feed
// call in which it came; the text and its place before the result stay as if the callback
// printed it.
void printPendingFailure(HistoryScanState &scan) {
    if (scan.failureLinePending) {
        scan.failureLinePending = false;
        printFormatted("DBA_GET_APPROX failed with code %d\n",
                       static_cast<int>(scan.failureStatus));
    }
}

// An approximate read (operation 50) with `key`; a nonzero status raises `failure` once the
// line the callback left for the host is printed.
void scanRead(RequestCall &call, HistoryScanState &scan, FailureKind failure, void *key) {
    const int32_t status = feedCall(call.block, DBA_GET_APPROX, key, &scan.block, 0);
    printPendingFailure(scan);
    if (status != 0) {
        failFeedCall(call, failure, status);
    }
}

// The wait (operation 53), in which the feed may deliver; its status is not looked at.
void scanWait(RequestCall &call, HistoryScanState &scan) {
    feedCall(call.block, DBA_WAIT_APPROX, nullptr, &scan.block, SCAN_WAIT_PARAMETER);
    printPendingFailure(scan);
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
void warnNoHistory(const HistoryScanState &scan, const SecurityText &security) {
    if (!scan.heldUnderOtherQualifier) {
        warnFormatted(ID_NO_HISTORY,
                      "No history for symbol '%s' with qualifier '%s': the feed holds none for "
                      "this security",
                      security.symbol, security.qualifier);
        return;
    }
    // The feed's bytes, trailing spaces dropped, shown as they are where printable.
    const unsigned char *delivered = scan.firstDeliveryKey + KEY_QUALIFIER_OFFSET;
    char held[KEY_QUALIFIER_SIZE + 1] = {};
    size_t length = KEY_QUALIFIER_SIZE;
    while (length > 0 && delivered[length - 1] == ' ') {
        --length;
    }
    for (size_t i = 0; i < length; ++i) {
        held[i] =
            delivered[i] >= 0x20 && delivered[i] < 0x7F ? static_cast<char>(delivered[i]) : '?';
    }
    warnFormatted(ID_NO_HISTORY,
                  "No history for symbol '%s' with qualifier '%s': the feed holds none for this "
                  "security; the feed holds history under qualifier '%s'",
                  security.symbol, security.qualifier, held);
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
    const SecurityText &security = call.inputs.securities.items[0];
    // Zeroed whole, the block's room included: the feed's own fields read 0 unless the feed
    // writes them (`started` must be 0 at the first delivery), and a feed whose scan block is
    // larger than the fields the module knows writes into zeroed storage of ours.
    HistoryScanState scan = {};
    unsigned char key[SECURITY_KEY_SIZE];
    buildSecurityKey(key, security.symbol, security.qualifier);
    std::memcpy(scan.requestedKey, key, SECURITY_KEY_SIZE);
    const void *callback = chooseCallback(call);

    resultRawBegin(RAW_HISTORY_BLOCKS);
    setScanCallback(&scan.block, callback);
    scan.block.reserved4 = 0;
    scan.block.done = 0;
    scan.block.mode = SCAN_MODE_POSITION;
    scanRead(call, scan, FAILURE_APPROX, key);
    scanWait(call, scan);
    scan.block.mode = SCAN_MODE_NEXT;

    // The feed may use this buffer for the get-next reads; the module never reads it. Zeroed,
    // and as large as any key the feed could take it for.
    unsigned char nextKey[NEXT_KEY_BUFFER_SIZE] = {};
    // `done` is set by the callback inside the feed calls, so it is looked at only after each
    // wait has returned. A feed that accepts the reads and never calls back would keep the
    // host here for good: after HISTORY_STALL_ROUNDS rounds in a row without a single
    // delivery the scan gives up.
    int32_t emptyRounds = 0;
    while (scan.block.done == 0) {
        const int32_t deliveriesBefore = scan.deliveries;
        setScanCallback(&scan.block, callback);
        scanRead(call, scan, FAILURE_NEXT, nextKey);
        scanWait(call, scan);
        emptyRounds = scan.deliveries == deliveriesBefore ? emptyRounds + 1 : 0;
        if (scan.block.done == 0 && emptyRounds >= HISTORY_STALL_ROUNDS) {
            failAttachedFormatted(call, ID_FEED_STALLED,
                                  "The feed stopped delivering history for symbol '%s': %d "
                                  "get-next reads in a row brought neither data nor the end of "
                                  "the scan",
                                  security.symbol, static_cast<int>(emptyRounds));
        }
    }

    if (scan.capacityFull) {
        // The one number of the message is the capacity.
        failAttached(call, FAILURE_HISTORY_CAPACITY, HISTORY_CAPACITY);
    }
    detachFeed(call);
    // Warnings come once detached: a host may turn a warning into an error that unwinds.
    if (scan.failedDelivery) {
        // A failed delivery cut the scan: the printed line alone is no sign a script can catch.
        warnFormatted(ID_HISTORY_INCOMPLETE,
                      "The history of symbol '%s' with qualifier '%s' is incomplete: the feed "
                      "reported status %d after %d rows",
                      security.symbol, security.qualifier, static_cast<int>(scan.failureStatus),
                      static_cast<int>(scan.failureRows));
    } else if (scan.storedBlocks == 0) {
        // An unknown security, or one without history: the feed went straight on to another,
        // or to the end of its data. The empty result stands, but a typo must not pass unseen.
        warnNoHistory(scan, security);
    }

    call.outputs[0] = resultRawEnd();
    if (call.outputCount > 1) {
        // How the scan ended: the status and event code of the delivery that ended it (0 and
        // the event of a block of another security; 0 and 0 when the feed ended it itself).
        double *ended = nullptr;
        call.outputs[1] = resultMatrix(1, 2, MATRIX_UNZEROED, &ended);
        ended[0] = scan.endStatus;
        ended[1] = scan.endEvent;
    }
}
