// The module's one entry point: reads the request code, answers the attach check, and runs
// every other request through its unit.
#include "failures.h"
#include "inputs.h"
#include "request_call.h"
#include "requests.h"

#include "mex.h"

#if defined(_WIN32)
#define QUORVEX_EXPORT __declspec(dllexport)
#else
#define QUORVEX_EXPORT __attribute__((visibility("default")))
#endif

// The request being answered, overwritten at the start of every call.
int32_t RequestCode = 0;

namespace {

// Request 1: attach to the database, detach, and return its number.
void runAttachCheck(RequestCall &call) {
    call.database = readIntegerInput(call, 2, "database number");
    attachFeed(call);
    detachFeed(call);
    mxArray *result = mxCreateDoubleMatrix(1, 1, mxREAL);
    mxGetPr(result)[0] = static_cast<double>(call.database);
    call.outputs[0] = result;
}

struct AttachedRequest {
    void (*check)(RequestCall &);
    void (*run)(RequestCall &);
};

// Requests 2, 3, 5, 6 and 7 by code; 1 and 4 have their own sequences.
constexpr AttachedRequest ATTACHED_REQUESTS[8] = {
    {nullptr, nullptr},
    {nullptr, nullptr},
    {checkQuoteSnapshot, runQuoteSnapshot},
    {checkHistoryScan, runHistoryScan},
    {nullptr, nullptr},
    {checkBarSeries, runBarSeries},
    {checkFundamentalsSnapshot, runFundamentalsSnapshot},
    {checkCantRead, runCantRead},
};

// The shared prologue: every input checked first, then the attach, then the request.
void runAttachedRequest(RequestCall &call) {
    const AttachedRequest &request = ATTACHED_REQUESTS[RequestCode];
    call.database = readIntegerInput(call, 2, "database number");
    call.count = readIntegerInput(call, 3, "count");
    request.check(call);
    attachFeed(call);
    request.run(call);
}

} // namespace

extern "C" QUORVEX_EXPORT void mexFunction(int nlhs, mxArray *plhs[], int nrhs,
                                           const mxArray *prhs[]) {
    double code = requestCodeValue(nrhs, prhs);
    // Codes outside 1 to 7 are no error: the call returns at once, with no output.
    if (!(code >= 1.0 && code < 8.0)) {
        return;
    }
    RequestCode = static_cast<int32_t>(code);

    // The feed owns these bytes for the length of the call; the module never looks inside.
    FeedControlBlock block;
    RequestCall call{&block, 0, 0, nlhs, plhs, nrhs, prhs};
    switch (RequestCode) {
    case 1:
        runAttachCheck(call);
        break;
    case 4:
        runVersionQuery(call);
        break;
    default:
        runAttachedRequest(call);
        break;
    }
}
