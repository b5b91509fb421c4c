// quorvex-cli: calls the module's requests from the shell through the stand-in host and prints
// the result as a table or as JSON, so a feed installation can be checked without a host.
#include "json_text.h"
#include "mex.h"
#include "mxhost_driver.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using quorvex_cli::jsonText;

const char *const USAGE =
    "usage: quorvex-cli [--json] [--all] REQUEST DATABASE [SECURITY...]\n"
    "\n"
    "REQUEST is one of\n"
    "  attach        attach check of DATABASE                   (request 1)\n"
    "  quote         quote snapshot of each SECURITY            (request 2)\n"
    "  history       price history of one SECURITY              (request 3)\n"
    "  version       version of the feed library                (request 4)\n"
    "  bars          bar series of one SECURITY                 (request 5)\n"
    "  fundamentals  fundamentals snapshot of each SECURITY     (request 6)\n"
    "  cant          CANT record read of one SECURITY, or none  (request 7)\n"
    "or a request code 1 to 7. DATABASE is the feed's database number, an integer from\n"
    "-2147483648 to 2147483647. A SECURITY is SYMBOL or SYMBOL:QUALIFIER, a symbol of at most 11\n"
    "characters and a qualifier of at most 4 (the most a feed key holds).\n"
    "\n"
    "  --json  print JSON instead of a table\n"
    "  --all   print every row of a bar series, not only the bars up to the last non-zero row\n"
    "\n"
    "The result goes to standard output; what the module prints, its warnings\n"
    "('warning IDENTIFIER: MESSAGE') and errors ('error IDENTIFIER: MESSAGE') to standard error.\n"
    "\n"
    "Exit status:\n"
    "  0  success\n"
    "  1  an error: the module raised one, a SECURITY is empty or too long (refused before any\n"
    "     module call, as quorvex:badSecurities or quorvex:badQualifier), or the result is\n"
    "     misshapen\n"
    "  2  a usage error\n"
    "  3  the result is printed, but the module warned (for example quorvex:noHistory): it may\n"
    "     be empty or incomplete\n";

struct Request {
    const char *name;
    int code;
};

constexpr Request REQUESTS[] = {{"attach", 1}, {"quote", 2},        {"history", 3}, {"version", 4},
                                {"bars", 5},   {"fundamentals", 6}, {"cant", 7}};

int requestCode(const std::string &word) {
    for (const Request &request : REQUESTS) {
        if (word == request.name) {
            return request.code;
        }
    }
    if (word.size() == 1 && word[0] >= '1' && word[0] <= '7') {
        return word[0] - '0';
    }
    return 0;
}

