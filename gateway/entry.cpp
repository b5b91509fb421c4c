// The module's one entry point, the front end over the host's arrays: reads the request code,
// reads and checks every input once, attaches, and runs the request through the one table of
// the seven requests, whose results go to the host through the results seam.
#include "feed_session.h"
#include "helper_link.h"
#include "host_inputs.h"
#include "request_call.h"
#include "requests.h"

#include "mex.h"

#include <cstring>

#if defined(_WIN32)
#define QUORVEX_EXPORT __declspec(dllexport)
#else
#define QUORVEX_EXPORT __attribute__((visibility("default")))
#endif

// The request being answered, overwritten at the start of every call.
int32_t RequestCode = 0;

namespace {

// quorvex('feedError'): the feed library's own description of the failed feed call the last
// request raised an error for, where the library offers one, else an empty text. Makes no
// feed call.
constexpr const char FEED_ERROR_QUERY[] = "feedError";

bool isFeedErrorQuery(int inputCount, const mxArray **inputs) {
    if (inputCount < 1 || inputs[0] == nullptr || !mxIsChar(inputs[0]) ||
        mxGetNumberOfElements(inputs[0]) != sizeof FEED_ERROR_QUERY - 1) {
        return false;
    }
    char text[sizeof FEED_ERROR_QUERY];
    return mxGetString(inputs[0], text, sizeof text) == 0 &&
           std::strcmp(text, FEED_ERROR_QUERY) == 0;
}

} // namespace

extern "C" QUORVEX_EXPORT void mexFunction(int nlhs, mxArray *plhs[], int nrhs,
                                           const mxArray *prhs[]) {
    if (isFeedErrorQuery(nrhs, prhs)) {
        plhs[0] = mxCreateString(feedFailureDescription());
        return;
    }
    double code = requestCodeValue(nrhs, prhs);
    // Codes outside 1 to 7 are no error: the call returns at once, with no output.
    if (!(code >= 1.0 && code < REQUEST_COUNT + 1.0)) {
        return;
    }
    RequestCode = static_cast<int32_t>(code);
    forgetFeedFailure();
    const RequestDefinition &request = requestDefinition(RequestCode);

    // The feed owns these bytes for the length of the call; the module never looks inside.
    FeedControlBlock block;
    RequestCall call{&block, RequestInputs{}, nlhs, reinterpret_cast<ResultArray **>(plhs)};
    call.inputs.code = RequestCode;
    // Every input is read and checked before the first feed call.
    readRequestInputs(nrhs, prhs, request.readsCount, request.securities, &call.inputs);
    if (feedThroughHelper()) {
        // The helper ends when the host clears the module.
        static bool stopRegistered = false;
        if (!stopRegistered) {
            stopRegistered = true;
            mexAtExit(stopFeedHelper);
        }
        runRequestInHelper(call);
    } else {
        runRequest(call);
    }
    releaseRequestInputs(&call.inputs);
}
