#include "snapshot.h"

#include "failures.h"
#include "feed_link.h"
#include "inputs.h"
#include "keys.h"
#include "records.h"

void readSecurityRecord(RequestCall &call, int32_t index, unsigned char *record) {
    char symbol[TEXT_BUFFER_SIZE];
    char qualifier[TEXT_BUFFER_SIZE];
    readSecurityTexts(call, index, symbol, qualifier);
    unsigned char key[SECURITY_KEY_SIZE];
    buildSecurityKey(key, symbol, qualifier);
    int32_t status = feedCall(call.block, DBA_GET_RECORD, key, record, 0);
    if (status != 0) {
        failAttached(call, ID_RETRIEVAL, MSG_RETRIEVAL, status);
    }
}

mxArray *recordString(const unsigned char *record, size_t offset, size_t room) {
    char text[RECORD_BUFFER_SIZE + 1];
    // The callers pass fields of the record buffer; the room never reaches past its end.
    if (room > RECORD_BUFFER_SIZE - offset) {
        room = RECORD_BUFFER_SIZE - offset;
    }
    readText(record, offset, room, text);
    return mxCreateString(text);
}
