// quorvex-cli: calls the module's requests from the shell through the stand-in host and prints
// the result as a table or as JSON, so a feed installation can be checked without a host.
#include "mex.h"
#include "mxhost_driver.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

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
    "or a request code 1 to 7. A SECURITY is SYMBOL or SYMBOL:QUALIFIER.\n"
    "\n"
    "  --json  print JSON instead of a table\n"
    "  --all   print every row of a bar series, not only the bars up to the last non-zero row\n"
    "\n"
    "Exit status: 0 on success, 1 when the module raised an error, 2 on a usage error.\n";

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

std::string jsonText(const std::string &text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string number(double value) {
    if (std::isnan(value)) {
        return "null";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
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

// One element of a structure field, as text, for security i.
std::string cellOf(const mxArray *field, size_t i, bool json) {
    if (mxIsCell(field)) {
        std::string text = mxhost::textOf(mxGetCell(field, i));
        return json ? jsonText(text) : text;
    }
    const double *data = mxGetPr(field);
    size_t rows = mxGetM(field);
    size_t columns = mxGetN(field);
    if (columns == 1) {
        return number(data[i]);
    }
    // Several values per security: N-by-2 ranges, or 3-by-N dates.
    std::string out = json ? "[" : "";
    bool perColumn = rows == 3 && columns != 2;
    size_t count = perColumn ? rows : columns;
    for (size_t k = 0; k < count; ++k) {
        double value = perColumn ? data[i * rows + k] : data[k * rows + i];
        if (k > 0) {
            out += json ? ", " : " ";
        }
        out += number(value);
    }
    return json ? out + "]" : out;
}

size_t securitiesIn(const mxArray *structure) {
    const mxArray *first = mxGetField(structure, 0, mxGetFieldNameByNumber(structure, 0));
    if (first == nullptr) {
        return 0;
    }
    return mxIsCell(first) || mxGetN(first) == 1 ? mxGetM(first) : mxGetN(first);
}

void printStructure(const mxArray *structure, bool json) {
    int fields = mxGetNumberOfFields(structure);
    size_t securities = securitiesIn(structure);
    bool scalar = true;
    for (int f = 0; f < fields; ++f) {
        const mxArray *value = mxGetField(structure, 0, mxGetFieldNameByNumber(structure, f));
        scalar = scalar && !mxIsCell(value) && value != nullptr &&
                 (mxIsChar(value) || mxGetNumberOfElements(value) == 1);
    }
    if (json) {
        std::printf("{");
        for (int f = 0; f < fields; ++f) {
            const char *name = mxGetFieldNameByNumber(structure, f);
            const mxArray *value = mxGetField(structure, 0, name);
            std::printf("%s%s: ", f > 0 ? ", " : "", jsonText(name).c_str());
            if (scalar) {
                std::printf("%s", mxIsChar(value) ? jsonText(mxhost::textOf(value)).c_str()
                                                  : number(mxGetPr(value)[0]).c_str());
                continue;
            }
            std::printf("[");
            for (size_t i = 0; i < securities; ++i) {
                std::printf("%s%s", i > 0 ? ", " : "", cellOf(value, i, true).c_str());
            }
            std::printf("]");
        }
        std::printf("}\n");
        return;
    }
    for (int f = 0; f < fields; ++f) {
        const char *name = mxGetFieldNameByNumber(structure, f);
        const mxArray *value = mxGetField(structure, 0, name);
        std::printf("%-18s", name);
        if (scalar) {
            std::printf(" %s\n", mxIsChar(value) ? mxhost::textOf(value).c_str()
                                                 : number(mxGetPr(value)[0]).c_str());
            continue;
        }
        for (size_t i = 0; i < securities; ++i) {
            std::printf(" %-16s", cellOf(value, i, false).c_str());
        }
        std::printf("\n");
    }
}

void printMatrix(const mxArray *matrix, bool json, bool all) {
    size_t rows = mxGetM(matrix);
    size_t columns = mxGetN(matrix);
    size_t shown = rowsToShow(matrix, all);
    const double *data = mxGetPr(matrix);
    if (json) {
        std::printf("[");
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
        } else {
            words.push_back(word);
        }
    }
    if (words.size() < 2 || requestCode(words[0]) == 0) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    int code = requestCode(words[0]);
    char *end = nullptr;
    double database = std::strtod(words[1].c_str(), &end);
    if (end == words[1].c_str() || *end != '\0') {
        std::fprintf(stderr, "quorvex-cli: the database number must be a number, not '%s'\n",
                     words[1].c_str());
        return 2;
    }

    std::vector<std::string> symbols;
    std::vector<std::string> qualifiers;
    for (size_t i = 2; i < words.size(); ++i) {
        size_t colon = words[i].find(':');
        symbols.push_back(words[i].substr(0, colon));
        qualifiers.push_back(colon == std::string::npos ? "" : words[i].substr(colon + 1));
    }
    bool oneSecurity = code == 3 || code == 5;
    if (oneSecurity && symbols.size() != 1) {
        std::fprintf(stderr, "quorvex-cli: %s takes exactly one security\n", words[0].c_str());
        return 2;
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

    mxhost::setEcho(true);
    mxhost::CallResult result = mxhost::call(mexFunction, 1, inputs);
    if (result.raised) {
        std::fprintf(stderr, "error %s: %s\n", result.identifier.c_str(), result.message.c_str());
        return 1;
    }
    const mxArray *output = result.output();
    if (output == nullptr) {
        std::printf(json ? "null\n" : "ok\n");
    } else if (mxIsStruct(output)) {
        printStructure(output, json);
    } else {
        printMatrix(output, json, all || code != 5);
    }
    return 0;
}
