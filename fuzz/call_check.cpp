#include "call_check.h"

#include "expected_results.h"
#include "feed_link.h"
#include "feed_link_testing.h"
#include "fuzz_feed.h"
#include "mxhost_driver.h"
#include "pcqw32_layout.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace fuzzcheck {
namespace {

void require(bool condition, const char *what, int32_t request) {
    if (!condition) {
        std::fprintf(stderr, "call check, request %d: %s\n", static_cast<int>(request), what);
        std::abort();
    }
}

// `mismatch` is empty, or says how the result differs from what it should be.
void requireNone(const std::string &mismatch, int32_t request) {
    require(mismatch.empty(), mismatch.c_str(), request);
}

// Whether the `count` doubles at `values` are all finite and, from `zeroFrom` on in each
// column of `rows`, zero. One pass without branches over the bits: the bar matrix has 450,000
// elements, and a host call and a test per element were most of a run's time.
// The host made the matrix at this size, so the sanitizer's check of every load is left out.
__attribute__((no_sanitize("address"))) bool finiteWithZeroTail(const double *values, size_t rows,
                                                                size_t columns, size_t zeroFrom) {
    constexpr uint64_t EXPONENT = 0x7FF0000000000000u;
    constexpr uint64_t MAGNITUDE = 0x7FFFFFFFFFFFFFFFu;
    const size_t written = zeroFrom < rows ? zeroFrom : rows;
    uint64_t notFinite = 0;
    uint64_t tail = 0;
    for (size_t column = 0; column < columns; ++column) {
        const double *at = values + column * rows;
        for (size_t row = 0; row < written; ++row) {
            uint64_t bits;
            std::memcpy(&bits, at + row, sizeof bits);
            notFinite |= static_cast<uint64_t>((bits & EXPONENT) == EXPONENT);
        }
        for (size_t row = written; row < rows; ++row) {
            uint64_t bits;
            std::memcpy(&bits, at + row, sizeof bits);
            tail |= bits & MAGNITUDE; // zero, either sign; NaN and infinities are not
        }
    }
    return notFinite == 0 && tail == 0;
}

// A rows-by-columns real double matrix of finite numbers whose rows from `zeroFrom` on hold
// zeros.
void requireMatrix(const mxArray *result, size_t rows, size_t columns, int32_t request,
                   size_t zeroFrom = SIZE_MAX) {
    const std::string shape = expected::matrixShapeMismatch(result, rows, columns);
    require(shape.empty(), ("the result " + shape).c_str(), request);
    if (!finiteWithZeroTail(mxGetPr(result), rows, columns, zeroFrom)) {
        // The slow reading says where.
        const std::string mismatch = expected::matrixMismatch(result, rows, columns);
        require(!mismatch.empty(), "the result holds a nonzero number after the rows delivered",
                request);
        require(false, ("the result " + mismatch).c_str(), request);
    }
}

// `text` is `format` with a nonzero status in it that the feed returned during the call (or,
// for a printed line, that a failed delivery carried).
bool carriesStatus(const std::string &text, const char *format, bool (*returned)(int32_t)) {
    const size_t at = static_cast<size_t>(std::strstr(format, "%d") - format);
    const long status = at < text.size() ? std::strtol(text.c_str() + at, nullptr, 10) : 0;
    return status != 0 && returned(static_cast<int32_t>(status)) &&
           text == expected::textOf(format, static_cast<int32_t>(status));
}

void checkRaised(const mxhost::CallResult &result, const Expectation &expect, int32_t calls) {
    int32_t request = expect.request;
    require(result.identifier.rfind("quorvex:", 0) == 0, "raised without a quorvex: identifier",
            request);
    require(!result.message.empty(), "raised an empty message", request);
    for (mxArray *slot : result.outputs) {
        require(slot == nullptr, "an output slot is set after a raise", request);
    }
    if (result.identifier == expected::BAD_INPUT) {
        require(!expect.inputsValid, "valid inputs were refused", request);
        require(calls == 0, "an input error came after a feed call", request);
        return;
    }
    require(calls > 0, "a feed error was raised without any feed call", request);
    if (result.identifier == expected::HISTORY_CAPACITY_EXCEEDED.identifier) {
        require(request == 3 || request == 5, "capacity error from a request without one", request);
        require(result.message ==
                    (request == 3
                         ? expected::textOf(expected::HISTORY_CAPACITY_EXCEEDED,
                                            expected::HISTORY_CAPACITY)
                         : expected::textOf(expected::BAR_CAPACITY_EXCEEDED, expected::BAR_ROWS)),
                "the capacity error names another capacity", request);
        return;
    }
    for (const expected::Message &known : expected::STATUS_MESSAGES) {
        if (result.identifier == known.identifier) {
            require(carriesStatus(result.message, known.format, fuzzfeed::statusWasReturned),
                    "the message does not carry a status the feed returned", request);
            return;
        }
    }
    std::fprintf(stderr, "identifier %s message %s\n", result.identifier.c_str(),
                 result.message.c_str());
    require(false, "raised an identifier the module does not define", request);
}

// Every printed line must be the history scan's report of a failed delivery.
void checkPrinted(const std::string &printed, int32_t request) {
    require(printed.empty() || request == 3, "a request other than the history scan printed",
            request);
    for (size_t at = 0, end = 0; at < printed.size(); at = end) {
        end = printed.find('\n', at);
        require(end != std::string::npos, "printed text does not end its line", request);
        end += 1;
        require(carriesStatus(printed.substr(at, end - at), expected::APPROX_FAILURE_LINE,
                              fuzzfeed::approxFailureDelivered),
                "printed a line other than a failed delivery's report", request);
    }
}

// The statuses of a snapshot's second output, one per security: 0 for a record read, else a
// status the feed returned. Returns the rows the feed could not read.
expected::UnreadRows checkStatuses(const mxArray *statuses, size_t rows, int32_t request) {
    requireMatrix(statuses, rows, 1, request);
    expected::UnreadRows unread(rows, false);
    for (size_t i = 0; i < rows; ++i) {
        const double status = mxGetPr(statuses)[i];
        require(status >= INT32_MIN && status <= INT32_MAX,
                "a security's status is outside the 32-bit range", request);
        const auto code = static_cast<int32_t>(status);
        require(static_cast<double>(code) == status &&
                    (code == 0 || fuzzfeed::statusWasReturned(code)),
                "a security's status is neither 0 nor one the feed returned", request);
        unread[i] = code != 0;
    }
    return unread;
}

void checkResult(const mxhost::CallResult &result, const Expectation &expect, int32_t calls) {
    int32_t request = expect.request;
    size_t rows = expect.count > 0 ? static_cast<size_t>(expect.count) : 0;
    // Requests 3 and 5 say how the scan or series ended in a second output, when one is asked
    // for, and the snapshots (2 and 6) the status of each security; nothing else sets a slot
    // after the first.
    const bool saysHowItEnded = request == 3 || request == 5;
    const bool givesStatuses = request == 2 || request == 6;
    expected::UnreadRows unread;
    for (size_t slot = 1; slot < result.outputs.size(); ++slot) {
        if (slot == 1 && saysHowItEnded) {
            requireMatrix(result.outputs[slot], 1, request == 3 ? 2 : 1, request);
            continue;
        }
        if (slot == 1 && givesStatuses) {
            unread = checkStatuses(result.outputs[slot], rows, request);
            continue;
        }
        require(result.outputs[slot] == nullptr, "an output slot after the first is set", request);
    }
    const mxArray *out = result.output(0);
    switch (request) {
    case 1:
        requireMatrix(out, 1, 1, request);
        require(mxGetPr(out)[0] == static_cast<double>(expect.database),
                "the attach check returned another database number", request);
        break;
    case 2:
        requireNone(expected::structureMismatch(out, expected::QUOTE_FIELDS, rows, unread),
                    request);
        break;
    case 3: {
        // A block's rows for every block the callback stored, within the capacity.
        const size_t stored =
            static_cast<size_t>(fuzzfeed::storedHistoryBlocks()) * HISTORY_BLOCK_RECORDS;
        require(stored <= static_cast<size_t>(expected::HISTORY_CAPACITY),
                "the callback stored more rows than one scan may return", request);
        requireMatrix(out, stored, expected::HISTORY_COLUMNS, request);
        break;
    }
    case 4:
        requireNone(expected::structureMismatch(out, expected::VERSION_FIELDS, 1), request);
        break;
    case 5:
        // The first block and each next one the feed delivered fill eight rows; the rest of
        // the fixed matrix is zeros.
        requireMatrix(out, expected::BAR_ROWS, expected::BAR_COLUMNS, request,
                      static_cast<size_t>(fuzzfeed::deliveredBarBlocks()) * BAR_BLOCK_RECORDS);
        break;
    case 6:
        requireNone(expected::structureMismatch(out, expected::FUNDAMENTALS_FIELDS, rows, unread),
                    request);
        break;
    case 7:
        require(out == nullptr, "the CANT read returned an output", request);
        break;
    default:
        require(out == nullptr, "a code outside 1 to 7 returned an output", request);
        require(calls == 0, "a code outside 1 to 7 called the feed", request);
        break;
    }
}

} // namespace

void callAndCheck(const std::vector<const mxArray *> &inputs, int outputCount,
                  const Expectation &expect, FuzzedDataProvider *data) {
    feedUseEntryPoint(fuzzfeed::dbax);
    fuzzfeed::beginCall(data, expect.request);
    mxhost::CallResult result = mxhost::call(mexFunction, outputCount, inputs);
    int32_t calls = fuzzfeed::endCall();
    checkPrinted(result.printed, expect.request);
    if (result.raised) {
        checkRaised(result, expect, calls);
    } else {
        require(expect.request != INT32_MIN, "an unusable request code was accepted",
                expect.request);
        checkResult(result, expect, calls);
    }
}

} // namespace fuzzcheck
