// The module's one entry point: reads the request code and runs the request through the one
// table of the seven requests.
#include "feed_session.h"
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

} // namespace

extern "C" QUORVEX_EXPORT void mexFunction(int nlhs, mxArray *plhs[], int nrhs,
                                           const mxArray *prhs[]) {
    double code = requestCodeValue(nrhs, prhs);
    // Codes outside 1 to 7 are no error: the call returns at once, with no output.
    if (!(code >= 1.0 && code < REQUEST_COUNT + 1.0)) {
        return;
    }
    RequestCode = static_cast<int32_t>(code);
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