std::string number(double value) {
    if (std::isnan(value)) {
        return "null";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

// How a result field holds its values, for N securities.
enum class Shape {
    Column, // N-by-1 numbers
    Pair,   // N-by-2 numbers, a pair per security
    Date,   // 3-by-N numbers, a date per security
    Texts,  // N-by-1 cell array of texts
    Number, // one number (the version)
    Text    // one text (the version)
};

struct Field {
    const char *name;
    Shape shape;
};

constexpr Field QUOTE_FIELDS[] = {
    {"Symbol", Shape::Texts},
    {"PriceType", Shape::Column},
    {"PrimaryExchange", Shape::Texts},
    {"SecCategory", Shape::Column},
    {"Status", Shape::Column},
    {"News", Shape::Column},
    {"LastPrice", Shape::Column},
    {"LastSize", Shape::Column},
    {"LastPriceTime", Shape::Column},
    {"LastTick", Shape::Column},
    {"LastExchange", Shape::Texts},
    {"OpenPrice", Shape::Column},
    {"OpenSize", Shape::Column},
    {"OpenPriceTime", Shape::Column},
    {"OpenTick", Shape::Column},
    {"OpenExchange", Shape::Texts},
    {"HighPrice", Shape::Column},
    {"HighSize", Shape::Column},
    {"HighPriceTime", Shape::Column},
    {"HighExchange", Shape::Texts},
    {"LowPrice", Shape::Column},
    {"LowSize", Shape::Column},
    {"LowPriceTime", Shape::Column},
    {"LowExchange", Shape::Texts},
    {"YesterdayPrice", Shape::Column},
    {"YesterdayTick", Shape::Column},
    {"YesterdayExchange", Shape::Texts},
    {"BidPrice", Shape::Column},
    {"BidSize", Shape::Column},
    {"BidPriceTime", Shape::Column},
    {"BidTick", Shape::Column},
    {"BidExchange", Shape::Texts},
    {"AskPrice", Shape::Column},
    {"AskSize", Shape::Column},
    {"AskPriceTime", Shape::Column},
    {"AskTick", Shape::Column},
    {"AskExchange", Shape::Texts},
    {"OpenRange", Shape::Column},
    {"CloseRange", Shape::Pair},
    {"Volume", Shape::Column},
    {"OpenInterest", Shape::Column},
    {"QuoteIndicator", Shape::Column},
    {"TradeIndicator", Shape::Column},
    {"ExDividendToday", Shape::Column},
    {"SplitToday", Shape::Column},
};

constexpr Field FUNDAMENTALS_FIELDS[] = {
    {"LastUpdate", Shape::Column},  {"Name", Shape::Texts},          {"BaseItem", Shape::Texts},
    {"EPS", Shape::Column},         {"S&PCode", Shape::Column},      {"PriceType", Shape::Column},
    {"SecCategory", Shape::Column}, {"ClosePrice", Shape::Column},   {"Volume", Shape::Column},
    {"VolumeFlag", Shape::Column},  {"OpenInterest", Shape::Column}, {"HistHigh", Shape::Column},
    {"HistLow", Shape::Column},     {"DivExp", Shape::Column},       {"DivLast", Shape::Column},
    {"DivDate", Shape::Date},       {"DivFreq", Shape::Column},      {"ExpDate", Shape::Date},
    {"Outstanding", Shape::Column}, {"Beta", Shape::Column},         {"ShPerContr", Shape::Column},
    {"StrikePrice", Shape::Column}, {"RawMatDate", Shape::Date},     {"CusipNumber", Shape::Texts},
};

constexpr Field VERSION_FIELDS[] = {{"majorversion", Shape::Number},
                                    {"minorversion", Shape::Number},
                                    {"release", Shape::Text},
                                    {"serialnumber", Shape::Text}};

// The columns of the matrix results, as the feed simulator fills them.
const char *const HISTORY_COLUMNS[] = {"Day",    "Price",  "Size",     "Hour",
                                       "Minute", "Second", "Condition"};
const char *const BAR_COLUMNS[] = {"Stamp", "Open", "High", "Low", "Close", "Volume"};

template <size_t N> std::vector<Field> fieldsOf(const Field (&table)[N]) {
    return std::vector<Field>(table, table + N);
}

// Whether a field's array has the shape the table gives it for `n` securities.
bool hasShape(const mxArray *value, Shape shape, size_t n) {
    if (value == nullptr) {
        return false;
    }
    switch (shape) {
    case Shape::Column:
        return mxIsDouble(value) && mxGetM(value) == n && mxGetN(value) == 1;
    case Shape::Pair:
        return mxIsDouble(value) && mxGetM(value) == n && mxGetN(value) == 2;
    case Shape::Date:
        return mxIsDouble(value) && mxGetM(value) == 3 && mxGetN(value) == n;
    case Shape::Texts:
        return mxIsCell(value) && mxGetM(value) == n && mxGetN(value) == 1;
    case Shape::Number:
        return mxIsDouble(value) && mxGetNumberOfElements(value) == 1;
    case Shape::Text:
        return mxIsChar(value);
    }
    return false;
}

// The value of a field for security i (or the field's one value), as text or JSON.
std::string valueOf(const mxArray *value, Shape shape, size_t i, bool json) {
    const size_t rows = mxGetM(value);
    std::vector<double> numbers;
    switch (shape) {
    case Shape::Texts:
    case Shape::Text: {
        std::string text = mxhost::textOf(shape == Shape::Texts ? mxGetCell(value, i) : value);
        return json ? jsonText(text) : text;
    }
    case Shape::Column:
        return number(mxGetPr(value)[i]);
    case Shape::Number:
        return number(mxGetPr(value)[0]);
    case Shape::Pair:
        numbers = {mxGetPr(value)[i], mxGetPr(value)[rows + i]};
        break;
    case Shape::Date:
        numbers = {mxGetPr(value)[3 * i], mxGetPr(value)[3 * i + 1], mxGetPr(value)[3 * i + 2]};
        break;
    }
    std::string out;
    for (size_t k = 0; k < numbers.size(); ++k) {
        out += (k == 0 ? "" : json ? ", " : " ") + number(numbers[k]);
    }
    return json ? "[" + out + "]" : out;
}

// Prints a structure result field by field in the table's order: one row per field and one
// column per security, or a JSON object of arrays. False (after saying which) when the
// result does not have the shape the table gives.
bool printStructure(const mxArray *structure, const std::vector<Field> &fields, size_t securities,
                    bool json) {
    for (const Field &field : fields) {
        if (!hasShape(mxGetField(structure, 0, field.name), field.shape, securities)) {
            std::fprintf(stderr, "quorvex-cli: the result's field %s is missing or misshapen\n",
                         field.name);
            return false;
        }
    }
    bool one = fields[0].shape == Shape::Number || fields[0].shape == Shape::Text;
    std::string out = json ? "{" : "";
    for (size_t f = 0; f < fields.size(); ++f) {
        const mxArray *value = mxGetField(structure, 0, fields[f].name);
        if (json) {
            out += (f > 0 ? ", " : "") + jsonText(fields[f].name) + ": ";
        } else {
            char name[32];
            std::snprintf(name, sizeof name, "%-18s", fields[f].name);
            out += name;
        }
        if (one) {
            out += (json ? "" : " ") + valueOf(value, fields[f].shape, 0, json);
        } else {
            out += json ? "[" : "";
            for (size_t i = 0; i < securities; ++i) {
                std::string text = valueOf(value, fields[f].shape, i, json);
                if (json) {
                    out += (i > 0 ? ", " : "") + text;
                } else {
                    char cell[256];
                    std::snprintf(cell, sizeof cell, " %-16s", text.c_str());
                    out += cell;
                }
            }
            out += json ? "]" : "";
        }
        out += json ? "" : "\n";
    }
    std::fputs(json ? (out + "}\n").c_str() : out.c_str(), stdout);
    return true;
}

// Rows of a matrix worth printing: all, or up to the last row with a non-zero element.
size_t rowsToShow(const mxArray *matrix, bool all) {
    size_t rows = mxGetM(matrix);
    size_t columns = mxGetN(matrix);
    if (all) {
        return rows;
    }
    const double *data = mxGetPr(matrix);
    size_t last = 0;
    for (size_t r = 0; r < rows; ++r) {
        for (size_t c = 0; c < columns; ++c) {
            if (data[c * rows + r] != 0.0) {
                last = r + 1;
                break;
            }
        }
    }
    return last;
}

// Prints a matrix result under its column names, or as a JSON array of rows. False (after
// saying so) when the result has another number of columns.
template <size_t N>
bool printMatrix(const mxArray *matrix, const char *const (&names)[N], bool json, bool all) {
    size_t rows = mxGetM(matrix);
    size_t columns = mxGetN(matrix);
    if (!mxIsDouble(matrix) || columns != N) {
        std::fprintf(stderr, "quorvex-cli: the result is not a matrix of %zu columns\n", N);
        return false;
    }
    size_t shown = rowsToShow(matrix, all);
    const double *data = mxGetPr(matrix);
    if (json) {
        std::printf("[");
    } else {
        for (size_t c = 0; c < columns; ++c) {
            std::printf("%s%14s", c > 0 ? " " : "", names[c]);
        }
        std::printf("\n");
    }
    for (size_t r = 0; r < shown; ++r) {
        if (json) {
            std::printf("%s[", r > 0 ? ",\n " : "");
        }
        for (size_t c = 0; c < columns; ++c) {
            const std::string value = number(data[c * rows + r]);
            if (json) {
                std::printf("%s%s", c > 0 ? ", " : "", value.c_str());
            } else {
                std::printf("%s%14s", c > 0 ? " " : "", value.c_str());
            }
        }
        std::printf(json ? "]" : "\n");
    }
    if (json) {
        std::printf("]\n");
    } else if (shown < rows) {
        std::printf("(%zu of %zu rows shown; the rest are zero)\n", shown, rows);
    }
    return true;
}

// A database number: a decimal integer, optionally signed, in the signed 32-bit range. The
// module would cut a fraction off (1.5 is database 1), so none is taken here.
bool parseDatabase(const std::string &text, int32_t &database) {
    const char *first = text.c_str();
    const char *last = first + text.size();
    if (first != last && *first == '+') {
        ++first;
    }
    if (first == last || (*first == '-' && text[0] == '+')) {
        return false;
    }
    const std::from_chars_result parsed = std::from_chars(first, last, database);
    return parsed.ec == std::errc() && parsed.ptr == last;
}

// Symbol and qualifier lengths the feed key holds. The module cuts a longer symbol to its
// first 11 characters, which would quote another security, so the tool refuses it, in the
// words of the Octave functions' checks.
constexpr size_t SYMBOL_LIMIT = 11;
constexpr size_t QUALIFIER_LIMIT = 4;

struct Refusal {
    std::string identifier; // empty when every security fits
    std::string message;
};

// The error of the first security too long for a feed key.
Refusal refuseLongSecurity(const std::vector<std::string> &symbols,
                           const std::vector<std::string> &qualifiers) {
    for (size_t i = 0; i < symbols.size(); ++i) {
        const std::string position = std::to_string(i + 1);
        if (symbols[i].empty()) {
            return {"quorvex:badSecurities", "security " + position + " has an empty symbol"};
        }
        if (symbols[i].size() > SYMBOL_LIMIT) {
            return {"quorvex:badSecurities", "security " + position + " ('" + symbols[i] +
                                                 "') has " + std::to_string(symbols[i].size()) +
                                                 " characters; a symbol has at most " +
                                                 std::to_string(SYMBOL_LIMIT)};
        }
        if (qualifiers[i].size() > QUALIFIER_LIMIT) {
            return {"quorvex:badQualifier", "qualifier " + position + " ('" + qualifiers[i] +
                                                "') has " + std::to_string(qualifiers[i].size()) +
                                                " characters; a qualifier has at most " +
                                                std::to_string(QUALIFIER_LIMIT)};
        }
    }
    return {};
}

int usageError(const std::string &what) {
    std::fprintf(stderr, "quorvex-cli: %s\n\n%s", what.c_str(), USAGE);
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    bool json = false;
    bool all = false;
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        if (word == "--json") {
            json = true;
        } else if (word == "--all") {
            all = true;
        } else if (word == "--help" || word == "-h") {
            std::fputs(USAGE, stdout);
            return 0;
        } else if (word.size() > 1 && word[0] == '-' && word[1] == '-') {
            return usageError("unknown option '" + word + "'");
        } else {
            words.push_back(word);
        }
    }
    if (words.empty()) {
        return usageError("REQUEST and DATABASE are missing");
    }
    int code = requestCode(words[0]);
    if (code == 0) {
        return usageError("unknown request '" + words[0] + "'");
    }
    if (words.size() < 2) {
        return usageError("DATABASE is missing");
    }
    int32_t database = 0;
    if (!parseDatabase(words[1], database)) {
        return usageError("the database number must be an integer from -2147483648 to "
                          "2147483647, not '" +
                          words[1] + "'");
    }

    std::vector<std::string> symbols;
    std::vector<std::string> qualifiers;
    for (size_t i = 2; i < words.size(); ++i) {
        size_t colon = words[i].find(':');
        symbols.push_back(words[i].substr(0, colon));
        qualifiers.push_back(colon == std::string::npos ? "" : words[i].substr(colon + 1));
    }
    // How many securities each request takes: at least, at most.
    static const size_t LEAST[] = {0, 0, 1, 1, 0, 1, 1, 0};
    static const size_t MOST[] = {0, 0, SIZE_MAX, 1, 0, 1, SIZE_MAX, 1};
    if (symbols.size() < LEAST[code] || symbols.size() > MOST[code]) {
        const char *takes = MOST[code] == 0    ? "no security"
                            : LEAST[code] == 0 ? "at most one security"
                            : MOST[code] == 1  ? "exactly one security"
                                               : "at least one security";
        return usageError(words[0] + " takes " + takes);
    }
    const Refusal refusal = refuseLongSecurity(symbols, qualifiers);
    if (!refusal.identifier.empty()) {
        std::fprintf(stderr, "error %s: %s\n", refusal.identifier.c_str(), refusal.message.c_str());
        return 1;
    }

    std::vector<mxhost::ArrayPtr> owned;
    owned.push_back(mxhost::scalar(code));
    owned.push_back(mxhost::scalar(database));
    if (code != 1 && code != 4) {
        owned.push_back(mxhost::scalar(static_cast<double>(symbols.size())));
        if (!symbols.empty() || code != 7) {
            owned.push_back(mxhost::cellOfTexts(symbols));
            owned.push_back(mxhost::cellOfTexts(qualifiers));
        }
    }
    std::vector<const mxArray *> inputs;
    for (const auto &input : owned) {
        inputs.push_back(input.get());
    }

    // What the module prints and its warnings go to standard error, so standard output holds
    // the result alone (and stays valid JSON).
    mxhost::CallResult result = mxhost::call(mexFunction, 1, inputs);
    std::fputs(result.printed.c_str(), stderr);
    for (const mxhost::Warning &warning : result.warnings) {
        std::fprintf(stderr, "warning %s: %s\n", warning.identifier.c_str(),
                     warning.message.c_str());
    }
    if (result.raised) {
        std::fprintf(stderr, "error %s: %s\n", result.identifier.c_str(), result.message.c_str());
        return 1;
    }
    const mxArray *output = result.output();
    bool shaped = true;
    if (output == nullptr) {
        std::printf(json ? "null\n" : "ok\n");
    } else if (code == 2) {
        shaped = printStructure(output, fieldsOf(QUOTE_FIELDS), symbols.size(), json);
    } else if (code == 6) {
        shaped = printStructure(output, fieldsOf(FUNDAMENTALS_FIELDS), symbols.size(), json);
    } else if (code == 4) {
        shaped = printStructure(output, fieldsOf(VERSION_FIELDS), 1, json);
    } else if (code == 3) {
        shaped = printMatrix(output, HISTORY_COLUMNS, json, true);
    } else if (code == 5) {
        shaped = printMatrix(output, BAR_COLUMNS, json, all);
    } else {
        std::printf("%s\n", number(mxGetPr(output)[0]).c_str());
    }
    if (!shaped) {
        return 1;
    }
    return result.warnings.empty() ? 0 : 3;
}
