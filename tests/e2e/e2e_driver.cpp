// End-to-end run of all seven requests: loads the built module the way the host does (by
// path, resolving `mexFunction`), calls it through the stand-in host, and lets the module
// find and load the feed library by itself, beside the module.
//   e2e_driver <module file> fixed   against tests/e2e/fixed_feed.cpp: exact values
//   e2e_driver <module file> sim     against the feed simulator's sample stores: shapes and
//                                    the values the sample data fixes
//   ... fixed|sim --feed-in <folder>  the feed library is expected from <folder> instead of
//                                    the module's own
//   e2e_driver <module file> refused <text>
//                                    the attach check, twice in one process: each must raise
//                                    quorvex:feedLibrary with <text> in its message
// Prints one line per check and per request and closes with "N passed, M failed" over the
// seven requests; exits nonzero unless all seven passed.
#include "mex.h"
#include "mxhost_driver.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

#if defined(_WIN32)
constexpr const char *FEED_FILE = "PCQW32.dll";
#else
constexpr const char *FEED_FILE = "libPCQW32.so";
#endif

mxhost::EntryPoint entryPoint = nullptr;
bool fixedFeed = true;
int failedChecks = 0;

bool check(bool ok, const std::string &what) {
    std::printf("  %s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    if (!ok) {
        ++failedChecks;
    }
    return ok;
}

bool approx(double actual, double expected) {
    return std::fabs(actual - expected) <= 1e-9 * (1.0 + std::fabs(expected));
}

std::string folderOf(std::string path) {
    for (char &c : path) {
        if (c == '\\') {
            c = '/';
        }
    }
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool sameFolder(const std::string &a, const std::string &b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        // Windows paths compare without case.
        char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (x != y) {
            return false;
        }
    }
    return true;
}

#if defined(_WIN32)
// Paths go through the wide-character API and are compared in UTF-8, so that folders whose
// names lie outside the ANSI code page work; the arguments are taken from the wide command
// line for the same reason.
std::string utf8(const wchar_t *text) {
    char out[4 * MAX_PATH];
    int written = WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, nullptr, nullptr);
    return written > 0 ? std::string(out) : std::string();
}

std::wstring wideArgument(int index) {
    int count = 0;
    LPWSTR *arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring out = arguments != nullptr && index < count ? arguments[index] : L"";
    LocalFree(arguments);
    return out;
}

std::string absolutePath(int argument) {
    wchar_t full[MAX_PATH];
    std::wstring path = wideArgument(argument);
    DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return utf8(length > 0 && length < MAX_PATH ? full : path.c_str());
}

std::string loadModule(int argument) {
    std::wstring path = wideArgument(argument);
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) {
        return "LoadLibrary failed with error " + std::to_string(GetLastError());
    }
    FARPROC entry = GetProcAddress(module, "mexFunction");
    if (entry == nullptr) {
        return "no export named mexFunction";
    }
    std::memcpy(&entryPoint, &entry, sizeof entryPoint);
    return std::string();
}

// Where the feed library that the module loaded lies; empty when it is not loaded.
std::string loadedFeedPath() {
    HMODULE feed = GetModuleHandleA(FEED_FILE);
    wchar_t full[MAX_PATH];
    if (feed == nullptr || GetModuleFileNameW(feed, full, MAX_PATH) == 0) {
        return std::string();
    }
    return utf8(full);
}

void *feedSymbol(const char *name) {
    HMODULE feed = GetModuleHandleA(FEED_FILE);
    FARPROC symbol = feed != nullptr ? GetProcAddress(feed, name) : nullptr;
    void *out = nullptr;
    std::memcpy(&out, &symbol, sizeof out);
    return out;
}
#else
const char *const *arguments = nullptr;

std::string absolutePath(int argument) {
    const char *path = arguments[argument];
    char *full = realpath(path, nullptr);
    std::string out = full != nullptr ? std::string(full) : std::string(path);
    std::free(full);
    return out;
}

