// Request 4: the feed library's version as a structure.
#include "failures.h"
#include "feed_link.h"
#include "inputs.h"
#include "records.h"
#include "requests.h"

namespace {

constexpr const char *VERSION_FIELDS[] = {"majorversion", "minorversion", "release",
                                          "serialnumber"};
constexpr size_t RELEASE_OFFSET = 4;
constexpr size_t RELEASE_ROOM = 2;
constexpr size_t SERIAL_OFFSET = 6;
constexpr size_t SERIAL_ROOM = RECORD_BUFFER_SIZE - SERIAL_OFFSET;

mxArray *doubleScalar(double value) {
    mxArray *array = mxCreateDoubleMatrix(1, 1, mxREAL);
    mxGetPr(array)[0] = value;
    return array;
}

} // namespace

void runVersionQuery(RequestCall &call) {
    call.database = readIntegerInput(call, 2, "database number");
    attachFeed(call);

    unsigned char record[RECORD_BUFFER_SIZE] = {};
    int32_t status = feedCall(call.block, DBA_GET_VERSION, nullptr, record, 0);
    if (status != 0) {
        failAttached(call, ID_VERSION, MSG_VERSION, status);
    }
    detachFeed(call);

    // Both texts are bounded by their room, so a record without zero bytes stays inside.
    char release[RELEASE_ROOM + 1];
    char serial[SERIAL_ROOM + 1];
    readText(record, RELEASE_OFFSET, RELEASE_ROOM, release);
    readText(record, SERIAL_OFFSET, SERIAL_ROOM, serial);

    mxArray *result = mxCreateStructMatrix(1, 1, 4, const_cast<const char **>(VERSION_FIELDS));
    mxArray *major = doubleScalar(readI16(record, 0));
    mxArray *minor = doubleScalar(readI16(record, 2));
    mxArray *releaseText = mxCreateString(release);
    mxArray *serialText = mxCreateString(serial);
    mxSetField(result, 0, VERSION_FIELDS[0], major);
    mxSetField(result, 0, VERSION_FIELDS[1], minor);
    mxSetField(result, 0, VERSION_FIELDS[2], releaseText);
    mxSetField(result, 0, VERSION_FIELDS[3], serialText);
    call.outputs[0] = result;
}
