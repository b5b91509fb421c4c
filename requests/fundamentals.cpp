// Placeholder until this request is built: refuses the request after closing the attachment.
#include "failures.h"
#include "inputs.h"
#include "requests.h"

void checkFundamentalsSnapshot(RequestCall &call) {
    // Only the cells of the securities to read are looked at; a count of 0 or less reads none.
    if (call.count > 0) {
        checkSecurityLists(call, call.count);
    }
}

void runFundamentalsSnapshot(RequestCall &call) {
    detachFeed(call);
    raiseText(ID_BAD_INPUT, "This request is not available yet");
}
