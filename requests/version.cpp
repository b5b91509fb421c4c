// Request 4: the feed library's version as a structure.
#include "feed_session.h"
#include "field_readers.h"
#include "requests.h"

namespace {

constexpr const char *VERSION_FIELDS[] = {"majorversion", "minorversion", "release",
                                          "serialnumber"};
constexpr int VERSION_FIELD_COUNT = 4;

} // namespace

void runVersionQuery(RequestCall &call) {
    unsigned char record[RECORD_BUFFER_SIZE + FEED_BUFFER_ROOM] = {};
    readFeed(call, FAILURE_VERSION, DBA_GET_VERSION, nullptr, record, 0);
    detachFeed(call);

    // Both texts are bounded by their room, so a record without zero bytes stays inside.
    char release[VERSION_RELEASE_ROOM + 1];
    char serial[VERSION_SERIAL_ROOM + 1];
    copyRecordText(record, VERSION_RELEASE_OFFSET, VERSION_RELEASE_ROOM, release);
    copyRecordText(record, VERSION_SERIAL_OFFSET, VERSION_SERIAL_ROOM, serial);

    ResultArray *const values[VERSION_FIELD_COUNT] = {
        resultScalar(readI16(record, VERSION_MAJOR_OFFSET)),
        resultScalar(readI16(record, VERSION_MINOR_OFFSET)),
        resultText(release),
        resultText(serial),
    };
    call.outputs[0] = resultStructure(VERSION_FIELD_COUNT, VERSION_FIELDS, values);
}
