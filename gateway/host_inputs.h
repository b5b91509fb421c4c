// Reads and checks the host's input arrays into the request's inputs (request_call.h), once,
// before the first feed call: every check raises a "quorvex:badInput" error that names the
// input (and cell) concerned. The request units then never touch a host array.
#ifndef QUORVEX_HOST_INPUTS_H
#define QUORVEX_HOST_INPUTS_H

#include "mex.h"
#include "request_call.h"

// Input 1 as a number: raises when it is missing or not a real finite numeric scalar.
double requestCodeValue(int inputCount, const mxArray **inputs);

// Reads inputs 2 (the database number), 3 (the count, when `readsCount`) and the securities
// into *read, whose code the caller has set. The securities' texts live in storage of the
// call: release it with releaseRequestInputs once the request has run (a raise leaves it to
// the host, which frees what a call allocated).
void readRequestInputs(int inputCount, const mxArray **inputs, bool readsCount,
                       SecuritiesRead securities, RequestInputs *read);
void releaseSecurityStorage(RequestInputs *read);
// Inline: most requests of a loop read few securities, the attach check none.
inline void releaseRequestInputs(RequestInputs *read) {
    if (read->securities.items != nullptr) {
        releaseSecurityStorage(read);
    }
}

#endif
