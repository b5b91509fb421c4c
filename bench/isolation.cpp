// Times the module loaded by path as the host loads it, its feed library (the in-memory feed
// built as PCQW32) found the way the module finds the vendor's, so that one program measures
// a request in the host's own process or through the feed helper, as QUORVEX_FEED_ISOLATION
// says:
//   quorvex-bench-isolation MODULE [REPETITIONS] [CASE...]
// Cases: quote1 (one security, the round trip), quotes (10,000), fundamentals (10,000),
// history (500,000 rows), bars (75,000 rows); all of them when none is named. For each case it
// prints one line, "CASE ROWS MEDIAN_US MIN_US", wall time per call: the median and the least
// of REPETITIONS batches (default 9), each batch as many calls as fill about 0.2 s. Every call
// is checked to have answered without a raise and with the expected rows.
#include "mxhost_driver.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The in-memory feed serves what the database number given at attach names: the request code.
struct Case {
    const char *name;
    int request;
    size_t securities;
    const char *symbolFormat; // the symbols of the in-memory feed
    size_t rows;              // rows of the first output
};

constexpr Case CASES[] = {
    {"quote1", 2, 1, "S%06u", 1},
    {"quotes", 2, 10000, "S%06u", 10000},
    {"fundamentals", 6, 10000, "S%06u", 10000},
    {"history", 3, 1, "HISTSEC", 500000},
    {"bars", 5, 1, "S%06u", 75000},
};

struct Inputs {
    std::vector<mxhost::ArrayPtr> owned;
    std::vector<const mxArray *> raw;
};

Inputs inputsOf(const Case &c) {
    Inputs inputs;
    inputs.owned.push_back(mxhost::scalar(c.request));
    inputs.owned.push_back(mxhost::scalar(c.request));
    std::vector<std::string> symbols;
    std::vector<std::string> qualifiers;
    for (size_t i = 0; i < c.securities; ++i) {
        char symbol[16];
        std::snprintf(symbol, sizeof symbol, c.symbolFormat, static_cast<unsigned>(i));
        symbols.emplace_back(symbol);
        qualifiers.emplace_back("US");
    }
    inputs.owned.push_back(mxhost::scalar(static_cast<double>(c.securities)));
    inputs.owned.push_back(mxhost::cellOfTexts(symbols));
    inputs.owned.push_back(mxhost::cellOfTexts(qualifiers));
    for (const mxhost::ArrayPtr &input : inputs.owned) {
        inputs.raw.push_back(input.get());
    }
    return inputs;
}

// One call; false (with the reason on standard error) when it raised or gave other rows.
bool callOnce(mxhost::EntryPoint entry, const Case &c, const Inputs &inputs) {
    mxhost::CallResult result = mxhost::call(entry, 1, inputs.raw);
    if (result.raised) {
        std::fprintf(stderr, "%s: %s: %s\n", c.name, result.identifier.c_str(),
                     result.message.c_str());
        return false;
    }
    const mxArray *first = result.output(0);
    size_t rows = first == nullptr ? 0 : mxGetM(first);
    if (first != nullptr && mxIsStruct(first) && mxGetNumberOfElements(first) == 1) {
        const mxArray *field = mxGetNumberOfFields(first) > 0
                                   ? mxGetField(first, 0, mxGetFieldNameByNumber(first, 0))
                                   : nullptr;
        rows = field == nullptr ? 0 : mxGetM(field);
    }
    if (rows < c.rows) {
        std::fprintf(stderr, "%s: %lu rows, %lu expected\n", c.name,
                     static_cast<unsigned long>(rows), static_cast<unsigned long>(c.rows));
        return false;
    }
    return true;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s MODULE [REPETITIONS] [CASE...]\n", argv[0]);
        return 2;
    }
    mxhost::setUninitPoison(false);
    mxhost::EntryPoint entry = mxhost::loadEntryPoint(argv[1]);
    if (entry == nullptr) {
        std::fprintf(stderr, "%s: cannot load the module %s\n", argv[0], argv[1]);
        return 2;
    }
    int repetitions = argc > 2 ? std::atoi(argv[2]) : 9;
    if (repetitions < 1) {
        std::fprintf(stderr, "%s: repetitions must be a positive number\n", argv[0]);
        return 2;
    }
    std::vector<const Case *> chosen;
    for (int a = 3; a < argc; ++a) {
        const Case *found = nullptr;
        for (const Case &c : CASES) {
            if (std::strcmp(c.name, argv[a]) == 0) {
                found = &c;
            }
        }
        if (found == nullptr) {
            std::fprintf(stderr, "%s: unknown case %s\n", argv[0], argv[a]);
            return 2;
        }
        chosen.push_back(found);
    }
    if (chosen.empty()) {
        for (const Case &c : CASES) {
            chosen.push_back(&c);
        }
    }

    for (const Case *c : chosen) {
        Inputs inputs = inputsOf(*c);
        // The first calls bind the library, start the helper and build the feed's records.
        for (int warm = 0; warm < 3; ++warm) {
            if (!callOnce(entry, *c, inputs)) {
                return 1;
            }
        }
        auto start = std::chrono::steady_clock::now();
        if (!callOnce(entry, *c, inputs)) {
            return 1;
        }
        double single = secondsSince(start);
        long batch = std::max(1L, static_cast<long>(0.2 / std::max(single, 1e-7)));
        std::vector<double> perCall;
        for (int r = 0; r < repetitions; ++r) {
            start = std::chrono::steady_clock::now();
            for (long k = 0; k < batch; ++k) {
                if (!callOnce(entry, *c, inputs)) {
                    return 1;
                }
            }
            perCall.push_back(secondsSince(start) / static_cast<double>(batch));
        }
        std::sort(perCall.begin(), perCall.end());
        std::printf("%s %lu %.3f %.3f\n", c->name, static_cast<unsigned long>(c->rows),
                    perCall[perCall.size() / 2] * 1e6, perCall.front() * 1e6);
        std::fflush(stdout);
    }
    return 0;
}
