// The one table of the seven requests, which every front end runs them through.
#include "feed_session.h"
#include "requests.h"

const RequestDefinition REQUEST_DEFINITIONS[REQUEST_COUNT] = {
    {false, SECURITIES_NONE, runAttachCheck}, {true, SECURITIES_LISTED, runQuoteSnapshot},
    {true, SECURITIES_FIRST, runHistoryScan}, {false, SECURITIES_NONE, runVersionQuery},
    {true, SECURITIES_FIRST, runBarSeries},   {true, SECURITIES_LISTED, runFundamentalsSnapshot},
    {true, SECURITIES_OPTIONAL, runCantRead},
};

void runRequest(RequestCall &call) {
    attachFeed(call);
    requestDefinition(call.inputs.code).run(call);
}
