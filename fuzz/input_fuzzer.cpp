// Caller side: any number of inputs of any class, size and content, mostly shaped like what
// the requests expect so that the checks behind the first ones are reached. The feed behind
// the module answers from the rest of the input.
#include "call_check.h"
#include "input_builder.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using fuzzinputs::anyArray;
using fuzzinputs::anyNumber;

// An input shaped for its position most of the time, anything otherwise.
mxhost::ArrayPtr inputAt(FuzzedDataProvider &data, int position) {
    if (data.ConsumeIntegral<uint8_t>() >= 144) {
        return anyArray(data);
    }
    switch (position) {
    case 1:
        return mxhost::scalar(data.ConsumeBool() ? fuzzinputs::anyRequestCode(data)
                                                 : anyNumber(data));
    case 2:
    case 3:
        return mxhost::scalar(data.ConsumeBool() ? data.ConsumeIntegralInRange<int>(-2, 9)
                                                 : anyNumber(data));
    case 4:
    case 5:
        return fuzzinputs::textCells(data, data.ConsumeIntegralInRange<size_t>(0, 7),
                                     position == 4 ? 20 : 8, data.ConsumeBool());
    default:
        return anyArray(data);
    }
}

// A real, finite, numeric scalar: the only kind of input 1, 2 and 3 the module accepts.
bool usableScalar(const std::vector<mxhost::ArrayPtr> &inputs, size_t index, double &value) {
    if (index >= inputs.size()) {
        return false;
    }
    const mxArray *input = inputs[index].get();
    if (!mxIsNumeric(input) || mxIsComplex(input) || mxGetNumberOfElements(input) != 1) {
        return false;
    }
    value = mxGetScalar(input);
    return std::isfinite(value);
}

int32_t truncated(double value) {
    double cut = std::trunc(value);
    return cut >= -2147483648.0 && cut <= 2147483647.0 ? static_cast<int32_t>(cut) : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    int inputCount = data.ConsumeIntegralInRange<int>(0, 8);
    int outputCount = data.ConsumeIntegralInRange<int>(0, 3);
    std::vector<mxhost::ArrayPtr> owned;
    std::vector<const mxArray *> inputs;
    for (int position = 1; position <= inputCount; ++position) {
        owned.push_back(inputAt(data, position));
        inputs.push_back(owned.back().get());
    }

    fuzzcheck::Expectation expect;
    double code = 0.0;
    if (!usableScalar(owned, 0, code)) {
        expect.request = INT32_MIN;
    } else {
        expect.request = code >= 1.0 && code < 8.0 ? static_cast<int32_t>(code) : 0;
    }
    double value = 0.0;
    if (usableScalar(owned, 1, value)) {
        expect.database = truncated(value);
    }
    if (usableScalar(owned, 2, value)) {
        expect.count = truncated(value);
    }
    expect.inputsValid = false;
    fuzzcheck::callAndCheck(inputs, outputCount, expect, &data);
    return 0;
}