std::string loadModule(int argument) {
    void *module = dlopen(arguments[argument], RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        return dlerror();
    }
    void *entry = dlsym(module, "mexFunction");
    if (entry == nullptr) {
        return "no symbol named mexFunction";
    }
    std::memcpy(&entryPoint, &entry, sizeof entryPoint);
    return std::string();
}

void *feedSymbol(const char *name) {
    void *feed = dlopen(FEED_FILE, RTLD_NOW | RTLD_NOLOAD);
    return feed != nullptr ? dlsym(feed, name) : nullptr;
}

std::string loadedFeedPath() {
    void *entry = feedSymbol("dbax");
    Dl_info info;
    if (entry == nullptr || dladdr(entry, &info) == 0 || info.dli_fname == nullptr) {
        return std::string();
    }
    return info.dli_fname;
}
#endif

// Attachments the feed holds open; -1 when the feed does not say.
int32_t openAttachments() {
    using Counter = int32_t (*)();
    void *symbol =
        feedSymbol(fixedFeed ? "fixed_feed_open_attachments" : "pcqw32_open_attachments");
    if (symbol == nullptr) {
        return -1;
    }
    Counter counter = nullptr;
    std::memcpy(&counter, &symbol, sizeof counter);
    return counter();
}

struct Inputs {
    std::vector<mxhost::ArrayPtr> owned;
    std::vector<const mxArray *> raw;
};

Inputs request(int code, int database, const std::vector<std::string> &symbols = {},
               const std::vector<std::string> &qualifiers = {}) {
    Inputs in;
    in.owned.push_back(mxhost::scalar(code));
    in.owned.push_back(mxhost::scalar(database));
    in.owned.push_back(mxhost::scalar(static_cast<double>(symbols.size())));
    in.owned.push_back(mxhost::cellOfTexts(symbols));
    in.owned.push_back(mxhost::cellOfTexts(qualifiers));
    for (auto &array : in.owned) {
        in.raw.push_back(array.get());
    }
    return in;
}

mxhost::CallResult call(const Inputs &in) {
    return mxhost::call(entryPoint, 1, in.raw);
}

// The call succeeded and left no attachment open.
bool succeeded(const mxhost::CallResult &result) {
    bool ok = check(!result.raised,
                    "no error raised" + (result.raised ? ": " + result.message : std::string()));
    int32_t open = openAttachments();
    return check(open <= 0, "no attachment left open (" + std::to_string(open) + ")") && ok;
}

bool raisedWith(const mxhost::CallResult &result, const std::string &prefix) {
    bool ok = check(result.raised && result.message.compare(0, prefix.size(), prefix) == 0,
                    "raises \"" + prefix + "...\" (got \"" + result.message + "\")");
    int32_t open = openAttachments();
    return check(open <= 0, "detached before raising (" + std::to_string(open) + " open)") && ok;
}

const mxArray *field(const mxArray *structure, const char *name) {
    return structure != nullptr ? mxGetField(structure, 0, name) : nullptr;
}

double number(const mxArray *structure, const char *name, size_t element = 0) {
    const mxArray *array = field(structure, name);
    if (array == nullptr || mxGetPr(array) == nullptr || element >= mxGetNumberOfElements(array)) {
        return NAN;
    }
    return mxGetPr(array)[element];
}

std::string text(const mxArray *structure, const char *name, size_t element = 0) {
    const mxArray *array = field(structure, name);
    if (array == nullptr || !mxIsCell(array) || element >= mxGetNumberOfElements(array)) {
        return std::string();
    }
    return mxhost::textOf(mxGetCell(array, element));
}

bool shaped(const mxArray *array, size_t rows, size_t columns, const std::string &what) {
    bool ok = array != nullptr && mxGetM(array) == rows && mxGetN(array) == columns;
    return check(ok, what + " is " + std::to_string(rows) + "-by-" + std::to_string(columns));
}

double first(const mxArray *array) {
    return array != nullptr && mxGetPr(array) != nullptr && mxGetNumberOfElements(array) > 0
               ? mxGetPr(array)[0]
               : NAN;
}

