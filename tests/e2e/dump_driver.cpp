// Runs a fixed series of requests of all seven kinds through a module, loaded by path the way
// the host loads it, and writes everything each one gave back to standard output: the output
// array (shapes, field names, texts, and a digest of every double's bits), the printed text,
// the warnings and the raised error. Two runs that must agree give identical output; the
// record-and-replay test compares a direct run, a recording run and a replay this way, and the
// feed helper's test a run through the helper with one in the module's own process.
//   dump_driver <module file>          the requests of the simulator's sample
//   dump_driver <module file> cue      the requests of the cue feed (tests/helper/cue_feed.cpp):
//                                      event 52, both capacities, the stall bound, and every
//                                      request with its second output
//   dump_driver <module file> lost     the cue feed ending its process in a scan and never
//                                      answering, each followed by an attach check: through
//                                      the feed helper, which alone survives them
#include "mex.h"
#include "mxhost_driver.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// FNV-1a over the bits of the doubles.
uint64_t digest(const double *values, size_t n) {
    uint64_t h = 14695981039346656037ull;
    const auto *p = reinterpret_cast<const unsigned char *>(values);
    for (size_t i = 0; i < n * sizeof(double); ++i) {
        h = (h ^ p[i]) * 1099511628211ull;
    }
    return h;
}

void dump(const mxArray *a, const std::string &indent) {
    if (!a) {
        std::printf("%snothing\n", indent.c_str());
        return;
    }
    const unsigned long m = static_cast<unsigned long>(mxGetM(a));
    const unsigned long n = static_cast<unsigned long>(mxGetN(a));
    if (mxIsStruct(a)) {
        std::printf("%sstruct %lux%lu\n", indent.c_str(), m, n);
        for (int f = 0; f < mxGetNumberOfFields(a); ++f) {
            const char *name = mxGetFieldNameByNumber(a, f);
            std::printf("%s %s:\n", indent.c_str(), name);
            dump(mxGetField(a, 0, name), indent + "  ");
        }
    } else if (mxIsCell(a)) {
        std::printf("%scell %lux%lu\n", indent.c_str(), m, n);
        for (size_t i = 0; i < mxGetNumberOfElements(a); ++i) {
            dump(mxGetCell(a, i), indent + "  ");
        }
    } else if (mxIsChar(a)) {
        std::printf("%schar \"%s\"\n", indent.c_str(), mxhost::textOf(a).c_str());
    } else {
        const size_t count = mxGetNumberOfElements(a);
        std::printf("%sdouble %lux%lu", indent.c_str(), m, n);
        if (count <= 4) {
            for (size_t i = 0; i < count; ++i) {
                std::printf(" %.17g", mxGetPr(a)[i]);
            }
        }
        std::printf(" bits %016" PRIx64 "\n", digest(mxGetPr(a), count));
    }
}

struct Request {
    int code, database;
    std::vector<std::string> symbols, qualifiers;
    int outputs;
};

} // namespace

int main(int argc, char **argv) {
    const bool cue = argc == 3 && std::strcmp(argv[2], "cue") == 0;
    const bool lost = argc == 3 && std::strcmp(argv[2], "lost") == 0;
    if (argc != 2 && !cue && !lost) {
        std::fprintf(stderr, "usage: dump_driver <module file> [cue|lost]\n");
        return 2;
    }
    mxhost::EntryPoint entry = mxhost::loadEntryPoint(argv[1]);
    if (!entry) {
        std::fprintf(stderr, "dump_driver: cannot load %s\n", argv[1]);
        return 1;
    }
    const std::vector<std::string> board = {"IBM",  "MSFT",      "AAPL", "KO",
                                            "$SPX", "AAPL-C190", "BAC"};
    const std::vector<std::string> none(board.size(), "");
    std::vector<std::string> options = none;
    options[5] = "2406";
    const std::vector<Request> sample = {
        {1, 1, {}, {}, 1},
        {1, 99, {}, {}, 1},
        {4, 1, {}, {}, 1},
        {2, 1, board, options, 1},
        {2, 1, {"IBM", "GE"}, {"", ""}, 1},
        {2, 1, {"NOSUCH"}, {""}, 1},
        {6, 2, board, options, 1},
        {3, 1, {"MSFT"}, {""}, 1},
        {3, 1, {"AAPL"}, {""}, 1},
        {5, 1, {"$SPX"}, {""}, 1},
        {5, 1, {"IBM"}, {""}, 1},
        {5, 1, {"KO"}, {""}, 1},
        {7, 1, {"IBM"}, {""}, 1},
        {7, 1, {"MSFT"}, {""}, 1},
    };
    const std::vector<Request> cues = {
        {1, 1, {}, {}, 1},
        {4, 1, {}, {}, 1},
        {2, 1, {"A", "B", "C"}, {"", "Q", ""}, 2},
        {6, 1, {"A", "B"}, {"", ""}, 2},
        {3, 1, {"A"}, {""}, 2},
        {3, 1, {"E52"}, {""}, 2},
        {3, 1, {"FULL"}, {""}, 2},
        {3, 1, {"QUIET"}, {""}, 2},
        {5, 1, {"A"}, {""}, 2},
        {5, 1, {"FULL"}, {""}, 2},
        {7, 1, {"A"}, {""}, 1},
    };
    const std::vector<Request> losses = {
        {3, 1, {"KILL"}, {""}, 1},
        {1, 1, {}, {}, 1},
        {2, 1, {"HANG"}, {""}, 1},
        {1, 1, {}, {}, 1},
    };
    int k = 0;
    for (const Request &r : cue ? cues : lost ? losses : sample) {
        std::vector<mxhost::ArrayPtr> owned;
        owned.push_back(mxhost::scalar(r.code));
        owned.push_back(mxhost::scalar(r.database));
        owned.push_back(mxhost::scalar(static_cast<double>(r.symbols.size())));
        owned.push_back(mxhost::cellOfTexts(r.symbols));
        owned.push_back(mxhost::cellOfTexts(r.qualifiers));
        std::vector<const mxArray *> inputs;
        for (const auto &a : owned) {
            inputs.push_back(a.get());
        }
        const mxhost::CallResult result = mxhost::call(entry, r.outputs, inputs);
        std::printf("request %d: code %d database %d\n", ++k, r.code, r.database);
        if (result.raised) {
            std::printf("  raised %s: %s\n", result.identifier.c_str(), result.message.c_str());
        } else {
            for (int slot = 0; slot < r.outputs; ++slot) {
                dump(result.output(static_cast<size_t>(slot)), "  ");
            }
        }
        std::printf("  printed \"%s\"\n", result.printed.c_str());
        for (const auto &w : result.warnings) {
            std::printf("  warning %s: %s\n", w.identifier.c_str(), w.message.c_str());
        }
    }
    return 0;
}
