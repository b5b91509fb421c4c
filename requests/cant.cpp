// Request 7: one keyed read with the tag "CANT", without output.
#include "feed_session.h"
#include "field_readers.h"
#include "inputs.h"
#include "keys.h"
#include "requests.h"

namespace {

// The symbol and qualifier come from cell 0 of inputs 4 and 5 when the caller gives them;
// without them the key carries an empty symbol and qualifier.
bool hasSecurityInputs(const RequestCall &call) {
    return call.inputCount >= 4;
}

} // namespace

void checkCantRead(RequestCall &call) {
    if (hasSecurityInputs(call)) {
        checkFirstSecurity(call);
    }
}

void runCantRead(RequestCall &call) {
    char symbol[TEXT_BUFFER_SIZE] = "";
    char qualifier[TEXT_BUFFER_SIZE] = "";
    if (hasSecurityInputs(call)) {
        readSecurityTexts(call, 0, symbol, qualifier);
    }
    unsigned char key[TAGGED_KEY_SIZE];
    buildTaggedKey(key, symbol, qualifier);

    unsigned char record[RECORD_BUFFER_SIZE + FEED_BUFFER_ROOM] = {};
    readFeed(call, FAILURE_RETRIEVAL, DBA_GET_RECORD_EXT, key, record, 0);
    detachFeed(call);
}
