// Runs one module call against the fuzz feed and checks how it ended: either the result of
// its request (shape, class and field names) or one raised message with a module
// identifier whose status is one the feed actually returned. Any other outcome aborts.
#ifndef QUORVEX_FUZZ_CALL_CHECK_H
#define QUORVEX_FUZZ_CALL_CHECK_H

#include "mex.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <vector>

namespace fuzzcheck {

struct Expectation {
    // The request code as the module will read it; outside 1..7 no feed call may be made.
    // INT32_MIN: input 1 is no usable code, so the call must end in an input error.
    int32_t request = 0;
    // Inputs 2 and 3 truncated, as the module reads them (when they are valid).
    int32_t database = 0;
    int32_t count = 0;
    // The inputs are valid for the request: an input error is then a fault.
    bool inputsValid = false;
};

// Calls mexFunction with `inputs` and `outputCount` output slots, the feed answering from
// `data`, and checks the outcome against `expect`.
void callAndCheck(const std::vector<const mxArray *> &inputs, int outputCount,
                  const Expectation &expect, FuzzedDataProvider *data);

} // namespace fuzzcheck

#endif
