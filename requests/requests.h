// The seven requests the entry point dispatches to. The front end reads and checks the inputs
// (request_call.h) and attaches; each run then makes the request's feed calls, detaches, and
// stores its results in the output slots through the results seam (results.h). Every run
// detaches before it returns or raises.
#ifndef QUORVEX_REQUESTS_H
#define QUORVEX_REQUESTS_H

#include "request_call.h"

// The requests by code: which inputs each reads, and how it runs once attached.
constexpr int32_t REQUEST_COUNT = 7;
struct RequestDefinition {
    bool readsCount;            // input 3, for the requests that take securities
    SecuritiesRead securities;  // which securities of inputs 4 and 5 it reads
    void (*run)(RequestCall &); // runs once attached
};
// Indexed by request code - 1.
extern const RequestDefinition REQUEST_DEFINITIONS[REQUEST_COUNT];
// The definition of request `code`, 1 to REQUEST_COUNT.
inline const RequestDefinition &requestDefinition(int32_t code) {
    return REQUEST_DEFINITIONS[code - 1];
}

// Attaches to the call's database and runs its request: the feed calls, the detach, the
// results in the output slots.
void runRequest(RequestCall &call);

void runAttachCheck(RequestCall &call);          // 1
void runQuoteSnapshot(RequestCall &call);        // 2
void runHistoryScan(RequestCall &call);          // 3
void runVersionQuery(RequestCall &call);         // 4
void runBarSeries(RequestCall &call);            // 5
void runFundamentalsSnapshot(RequestCall &call); // 6
void runCantRead(RequestCall &call);             // 7

#endif