double element(const mxArray *matrix, size_t row, size_t column) {
    return mxGetPr(matrix)[column * mxGetM(matrix) + row];
}

// Whether the run goes through the feed helper (QUORVEX_E2E_THROUGH_HELPER=1): the feed library
// is then loaded in the helper's process, not in this one.
bool throughHelper() {
    const char *value = std::getenv("QUORVEX_E2E_THROUGH_HELPER");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

bool attachCheck() {
    int database = fixedFeed ? 3 : 1;
    auto result = call(request(1, database));
    bool ok = succeeded(result);
    ok = check(approx(first(result.output()), database), "returns the database number") && ok;
    std::string feed = loadedFeedPath();
    std::printf("  feed library loaded from %s\n", feed.c_str());
    ok =
        (throughHelper() ? check(feed.empty(), "the feed library is loaded in the helper, not here")
                         : check(!feed.empty(), "the feed library is loaded")) &&
        ok;
    auto failed = call(request(1, fixedFeed ? -5 : 999));
    ok = raisedWith(failed, fixedFeed ? "Database Attach failed with error 12"
                                      : "Database Attach failed with error") &&
         ok;
    return ok;
}

bool versionQuery() {
    auto result = call(request(4, fixedFeed ? 4 : 1));
    bool ok = succeeded(result);
    const mxArray *version = result.output();
    std::vector<std::string> names = mxhost::fieldNames(version);
    ok = check(names == std::vector<std::string>{"majorversion", "minorversion", "release",
                                                 "serialnumber"},
               "the four version fields in order") &&
         ok;
    if (fixedFeed) {
        ok = check(approx(number(version, "majorversion"), 3) &&
                       approx(number(version, "minorversion"), -1),
                   "major 3, minor -1 (signed)") &&
             ok;
        ok = check(mxhost::textOf(field(version, "release")) == "B" &&
                       mxhost::textOf(field(version, "serialnumber")) == "00012345",
                   "release and serial number texts") &&
             ok;
    } else {
        ok =
            check(!mxhost::textOf(field(version, "serialnumber")).empty(), "a serial number") && ok;
    }
    return ok;
}

bool quoteSnapshot() {
    std::vector<std::string> symbols = fixedFeed ? std::vector<std::string>{"IBM", "QQQQ"}
                                                 : std::vector<std::string>{"AAPL", "MSFT"};
    auto result = call(request(2, fixedFeed ? 2 : 1, symbols, {"", fixedFeed ? "L" : ""}));
    bool ok = succeeded(result);
    const mxArray *quote = result.output();
    ok = check(mxhost::fieldNames(quote).size() == 45, "45 fields") && ok;
    ok = shaped(field(quote, "CloseRange"), 2, 2, "CloseRange") && ok;
    ok = check(text(quote, "Symbol", 0) == symbols[0] && text(quote, "Symbol", 1) == symbols[1],
               "symbols in input order (" + text(quote, "Symbol", 0) + ", " +
                   text(quote, "Symbol", 1) + ")") &&
         ok;
    if (fixedFeed) {
        ok = check(approx(number(quote, "LastPrice"), 123.45) &&
                       approx(number(quote, "BidPrice"), -2.5),
                   "prices scaled by the record's divisor") &&
             ok;
        ok = check(approx(number(quote, "LastSize"), 2147483648.0), "sizes unsigned") && ok;
        ok = check(approx(number(quote, "LastPriceTime"), 19.0 / 48.0), "time as a day fraction") &&
             ok;
        ok = check(number(quote, "LastTick") == -1 && number(quote, "BidTick") == 1 &&
                       number(quote, "Status") == 1 && number(quote, "News") == 0,
                   "ticks and flags") &&
             ok;
        ok = check(text(quote, "PrimaryExchange") == "NQ" && text(quote, "LastExchange") == "NY",
                   "exchange codes bounded by their room") &&
             ok;
        ok = check(number(quote, "CloseRange", 2) == 8 && number(quote, "TradeIndicator") == 0xBEEF,
                   "close range column 2 and trade indicator") &&
             ok;
        auto missing = call(request(2, 2, {"IBM", "NOPE"}, {"", ""}));
        ok = raisedWith(missing, "Data retrieval error 4") && ok;
    } else {
        ok = check(number(quote, "LastPrice") > 0, "a positive last price") && ok;
    }
    return ok;
}

bool historyScan() {
    auto result = call(request(3, fixedFeed ? 3 : 1, {fixedFeed ? "IBM" : "AAPL"}, {""}));
    bool ok = succeeded(result);
    const mxArray *history = result.output();
    if (fixedFeed) {
        if (!shaped(history, 16, 7, "the history")) {
            return false;
        }
        // Rows come in reverse record order within each block; every price of a block uses
        // the divisor of its first record (100).
        ok = check(element(history, 0, 0) == 7 && approx(element(history, 0, 1), 7.0) &&
                       element(history, 7, 0) == 0 && element(history, 8, 0) == 15,
                   "blocks stored in reverse record order") &&
             ok;
        ok = check(element(history, 0, 2) == 4294967047.0 && element(history, 0, 6) == 207 &&
                       element(history, 0, 3) == 1 && element(history, 0, 5) == 3,
                   "unsigned and byte columns") &&
             ok;
    } else {
        ok = check(history != nullptr && mxGetN(history) == 7 && mxGetM(history) > 0 &&
                       mxGetM(history) % 8 == 0,
                   "a non-empty history of whole blocks, 7 columns") &&
             ok;
    }
    return ok;
}

bool barSeries() {
    auto result = call(request(5, fixedFeed ? 5 : 1, {fixedFeed ? "IBM" : "AAPL"}, {""}));
    bool ok = succeeded(result);
    const mxArray *bars = result.output();
    if (!shaped(bars, 75000, 6, "the bar matrix")) {
        return false;
    }
    if (fixedFeed) {
        ok = check(element(bars, 0, 0) == 1000 && element(bars, 23, 0) == 1023 &&
                       element(bars, 24, 0) == 0,
                   "three blocks of eight rows, zeros after them") &&
             ok;
        ok = check(approx(element(bars, 9, 1), 9.0) && approx(element(bars, 9, 4), 9.75) &&
                       element(bars, 9, 5) == -9,
                   "prices divided by 64, last column signed") &&
             ok;
    } else {
        ok = check(element(bars, 0, 0) != 0, "a first bar") && ok;
    }
    return ok;
}

bool fundamentalsSnapshot() {
    std::vector<std::string> symbols = fixedFeed ? std::vector<std::string>{"IBM", "GE", "KO"}
                                                 : std::vector<std::string>{"AAPL", "MSFT", "IBM"};
    auto result = call(request(6, fixedFeed ? 6 : 2, symbols, {"", "", ""}));
    bool ok = succeeded(result);
    const mxArray *fundamentals = result.output();
    ok = check(mxhost::fieldNames(fundamentals).size() == 24, "24 fields") && ok;
    ok = shaped(field(fundamentals, "DivDate"), 3, 3, "DivDate") && ok;
    ok = shaped(field(fundamentals, "Name"), 3, 1, "Name") && ok;
    if (fixedFeed) {
        ok = check(approx(number(fundamentals, "ClosePrice", 2), 2.0) &&
                       approx(number(fundamentals, "EPS"), -1.5) &&
                       approx(number(fundamentals, "Beta"), 1.25),
                   "scaled price, EPS and beta") &&
             ok;
        ok = check(approx(number(fundamentals, "DivLast"), 655.35) &&
                       approx(number(fundamentals, "DivExp"), 1.5),
                   "dividends with their shared exponent") &&
             ok;
        ok = check(number(fundamentals, "DivDate", 3) == 2002 &&
                       number(fundamentals, "DivDate", 4) == 6 &&
                       number(fundamentals, "DivDate", 5) == 30,
                   "second security's dividend date in its column") &&
             ok;
        ok = check(number(fundamentals, "Volume") == 4294967295.0 &&
                       number(fundamentals, "OpenInterest") == -1,
                   "unsigned volume, signed open interest") &&
             ok;
        ok = check(text(fundamentals, "Name", 1) == "Fixed Answer Co" &&
                       text(fundamentals, "CusipNumber", 2) == "123456789" &&
                       text(fundamentals, "BaseItem") == "BASE",
                   "texts") &&
             ok;
    } else {
        ok = check(!text(fundamentals, "Name").empty(), "a name") && ok;
    }
    return ok;
}

bool cantRead() {
    auto result = call(request(7, fixedFeed ? 7 : 1, {fixedFeed ? "IBM" : "AAPL"}, {""}));
    bool ok = succeeded(result);
    return check(result.output() == nullptr, "no output") && ok;
}

} // namespace

