// What one call of the entry point hands to the request it runs.
#ifndef QUORVEX_REQUEST_CALL_H
#define QUORVEX_REQUEST_CALL_H

#include "dbax.h"
#include "mex.h"

#include <cstdint>

struct RequestCall {
    FeedControlBlock *block; // the call's own control block, for every feed call it makes
    int32_t database;        // input 2, truncated toward zero
    int32_t count;           // input 3, truncated toward zero (requests 2, 3, 5, 6, 7)
    int outputCount;
    mxArray **outputs;
    int inputCount;
    const mxArray **inputs;
};

#endif
