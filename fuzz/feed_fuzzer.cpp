// Feed side: a few valid calls of any request in a row (the history scan's storage outlives a
// call), every feed answer taken from the fuzzer's input.
#include "call_check.h"
#include "input_builder.h"

#include <cstdint>
#include <vector>

namespace {

constexpr int CALLS_PER_INPUT = 3;
constexpr int32_t MOST_SECURITIES = 12;
constexpr int32_t MANY_SECURITIES = 200;

// A bar series keeps nothing between calls, and makes a 75000-by-6 matrix each time: one per
// input is enough, a second pick of it reads as the CANT request.
int32_t pickRequest(FuzzedDataProvider &data, bool &barsTaken) {
    if (data.ConsumeIntegral<uint8_t>() >= 252) {
        return data.ConsumeBool() ? 0 : 8; // codes outside 1 to 7 make no feed call
    }
    int32_t code = fuzzinputs::anyRequestCode(data);
    if (code == 5 && barsTaken) {
        code = 7;
    }
    barsTaken = barsTaken || code == 5;
    return code;
}

void oneCall(FuzzedDataProvider &data, bool &barsTaken) {
    fuzzcheck::Expectation expect;
    expect.request = pickRequest(data, barsTaken);
    expect.database = data.ConsumeIntegralInRange<int32_t>(-3, 20);
    expect.count = data.ConsumeIntegralInRange<int32_t>(0, MOST_SECURITIES);
    if (data.ConsumeIntegral<uint8_t>() == 0xFF) {
        expect.count = data.ConsumeIntegralInRange<int32_t>(0, MANY_SECURITIES);
    }
    expect.inputsValid = true;

    // Lists of at least `count` securities (at least one); symbols of up to 15
    // characters (cut to 11 by the module), qualifiers of up to 4.
    size_t cells = static_cast<size_t>(expect.count > 0 ? expect.count : 1) +
                   data.ConsumeIntegralInRange<size_t>(0, 2);
    std::vector<mxhost::ArrayPtr> owned;
    owned.push_back(mxhost::scalar(expect.request));
    owned.push_back(mxhost::scalar(expect.database));
    owned.push_back(mxhost::scalar(expect.count));
    if (expect.request != 7 || data.ConsumeBool()) {
        owned.push_back(fuzzinputs::textCells(data, cells, 15, false));
        owned.push_back(fuzzinputs::textCells(data, cells, 4, false));
    }
    std::vector<const mxArray *> inputs;
    for (auto &input : owned) {
        inputs.push_back(input.get());
    }
    int outputCount = data.ConsumeIntegralInRange<int>(0, 2);
    fuzzcheck::callAndCheck(inputs, outputCount, expect, &data);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    int calls = data.ConsumeIntegralInRange<int>(1, CALLS_PER_INPUT);
    bool barsTaken = false;
    // Every call but the last gets a slice of its own, so a call that uses up its feed
    // answers leaves the next one something to work with.
    for (int c = 1; c < calls; ++c) {
        size_t length = data.ConsumeIntegralInRange<size_t>(0, data.remaining_bytes());
        std::vector<uint8_t> slice = data.ConsumeBytes<uint8_t>(length);
        FuzzedDataProvider part(slice.data(), slice.size());
        oneCall(part, barsTaken);
    }
    oneCall(data, barsTaken);
    return 0;
}
