// The requests the entry point dispatches to. Each unit checks the inputs it reads before its
// first feed call, runs its feed calls, and stores its result in output slot 1.
#ifndef QUORVEX_REQUESTS_H
#define QUORVEX_REQUESTS_H

#include "request_call.h"

// Request 4: attaches, reads the feed library's version, detaches, returns the structure.
void runVersionQuery(RequestCall &call);

// Requests 2, 3, 5, 6 and 7 run after the shared attach: `check...` before it (input checks
// only, no feed call), `run...` once attached. Every run detaches before it returns or raises.
void checkQuoteSnapshot(RequestCall &call);
void runQuoteSnapshot(RequestCall &call);
void checkHistoryScan(RequestCall &call);
void runHistoryScan(RequestCall &call);
void checkBarSeries(RequestCall &call);
void runBarSeries(RequestCall &call);
void checkFundamentalsSnapshot(RequestCall &call);
void runFundamentalsSnapshot(RequestCall &call);
void checkCantRead(RequestCall &call);
void runCantRead(RequestCall &call);

#endif