// A library the module must refuse: every attempt raises the library error and the process
// goes on to the next.
int refusedRun(const char *text) {
    bool ok = true;
    for (int attempt = 1; attempt <= 2; ++attempt) {
        auto result = call(request(1, 3));
        std::printf("  attempt %d: %s\n", attempt, result.message.c_str());
        ok = check(result.raised && result.identifier == "quorvex:feedLibrary" &&
                       result.message.find(text) != std::string::npos,
                   std::string("raises quorvex:feedLibrary with \"") + text + "\"") &&
             ok;
    }
    std::printf("%s\n", ok ? "refused as expected" : "FAILED");
    return ok ? 0 : 1;
}

int main(int argc, char **argv) {
    bool refused = argc == 4 && std::strcmp(argv[2], "refused") == 0;
    bool feedElsewhere = argc == 5 && std::strcmp(argv[3], "--feed-in") == 0;
    if (!refused && ((argc != 3 && !feedElsewhere) ||
                     (std::strcmp(argv[2], "fixed") != 0 && std::strcmp(argv[2], "sim") != 0))) {
        std::fprintf(stderr, "usage: e2e_driver <module file> fixed|sim [--feed-in <folder>]\n"
                             "       e2e_driver <module file> refused <text>\n");
        return 2;
    }
    fixedFeed = std::strcmp(argv[2], "sim") != 0;
#if !defined(_WIN32)
    arguments = argv;
#endif
    std::string problem = loadModule(1);
    if (!problem.empty()) {
        std::fprintf(stderr, "e2e_driver: cannot load %s: %s\n", argv[1], problem.c_str());
        return 1;
    }
    if (refused) {
        return refusedRun(argv[3]);
    }

    struct Request {
        int code;
        const char *name;
        bool (*run)();
    };
    const Request REQUESTS[] = {
        {1, "attach check", attachCheck},       {2, "quote snapshot", quoteSnapshot},
        {3, "price history scan", historyScan}, {4, "version query", versionQuery},
        {5, "bar series", barSeries},           {6, "fundamentals snapshot", fundamentalsSnapshot},
        {7, "CANT record read", cantRead},
    };
    int passed = 0;
    int failed = 0;
    for (const Request &r : REQUESTS) {
        std::printf("request %d (%s)\n", r.code, r.name);
        bool ok = r.run();
        std::printf("request %d: %s\n", r.code, ok ? "passed" : "FAILED");
        if (ok) {
            ++passed;
        } else {
            ++failed;
        }
    }

    // The module looks for the feed library beside itself before anywhere else (the helper
    // beside it does the same, in its own process).
    std::string feed = loadedFeedPath();
    std::string expectedFolder = feedElsewhere ? absolutePath(4) : folderOf(absolutePath(1));
    if (!throughHelper()) {
        check(sameFolder(folderOf(feed), folderOf(expectedFolder + "/x")),
              "feed library taken from " + expectedFolder);
    }
    check(mxhost::liveArrayCount() == 0,
          "no array outlives its call (" + std::to_string(mxhost::liveArrayCount()) + " alive)");
    std::printf("%d checks failed\n", failedChecks);
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 && failedChecks == 0 ? 0 : 1;
}
