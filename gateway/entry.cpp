// The module's one entry point: reads the request code and runs the request through the one
// table of the seven requests.
#include "feed_session.h"
#include "inputs.h"
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

struct Request {
    bool readsCount;              // input 3, for the requests that take securities
    void (*check)(RequestCall &); // input checks, before any feed call
    void (*run)(RequestCall &);   // runs once attached
};

constexpr int32_t REQUEST_COUNT = 7;
// Indexed by request code - 1.
constexpr Request REQUESTS[REQUEST_COUNT] = {
    {false, checkNothing, runAttachCheck},
    {true, checkListedSecurities, runQuoteSnapshot},
    {true, checkFirstSecurity, runHistoryScan},
    {false, checkNothing, runVersionQuery},
    {true, checkFirstSecurity, runBarSeries},
    {true, checkListedSecurities, runFundamentalsSnapshot},
    {true, checkCantRead, runCantRead},
};

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

void runFeedErrorQuery(mxArray **outputs) {
    outputs[0] = mxCreateString(feedFailureDescription());
}

} // namespace

extern "C" QUORVEX_EXPORT void mexFunction(int nlhs, mxArray *plhs[], int nrhs,
                                           const mxArray *prhs[]) {
    if (isFeedErrorQuery(nrhs, prhs)) {
        runFeedErrorQuery(plhs);
        return;
    }
    double code = requestCodeValue(nrhs, prhs);
    // Codes outside 1 to 7 are no error: the call returns at once, with no output.
    if (!(code >= 1.0 && code < REQUEST_COUNT + 1.0)) {
        return;
    }
    RequestCode = static_cast<int32_t>(code);
    forgetFeedFailure();
    const Request &request = REQUESTS[RequestCode - 1];

    // The feed owns these bytes for the length of the call; the module never looks inside.
    FeedControlBlock block;
    RequestCall call{&block, 0, 0, nlhs, plhs, nrhs, prhs};
    // Every input is checked before the first feed call.
    call.database = readIntegerInput(call, 2, "database number");
    if (request.readsCount) {
        call.count = readIntegerInput(call, 3, "count");
    }
    request.check(call);
    attachFeed(call);
    request.run(call);
}
