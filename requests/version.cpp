// Request 4: the feed library's version as a structure.
#include "feed_session.h"
#include "field_readers.h"
#include "requests.h"

namespace {

constexpr const char *VERSION_FIELDS[] = {"majorversion", "minorversion", "release",
                                          "serialnumber"};
constexpr int VERSION_FIELD_COUNT = 4;

// VersionRecord: signed 16-bit major and minor, then two texts up to their zero byte.
constexpr size_t MAJOR_OFFSET = 0;
constexpr size_t MINOR_OFFSET = 2;
constexpr size_t RELEASE_OFFSET = 4;
constexpr size_t RELEASE_ROOM = 2;
constexpr size_t SERIAL_OFFSET = 6;
constexpr size_t SERIAL_ROOM = RECORD_BUFFER_SIZE - SERIAL_OFFSET;

} // namespace

void runVersionQuery(RequestCall &call) {
    unsigned char record[RECORD_BUFFER_SIZE + FEED_BUFFER_ROOM] = {};
    readFeed(call, FAILURE_VERSION, DBA_GET_VERSION, nullptr, record, 0);
    detachFeed(call);

    // Both texts are bounded by their room, so a record without zero bytes stays inside.
    char release[RELEASE_ROOM + 1];
    char serial[SERIAL_ROOM + 1];
    copyRecordText(record, RELEASE_OFFSET, RELEASE_ROOM, release);
    copyRecordText(record, SERIAL_OFFSET, SERIAL_ROOM, serial);

    mxArray *result =
        mxCreateStructMatrix(1, 1, VERSION_FIELD_COUNT, const_cast<const char **>(VERSION_FIELDS));
    mxArray *values[VERSION_FIELD_COUNT] = {
        mxCreateDoubleScalar(readI16(record, MAJOR_OFFSET)),
        mxCreateDoubleScalar(readI16(record, MINOR_OFFSET)),
        mxCreateString(release),
        mxCreateString(serial),
    };
    for (int field = 0; field < VERSION_FIELD_COUNT; ++field) {
        mxSetField(result, 0, VERSION_FIELDS[field], values[field]);
    }
    call.outputs[0] = result;
}
