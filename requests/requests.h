// The seven requests the entry point dispatches to. The entry point reads the database number
// (and, for the requests that take securities, the count), runs the request's input check,
// attaches, and then calls its run, which makes the request's feed calls, detaches, and stores
// its result in output slot 1. Every run detaches before it returns or raises.
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

// Request 7 takes its security from inputs 4 and 5 only when the caller gives them.
void checkCantRead(RequestCall &call);

#endif
