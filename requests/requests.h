// The seven requests the entry point dispatches to. The front end reads and checks the inputs
// (request_call.h) and attaches; each run then makes the request's feed calls, detaches, and
// stores its results in the output slots through the results seam (results.h). Every run
// detaches before it returns or raises.
#ifndef QUORVEX_REQUESTS_H
#define QUORVEX_REQUESTS_H

#include "request_call.h"

void runAttachCheck(RequestCall &call);          // 1
void runQuoteSnapshot(RequestCall &call);        // 2
void runHistoryScan(RequestCall &call);          // 3
void runVersionQuery(RequestCall &call);         // 4
void runBarSeries(RequestCall &call);            // 5
void runFundamentalsSnapshot(RequestCall &call); // 6
void runCantRead(RequestCall &call);             // 7

#endif
