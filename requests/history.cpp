// Placeholder until this request is built: refuses the request after closing the attachment.
#include "failures.h"
#include "inputs.h"
#include "requests.h"

void checkHistoryScan(RequestCall &call) {
    checkSecurityLists(call, 1);
}

void runHistoryScan(RequestCall &call) {
    detachFeed(call);
    raiseText(ID_BAD_INPUT, "This request is not available yet");
}
