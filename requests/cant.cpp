// Request 7: one keyed read with the tag "CANT", without output.
#include "feed_session.h"
#include "field_readers.h"
#include "keys.h"
#include "requests.h"

void runCantRead(RequestCall &call) {
    // The symbol and qualifier come from cell 0 of inputs 4 and 5 when the caller gives them;
    // without them the key carries an empty symbol and qualifier.
    const SecurityList &securities = call.inputs.securities;
    const char *symbol = securities.count > 0 ? securities.items[0].symbol : "";
    const char *qualifier = securities.count > 0 ? securities.items[0].qualifier : "";
    unsigned char key[TAGGED_KEY_SIZE];
    buildTaggedKey(key, symbol, qualifier);

    unsigned char record[RECORD_BUFFER_SIZE + FEED_BUFFER_ROOM] = {};
    readFeed(call, FAILURE_RETRIEVAL, DBA_GET_RECORD_EXT, key, record, 0);
    detachFeed(call);
}
