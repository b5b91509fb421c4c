#include "call_check.h"

#include "feed_link.h"
#include "fuzz_feed.h"
#include "mxhost_driver.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace fuzzcheck {
namespace {

using fuzzfeed::fail;

enum class Shape { Column, TwoColumns, DateRows, Texts };

struct Field {
    const char *name;
    Shape shape;
    size_t textRoom; // longest text a Texts field may hold
};

constexpr Field QUOTE_FIELDS[] = {
    {"Symbol", Shape::Texts, 20},           {"PriceType", Shape::Column, 0},
    {"PrimaryExchange", Shape::Texts, 2},   {"SecCategory", Shape::Column, 0},
    {"Status", Shape::Column, 0},           {"News", Shape::Column, 0},
    {"LastPrice", Shape::Column, 0},        {"LastSize", Shape::Column, 0},
    {"LastPriceTime", Shape::Column, 0},    {"LastTick", Shape::Column, 0},
    {"LastExchange", Shape::Texts, 2},      {"OpenPrice", Shape::Column, 0},
    {"OpenSize", Shape::Column, 0},         {"OpenPriceTime", Shape::Column, 0},
    {"OpenTick", Shape::Column, 0},         {"OpenExchange", Shape::Texts, 2},
    {"HighPrice", Shape::Column, 0},        {"HighSize", Shape::Column, 0},
    {"HighPriceTime", Shape::Column, 0},    {"HighExchange", Shape::Texts, 2},
    {"LowPrice", Shape::Column, 0},         {"LowSize", Shape::Column, 0},
    {"LowPriceTime", Shape::Column, 0},     {"LowExchange", Shape::Texts, 2},
    {"YesterdayPrice", Shape::Column, 0},   {"YesterdayTick", Shape::Column, 0},
    {"YesterdayExchange", Shape::Texts, 2}, {"BidPrice", Shape::Column, 0},
    {"BidSize", Shape::Column, 0},          {"BidPriceTime", Shape::Column, 0},
    {"BidTick", Shape::Column, 0},          {"BidExchange", Shape::Texts, 2},
    {"AskPrice", Shape::Column, 0},         {"AskSize", Shape::Column, 0},
    {"AskPriceTime", Shape::Column, 0},     {"AskTick", Shape::Column, 0},
    {"AskExchange", Shape::Texts, 2},       {"OpenRange", Shape::Column, 0},
    {"CloseRange", Shape::TwoColumns, 0},   {"Volume", Shape::Column, 0},
    {"OpenInterest", Shape::Column, 0},     {"QuoteIndicator", Shape::Column, 0},
    {"TradeIndicator", Shape::Column, 0},   {"ExDividendToday", Shape::Column, 0},
    {"SplitToday", Shape::Column, 0},
};

constexpr Field FUNDAMENTALS_FIELDS[] = {
    {"LastUpdate", Shape::Column, 0},   {"Name", Shape::Texts, 48},
    {"BaseItem", Shape::Texts, 20},     {"EPS", Shape::Column, 0},
    {"S&PCode", Shape::Column, 0},      {"PriceType", Shape::Column, 0},
    {"SecCategory", Shape::Column, 0},  {"ClosePrice", Shape::Column, 0},
    {"Volume", Shape::Column, 0},       {"VolumeFlag", Shape::Column, 0},
    {"OpenInterest", Shape::Column, 0}, {"HistHigh", Shape::Column, 0},
    {"HistLow", Shape::Column, 0},      {"DivExp", Shape::Column, 0},
    {"DivLast", Shape::Column, 0},      {"DivDate", Shape::DateRows, 0},
    {"DivFreq", Shape::Column, 0},      {"ExpDate", Shape::DateRows, 0},
    {"Outstanding", Shape::Column, 0},  {"Beta", Shape::Column, 0},
    {"ShPerContr", Shape::Column, 0},   {"StrikePrice", Shape::Column, 0},
    {"RawMatDate", Shape::DateRows, 0}, {"CusipNumber", Shape::Texts, 74},
};

constexpr size_t QUOTE_FIELD_COUNT = sizeof QUOTE_FIELDS / sizeof QUOTE_FIELDS[0];
constexpr size_t FUNDAMENTALS_FIELD_COUNT =
    sizeof FUNDAMENTALS_FIELDS / sizeof FUNDAMENTALS_FIELDS[0];
static_assert(QUOTE_FIELD_COUNT == 45, "quote structure");
static_assert(FUNDAMENTALS_FIELD_COUNT == 24, "fundamentals structure");

constexpr size_t HISTORY_CAPACITY = 500000;
constexpr size_t BAR_ROWS = 75000;

// Messages that carry the status of a feed call, by identifier.
struct StatusMessage {
    const char *identifier;
    const char *format;
};
constexpr StatusMessage STATUS_MESSAGES[] = {
    {"quorvex:attachFailed", "Database Attach failed with error %d"},
    {"quorvex:detachFailed", "Detach error %d"},
    {"quorvex:versionFailed", "Get version error %d"},
    {"quorvex:retrievalFailed", "Data retrieval error %d"},
    {"quorvex:approxFailed", "Get Approx failed %d.\n"},
    {"quorvex:nextFailed", "Get Next failed %d.\n"},
};

void require(bool condition, const char *what, int32_t request) {
    if (!condition) {
        std::fprintf(stderr, "call check, request %d: %s\n", static_cast<int>(request), what);
        std::abort();
    }
}

bool isRealDouble(const mxArray *array) {
    return array != nullptr && mxIsDouble(array) && !mxIsComplex(array);
}

void requireFinite(const mxArray *array, int32_t request) {
    const double *values = mxGetPr(array);
    size_t n = mxGetNumberOfElements(array);
    for (size_t i = 0; i < n; ++i) {
        require(std::isfinite(values[i]), "a number of the result is not finite", request);
    }
}

void requireMatrix(const mxArray *array, size_t rows, size_t columns, int32_t request) {
    require(isRealDouble(array), "result is not a real double matrix", request);
    require(mxGetM(array) == rows && mxGetN(array) == columns, "result has the wrong size",
            request);
    requireFinite(array, request);
}

void requireText(const mxArray *text, size_t room, int32_t request) {
    require(text != nullptr && mxIsChar(text), "a text of the result is not a character array",
            request);
    require(mxGetM(text) <= 1, "a text of the result has more than one row", request);
    std::string value = mxhost::textOf(text);
    require(value.size() <= room, "a text of the result is longer than its record field", request);
    require(value.find('\0') == std::string::npos, "a text holds a zero byte", request);
}

void requireStructure(const mxArray *result, const Field *fields, size_t fieldCount, size_t rows,
                      int32_t request) {
    require(result != nullptr && mxIsStruct(result), "result is not a structure", request);
    require(mxGetM(result) == 1 && mxGetN(result) == 1, "result is not 1-by-1", request);
    require(static_cast<size_t>(mxGetNumberOfFields(result)) == fieldCount,
            "result has the wrong number of fields", request);
    for (size_t f = 0; f < fieldCount; ++f) {
        const char *name = mxGetFieldNameByNumber(result, static_cast<int>(f));
        require(name != nullptr && std::strcmp(name, fields[f].name) == 0,
                "a field has the wrong name or place", request);
        const mxArray *value = mxGetField(result, 0, fields[f].name);
        require(value != nullptr, "a field is unset", request);
        switch (fields[f].shape) {
        case Shape::Column:
            requireMatrix(value, rows, 1, request);
            break;
        case Shape::TwoColumns:
            requireMatrix(value, rows, 2, request);
            break;
        case Shape::DateRows:
            requireMatrix(value, 3, rows, request);
            break;
        case Shape::Texts:
            require(mxIsCell(value) && mxGetM(value) == rows && mxGetN(value) == 1,
                    "a text field is not a column of cells", request);
            for (size_t i = 0; i < rows; ++i) {
                requireText(mxGetCell(value, i), fields[f].textRoom, request);
            }
            break;
        }
    }
}

void requireVersion(const mxArray *result, int32_t request) {
    static const Field VERSION_FIELDS[] = {{"majorversion", Shape::Column, 0},
                                           {"minorversion", Shape::Column, 0},
                                           {"release", Shape::Texts, 2},
                                           {"serialnumber", Shape::Texts, 254}};
    require(result != nullptr && mxIsStruct(result) && mxGetNumberOfElements(result) == 1,
            "version result is not a 1-by-1 structure", request);
    require(mxGetNumberOfFields(result) == 4, "version result has the wrong fields", request);
    for (int f = 0; f < 4; ++f) {
        const char *name = mxGetFieldNameByNumber(result, f);
        require(name != nullptr && std::strcmp(name, VERSION_FIELDS[f].name) == 0,
                "a version field has the wrong name or place", request);
        const mxArray *value = mxGetField(result, 0, name);
        if (VERSION_FIELDS[f].shape == Shape::Column) {
            requireMatrix(value, 1, 1, request);
        } else {
            requireText(value, VERSION_FIELDS[f].textRoom, request);
        }
    }
}

// A message of the form prefix %d suffix whose number the feed returned during the call.
bool carriesReturnedStatus(const std::string &message, const char *format) {
    const char *mark = std::strstr(format, "%d");
    std::string prefix(format, static_cast<size_t>(mark - format));
    std::string suffix(mark + 2);
    if (message.size() <= prefix.size() + suffix.size() ||
        message.compare(0, prefix.size(), prefix) != 0 ||
        message.compare(message.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return false;
    }
    std::string number =
        message.substr(prefix.size(), message.size() - prefix.size() - suffix.size());
    char *end = nullptr;
    long value = std::strtol(number.c_str(), &end, 10);
    return end != nullptr && *end == '\0' && value != 0 &&
           fuzzfeed::statusWasReturned(static_cast<int32_t>(value));
}

void checkRaised(const mxhost::CallResult &result, const Expectation &expect, int32_t calls) {
    int32_t request = expect.request;
    require(result.identifier.rfind("quorvex:", 0) == 0, "raised without a quorvex: identifier",
            request);
    require(!result.message.empty(), "raised an empty message", request);
    for (mxArray *slot : result.outputs) {
        require(slot == nullptr, "an output slot is set after a raise", request);
    }
    if (result.identifier == "quorvex:badInput") {
        require(!expect.inputsValid, "valid inputs were refused", request);
        require(calls == 0, "an input error came after a feed call", request);
        return;
    }
    require(calls > 0, "a feed error was raised without any feed call", request);
    if (result.identifier == "quorvex:capacityExceeded") {
        require(request == 3 || request == 5, "capacity error from a request without one", request);
        return;
    }
    for (const StatusMessage &known : STATUS_MESSAGES) {
        if (result.identifier == known.identifier) {
            require(carriesReturnedStatus(result.message, known.format),
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
    if (printed.empty()) {
        return;
    }
    require(request == 3, "a request other than the history scan printed", request);
    const char *prefix = "DBA_GET_APPROX failed with code ";
    size_t at = 0;
    while (at < printed.size()) {
        size_t end = printed.find('\n', at);
        require(end != std::string::npos, "printed text does not end its line", request);
        std::string line = printed.substr(at, end - at);
        require(line.rfind(prefix, 0) == 0, "printed an unexpected line", request);
        char *stop = nullptr;
        long status = std::strtol(line.c_str() + std::strlen(prefix), &stop, 10);
        require(*stop == '\0' && fuzzfeed::approxFailureDelivered(static_cast<int32_t>(status)),
                "printed a status no failed delivery carried", request);
        at = end + 1;
    }
}

void checkResult(const mxhost::CallResult &result, const Expectation &expect, int32_t calls) {
    int32_t request = expect.request;
    for (size_t slot = 1; slot < result.outputs.size(); ++slot) {
        require(result.outputs[slot] == nullptr, "an output slot after the first is set", request);
    }
    const mxArray *out = result.output(0);
    size_t rows = expect.count > 0 ? static_cast<size_t>(expect.count) : 0;
    switch (request) {
    case 1:
        requireMatrix(out, 1, 1, request);
        require(mxGetPr(out)[0] == static_cast<double>(expect.database),
                "the attach check returned another database number", request);
        break;
    case 2:
        requireStructure(out, QUOTE_FIELDS, QUOTE_FIELD_COUNT, rows, request);
        break;
    case 3:
        require(isRealDouble(out) && mxGetN(out) == 7, "history result is not R-by-7", request);
        require(mxGetM(out) % 8 == 0 && mxGetM(out) <= HISTORY_CAPACITY,
                "history rows are not whole blocks within the capacity", request);
        require(mxGetM(out) == static_cast<size_t>(fuzzfeed::storedHistoryBlocks()) * 8,
                "history rows are not eight per block the callback stored", request);
        requireFinite(out, request);
        break;
    case 4:
        requireVersion(out, request);
        break;
    case 5:
        requireMatrix(out, BAR_ROWS, 6, request);
        break;
    case 6:
        requireStructure(out, FUNDAMENTALS_FIELDS, FUNDAMENTALS_FIELD_COUNT, rows, request);
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
