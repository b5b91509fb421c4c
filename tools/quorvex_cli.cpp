// quorvex-cli: calls the module's requests from the shell through the stand-in host and prints
// the result as a table or as JSON, so a feed installation can be checked without a host.
#include "json_text.h"
#include "mex.h"
#include "mxhost_driver.h"
#include "pcqw32_layout.h"

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
    COLUMN, // N-by-1 numbers
    PAIR,   // N-by-2 numbers, a pair per security
    DATE,   // 3-by-N numbers, a date per security
    TEXTS,  // N-by-1 cell array of texts
    NUMBER, // one number (the version)
    TEXT    // one text (the version)
};

// The shape of a field's array: for `n` securities when the structure holds one value per
// security, else (the version) one number or one text. False when it has none of them.
bool shapeOf(const mxArray *value, bool perSecurity, size_t n, Shape &shape) {
    if (value == nullptr) {
        return false;
    }
    const size_t rows = mxGetM(value);
    const size_t columns = mxGetN(value);
    if (!perSecurity) {
        shape = mxIsChar(value) ? Shape::TEXT : Shape::NUMBER;
        return mxIsChar(value) || (mxIsDouble(value) && mxGetNumberOfElements(value) == 1);
    }
    if (mxIsCell(value)) {
        shape = Shape::TEXTS;
        return rows == n && columns == 1;
    }
    if (!mxIsDouble(value)) {
        return false;
    }
    if (rows == n && (columns == 1 || columns == 2)) {
        shape = columns == 1 ? Shape::COLUMN : Shape::PAIR;
        return true;
    }
    shape = Shape::DATE;
    return rows == 3 && columns == n;
}

// The value of a field for security i (or the field's one value), as text or JSON.
std::string valueOf(const mxArray *value, Shape shape, size_t i, bool json) {
    const size_t rows = mxGetM(value);
    std::vector<double> numbers;
    switch (shape) {
    case Shape::TEXTS:
    case Shape::TEXT: {
        std::string text = mxhost::textOf(shape == Shape::TEXTS ? mxGetCell(value, i) : value);
        return json ? jsonText(text) : text;
    }
    case Shape::COLUMN:
        return number(mxGetPr(value)[i]);
    case Shape::NUMBER:
        return number(mxGetPr(value)[0]);
    case Shape::PAIR:
        numbers = {mxGetPr(value)[i], mxGetPr(value)[rows + i]};
        break;
    case Shape::DATE:
        numbers = {mxGetPr(value)[3 * i], mxGetPr(value)[3 * i + 1], mxGetPr(value)[3 * i + 2]};
        break;
    }
    std::string out;
    for (size_t k = 0; k < numbers.size(); ++k) {
        out += (k == 0 ? "" : json ? ", " : " ") + number(numbers[k]);
    }
    return json ? "[" + out + "]" : out;
}

// Prints a structure result field by field in its order: one row per field and one column
// per security (one value per field when `perSecurity` is false), or a JSON object of arrays.
// False (after saying which) when a field has none of the shapes the result's fields take.
bool printStructure(const mxArray *structure, bool perSecurity, size_t securities, bool json) {
    const int fieldCount = mxGetNumberOfFields(structure);
    std::vector<const char *> names;
    std::vector<Shape> shapes;
    for (int f = 0; f < fieldCount; ++f) {
        const char *name = mxGetFieldNameByNumber(structure, f);
        Shape shape = Shape::COLUMN;
        if (!shapeOf(mxGetField(structure, 0, name), perSecurity, securities, shape)) {
            std::fprintf(stderr, "quorvex-cli: the result's field %s is missing or misshapen\n",
                         name);
            return false;
        }
        names.push_back(name);
        shapes.push_back(shape);
    }
    std::string out = json ? "{" : "";
    for (size_t f = 0; f < names.size(); ++f) {
        const mxArray *value = mxGetField(structure, 0, names[f]);
        if (json) {
            out += (f > 0 ? ", " : "") + jsonText(names[f]) + ": ";
        } else {
            char name[32];
            std::snprintf(name, sizeof name, "%-18s", names[f]);
            out += name;
        }
        if (!perSecurity) {
            out += (json ? "" : " ") + valueOf(value, shapes[f], 0, json);
        } else {
            out += json ? "[" : "";
            for (size_t i = 0; i < securities; ++i) {
                std::string text = valueOf(value, shapes[f], i, json);
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

// Symbol and qualifier lengths the feed key holds. The module cuts a longer symbol to the
// key's length, which would quote another security, so the tool refuses it, in the words of
// the Octave functions' checks.
constexpr size_t SYMBOL_LIMIT = KEY_SYMBOL_LENGTH;
constexpr size_t QUALIFIER_LIMIT = KEY_QUALIFIER_SIZE;

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
    } else if (code == 2 || code == 6) {
        shaped = printStructure(output, true, symbols.size(), json);
    } else if (code == 4) {
        shaped = printStructure(output, false, 1, json);
    } else if (code == 3) {
        shaped = printMatrix(output, HISTORY_COLUMN_NAMES, json, true);
    } else if (code == 5) {
        shaped = printMatrix(output, BAR_COLUMN_NAMES, json, all);
    } else {
        std::printf("%s\n", number(mxGetPr(output)[0]).c_str());
    }
    if (!shaped) {
        return 1;
    }
    return result.warnings.empty() ? 0 : 3;
}
