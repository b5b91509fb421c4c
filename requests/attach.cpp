// Request 1: the attach check. The entry point has attached; detach and return the database
// number.
#include "feed_session.h"
#include "requests.h"

void runAttachCheck(RequestCall &call) {
    detachFeed(call);
    call.outputs[0] = resultScalar(static_cast<double>(call.inputs.database));
}
