// What the module's results and messages must look like, written down once for the unit tests
// and the fuzz checker: the fields of each output structure in order, with their shapes and
// the room of their texts; the sizes of the matrices; the messages that carry a number.
// Written from the interface the module promises, never taken from the module's own tables,
// so that a slip there shows here.
#ifndef QUORVEX_EXPECTED_RESULTS_H
#define QUORVEX_EXPECTED_RESULTS_H

#include "mex.h"
#include "mxhost_driver.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace expected {

// The shape of a structure field holding `rows` securities (1 for the version structure).
enum class Shape {
    Column,     // rows-by-1 doubles
    TwoColumns, // rows-by-2 doubles
    DateRows,   // 3-by-rows doubles: year, month and day of each security in a column
    Texts,      // rows-by-1 cell array of texts
    Text,       // one text
};

struct Field {
    const char *name;
    Shape shape;
    size_t textRoom; // the longest text a Texts or Text field may hold: its record field's room
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

constexpr Field VERSION_FIELDS[] = {
    {"majorversion", Shape::Column, 0},
    {"minorversion", Shape::Column, 0},
    {"release", Shape::Text, 2},
    {"serialnumber", Shape::Text, 254},
};

constexpr int32_t HISTORY_CAPACITY = 500000; // rows one history scan can return
constexpr size_t HISTORY_COLUMNS = 7;
constexpr int32_t BAR_ROWS = 75000; // rows of every bar matrix
constexpr size_t BAR_COLUMNS = 6;

// The columns of the history and bar matrices, in order.
constexpr const char *HISTORY_COLUMN_ORDER[HISTORY_COLUMNS] = {
    "Day", "Price", "Size", "Hour", "Minute", "Second", "Condition"};
constexpr const char *BAR_COLUMN_ORDER[BAR_COLUMNS] = {"Stamp", "Open",  "High",
                                                       "Low",   "Close", "Volume"};

// A failure that carries one number: its identifier, and its message with "%d" where the
// number goes.
struct Message {
    const char *identifier;
    const char *format;
};

constexpr Message ATTACH_FAILED = {"quorvex:attachFailed", "Database Attach failed with error %d"};
constexpr Message DETACH_FAILED = {"quorvex:detachFailed", "Detach error %d"};
constexpr Message VERSION_FAILED = {"quorvex:versionFailed", "Get version error %d"};
constexpr Message RETRIEVAL_FAILED = {"quorvex:retrievalFailed", "Data retrieval error %d"};
constexpr Message APPROX_FAILED = {"quorvex:approxFailed", "Get Approx failed %d.\n"};
constexpr Message NEXT_FAILED = {"quorvex:nextFailed", "Get Next failed %d.\n"};
constexpr Message HISTORY_CAPACITY_EXCEEDED = {
    "quorvex:capacityExceeded",
    "The history holds more than %d rows, the most one scan can return"};
constexpr Message BAR_CAPACITY_EXCEEDED = {
    "quorvex:capacityExceeded",
    "The bar series holds more than %d rows, the most the matrix can hold"};

// The messages whose number is the status of a feed call.
constexpr Message STATUS_MESSAGES[] = {ATTACH_FAILED,    DETACH_FAILED, VERSION_FAILED,
                                       RETRIEVAL_FAILED, APPROX_FAILED, NEXT_FAILED};

// Identifiers of the errors that carry no number.
constexpr const char *BAD_INPUT = "quorvex:badInput";

// The line the history scan prints for a failed delivery, which is no error.
constexpr const char *APPROX_FAILURE_LINE = "DBA_GET_APPROX failed with code %d\n";

// The text of `format` with `number` in place of its "%d".
inline std::string textOf(const char *format, int32_t number) {
    std::string text = format;
    return text.replace(text.find("%d"), 2, std::to_string(number));
}
inline std::string textOf(const Message &message, int32_t number) {
    return textOf(message.format, number);
}

inline std::string sizeText(size_t rows, size_t columns) {
    return std::to_string(rows) + "-by-" + std::to_string(columns);
}

// How `value` differs from a `rows`-by-`columns` real double matrix, its numbers unread: the
// first difference found, or "" when there is none.
inline std::string matrixShapeMismatch(const mxArray *value, size_t rows, size_t columns) {
    if (value == nullptr || !mxIsDouble(value) || mxIsComplex(value)) {
        return "is not a real double matrix";
    }
    if (mxGetM(value) != rows || mxGetN(value) != columns) {
        return "is " + sizeText(mxGetM(value), mxGetN(value)) + ", not " + sizeText(rows, columns);
    }
    return "";
}

// How `value` differs from a `rows`-by-`columns` real double matrix of finite numbers: the
// first difference found, or "" when there is none.
inline std::string matrixMismatch(const mxArray *value, size_t rows, size_t columns) {
    const std::string shape = matrixShapeMismatch(value, rows, columns);
    if (!shape.empty()) {
        return shape;
    }
    for (size_t i = 0; i < rows * columns; ++i) {
        if (!std::isfinite(mxGetPr(value)[i])) {
            return "holds a number that is not finite at " + std::to_string(i);
        }
    }
    return "";
}

// The rows of a snapshot the feed could not read, when the caller asked for the statuses:
// true for a row whose every number is NaN and every text empty. Empty: every row was read.
using UnreadRows = std::vector<bool>;

inline bool isUnread(const UnreadRows &unread, size_t row) {
    return row < unread.size() && unread[row];
}

// How the numbers of a snapshot field's matrix differ from finite numbers in the rows read and
// NaN in the unread ones; element i of the matrix belongs to row `rowOf(i)`.
template <typename RowOf>
std::string numbersMismatch(const mxArray *value, const UnreadRows &unread, RowOf rowOf) {
    for (size_t i = 0; i < mxGetNumberOfElements(value); ++i) {
        const double number = mxGetPr(value)[i];
        const bool unreadRow = isUnread(unread, rowOf(i));
        if (unreadRow ? !std::isnan(number) : !std::isfinite(number)) {
            return std::string("holds ") +
                   (unreadRow ? "a number in an unread row" : "a number that is not finite") +
                   " at " + std::to_string(i);
        }
    }
    return "";
}

inline std::string textMismatch(const mxArray *text, size_t room) {
    if (text == nullptr || !mxIsChar(text) || mxGetM(text) > 1) {
        return "holds a text that is not a character row";
    }
    const std::string value = mxhost::textOf(text);
    if (value.size() > room || value.find('\0') != std::string::npos) {
        return "holds a text longer than " + std::to_string(room) + " or with a zero byte";
    }
    return "";
}

inline std::string fieldMismatch(const mxArray *value, const Field &field, size_t rows,
                                 const UnreadRows &unread = {}) {
    std::string shape;
    switch (field.shape) {
    case Shape::Column:
        shape = matrixShapeMismatch(value, rows, 1);
        return !shape.empty() ? shape : numbersMismatch(value, unread, [](size_t i) { return i; });
    case Shape::TwoColumns:
        shape = matrixShapeMismatch(value, rows, 2);
        return !shape.empty()
                   ? shape
                   : numbersMismatch(value, unread, [rows](size_t i) { return i % rows; });
    case Shape::DateRows:
        shape = matrixShapeMismatch(value, 3, rows);
        return !shape.empty() ? shape
                              : numbersMismatch(value, unread, [](size_t i) { return i / 3; });
    case Shape::Text:
        return textMismatch(value, field.textRoom);
    case Shape::Texts:
        if (value == nullptr || !mxIsCell(value) || mxGetM(value) != rows || mxGetN(value) != 1) {
            return "is not a " + sizeText(rows, 1) + " cell array";
        }
        for (size_t i = 0; i < rows; ++i) {
            const mxArray *text = mxGetCell(value, i);
            std::string wrong = textMismatch(text, field.textRoom);
            if (wrong.empty() && isUnread(unread, i) && !mxhost::textOf(text).empty()) {
                wrong = "holds a text in an unread row";
            }
            if (!wrong.empty()) {
                return wrong + " in row " + std::to_string(i + 1);
            }
        }
    }
    return "";
}

// How `result` differs from a 1-by-1 structure with exactly `fields`, in their order, each
// shaped for `rows` securities, every number finite and every text within its room (NaN and
// empty in the `unread` rows): the first difference found, or "" when there is none.
template <size_t N>
std::string structureMismatch(const mxArray *result, const Field (&fields)[N], size_t rows,
                              const UnreadRows &unread = {}) {
    if (result == nullptr || !mxIsStruct(result) || mxGetM(result) != 1 || mxGetN(result) != 1) {
        return "the result is not a 1-by-1 structure";
    }
    if (static_cast<size_t>(mxGetNumberOfFields(result)) != N) {
        return "the structure has " + std::to_string(mxGetNumberOfFields(result)) +
               " fields, not " + std::to_string(N);
    }
    for (size_t f = 0; f < N; ++f) {
        const char *name = mxGetFieldNameByNumber(result, static_cast<int>(f));
        if (name == nullptr || std::strcmp(name, fields[f].name) != 0) {
            return "field " + std::to_string(f + 1) + " is " + (name ? name : "unnamed") +
                   ", not " + fields[f].name;
        }
        const mxArray *value = mxGetField(result, 0, name);
        const std::string wrong = value == nullptr ? std::string("is unset")
                                                   : fieldMismatch(value, fields[f], rows, unread);
        if (!wrong.empty()) {
            return std::string("field ") + name + " " + wrong;
        }
    }
    return "";
}

} // namespace expected

#endif
