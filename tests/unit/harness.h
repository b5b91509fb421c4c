// Shared pieces of the unit tests: the module called through the stand-in host with every
// feed call going to the scripted feed.
#ifndef QUORVEX_TEST_HARNESS_H
#define QUORVEX_TEST_HARNESS_H

#include "expected_results.h"
#include "feed_link.h"
#include "feed_link_testing.h"
#include "little_endian.h"
#include "mex.h"
#include "mxhost_driver.h"
#include "scripted_feed.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

// Every test ends with no array left alive that it did not hold at its start: the arrays of
// each call are freed with its result, the inputs with the fixture.
class ModuleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        scripted::reset();
        feedUseEntryPoint(scripted::dbax);
        liveAtStart = mxhost::liveArrayCount();
    }
    void TearDown() override {
        feedUseEntryPoint(nullptr);
        kept.clear();
        EXPECT_EQ(mxhost::liveArrayCount(), liveAtStart) << "arrays outlived the test's calls";
    }

    // Calls the module with the given inputs; the arrays stay owned by `keep`.
    mxhost::CallResult run(std::vector<mxhost::ArrayPtr> inputs, int nlhs = 1) {
        std::vector<const mxArray *> raw;
        for (auto &input : inputs) {
            raw.push_back(input.get());
        }
        kept.push_back(std::move(inputs));
        return mxhost::call(mexFunction, nlhs, raw);
    }

    std::vector<std::vector<mxhost::ArrayPtr>> kept;
    size_t liveAtStart = 0;
};

// Builds an input list from scalars and cells in one expression.
inline std::vector<mxhost::ArrayPtr> inputs() {
    return {};
}
template <typename... Rest>
std::vector<mxhost::ArrayPtr> inputs(mxhost::ArrayPtr first, Rest... rest) {
    std::vector<mxhost::ArrayPtr> out;
    out.push_back(std::move(first));
    for (auto &more : inputs(std::move(rest)...)) {
        out.push_back(std::move(more));
    }
    return out;
}

inline mxhost::ArrayPtr num(double value) {
    return mxhost::scalar(value);
}
inline mxhost::ArrayPtr cells(const std::vector<std::string> &texts) {
    return mxhost::cellOfTexts(texts);
}
// Takes an array built with the host's own functions into the test's keeping.
inline mxhost::ArrayPtr own(mxArray *array) {
    return mxhost::ArrayPtr(array);
}

// The operations of the feed calls a call made, in order.
using Ops = std::vector<int32_t>;

// A record buffer under construction, written field by field in little-endian order; writing
// past its end fails the test.
struct RecordBytes {
    explicit RecordBytes(size_t size = 260) : bytes(size, 0) {}
    RecordBytes &u8(size_t at, unsigned value) {
        bytes.at(at) = static_cast<unsigned char>(value);
        return *this;
    }
    RecordBytes &u16(size_t at, unsigned value) {
        littleendian::put16(room(at, 2), value);
        return *this;
    }
    RecordBytes &u32(size_t at, uint32_t value) {
        littleendian::put32(room(at, 4), value);
        return *this;
    }
    RecordBytes &i32(size_t at, int32_t value) { return u32(at, static_cast<uint32_t>(value)); }
    RecordBytes &text(size_t at, const std::string &value) {
        std::memcpy(room(at, value.size()), value.data(), value.size());
        return *this;
    }
    std::vector<unsigned char> bytes;

  private:
    unsigned char *room(size_t at, size_t length) {
        if (at > bytes.size() || length > bytes.size() - at) {
            throw std::out_of_range("a field past the end of the record");
        }
        return bytes.data() + at;
    }
};

inline std::string keyText(const std::vector<unsigned char> &key, size_t from, size_t length) {
    return std::string(key.begin() + static_cast<long>(from),
                       key.begin() + static_cast<long>(from + length));
}

inline double scalarOf(const mxArray *array) {
    return array != nullptr && mxGetPr(array) != nullptr ? mxGetPr(array)[0] : -999.0;
}

// Element (row, column) of a double matrix.
inline double at(const mxArray *matrix, size_t row, size_t column) {
    return mxGetPr(matrix)[column * mxGetM(matrix) + row];
}

// Element `index` of a numeric field of the structure a call returned; -999 when there is none.
inline double at(const mxhost::CallResult &result, const char *field, size_t index = 0) {
    const mxArray *array = mxGetField(result.output(), 0, field);
    return array != nullptr && mxGetPr(array) != nullptr && index < mxGetNumberOfElements(array)
               ? mxGetPr(array)[index]
               : -999.0;
}

// Cell `index` of a text field of the structure a call returned.
inline std::string textAt(const mxhost::CallResult &result, const char *field, size_t index = 0) {
    return mxhost::textOf(mxGetCell(mxGetField(result.output(), 0, field), index));
}

// The call raised `message` carrying `number`, with its identifier, and left every output
// slot unset.
inline ::testing::AssertionResult raisedWith(const mxhost::CallResult &result,
                                             const expected::Message &message, int32_t number) {
    if (!result.raised) {
        return ::testing::AssertionFailure() << "the call raised nothing";
    }
    const std::string text = expected::textOf(message, number);
    if (result.identifier != message.identifier || result.message != text) {
        return ::testing::AssertionFailure()
               << "raised " << result.identifier << " \"" << result.message << "\", not "
               << message.identifier << " \"" << text << "\"";
    }
    for (const mxArray *slot : result.outputs) {
        if (slot != nullptr) {
            return ::testing::AssertionFailure() << "raised, yet an output slot is set";
        }
    }
    return ::testing::AssertionSuccess();
}

#endif
