// The module's reader of the feed helper's replies (replayHelperReply) over any bytes: the
// first byte says how many output slots the host call has (0 to 8), the rest is the reply as
// it lies in the shared section, in a buffer of exactly its size so that a read past it is
// caught. The reply is replayed in a host call of its own through the stand-in host, as the
// module does, and the target aborts when:
// - a refused reply made anything: an array, a printed line, a warning, an error;
// - an accepted one sets more slots than it may, sets a slot after the error that ended the
//   request, or builds a structure field without its value;
// - an accepted one replays differently the second time (arrays, texts, reports);
// - any array outlives the host call.
#include "helper_wire.h"
#include "mxhost_driver.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const char *what) {
    std::fprintf(stderr, "helper reply check: %s\n", what);
    std::abort();
}

void require(bool condition, const char *what) {
    if (!condition) {
        fail(what);
    }
}

// What the reader was given and what it said, for the host call's entry point.
struct Replay {
    const unsigned char *section = nullptr;
    size_t bytes = 0;
    bool accepted = false;
    const char *why = nullptr;
    HelperError error{nullptr, nullptr, nullptr};
};
Replay replaying;

void replayEntry(int nlhs, mxArray *plhs[], int, const mxArray *[]) {
    replaying.accepted = replayHelperReply(replaying.section, replaying.bytes,
                                           reinterpret_cast<ResultArray **>(plhs), nlhs,
                                           &replaying.error, &replaying.why);
}

// An array written out whole, so that two replays can be compared.
void describe(const mxArray *array, std::string &out) {
    if (array == nullptr) {
        out += "unset;";
        return;
    }
    const size_t rows = mxGetM(array);
    const size_t columns = mxGetN(array);
    out += std::to_string(mxGetClassID(array)) + ":" + std::to_string(rows) + "x" +
           std::to_string(columns) + "{";
    if (mxIsDouble(array)) {
        const size_t count = rows * columns;
        out.append(reinterpret_cast<const char *>(mxGetPr(array)), count * sizeof(double));
    } else if (mxIsChar(array)) {
        out += mxhost::textOf(array);
    } else if (mxIsCell(array)) {
        for (size_t i = 0; i < rows * columns; ++i) {
            describe(mxGetCell(array, i), out);
        }
    } else if (mxIsStruct(array)) {
        require(rows * columns == 1, "a replayed structure is not 1-by-1");
        for (const std::string &name : mxhost::fieldNames(array)) {
            out += name + "=";
            const mxArray *value = mxGetField(array, 0, name.c_str());
            require(value != nullptr, "a replayed structure field has no value");
            describe(value, out);
        }
    } else {
        fail("a replayed array of a class the reader never makes");
    }
    out += "}";
}

// Everything one replay made and said.
std::string outcome(const mxhost::CallResult &result) {
    std::string out = result.printed + "|";
    for (const mxhost::Warning &warning : result.warnings) {
        out += warning.identifier + ":" + warning.message + "|";
    }
    out += std::string(replaying.error.identifier ? replaying.error.identifier : "-") + "|" +
           (replaying.error.text ? replaying.error.text : "-") + "|" +
           (replaying.error.description ? replaying.error.description : "-") + "|";
    for (const mxArray *slot : result.outputs) {
        describe(slot, out);
    }
    return out;
}

std::string replayOnce(const std::vector<unsigned char> &section, int slots) {
    replaying = Replay{};
    replaying.section = section.data();
    replaying.bytes = section.size();
    const size_t before = mxhost::liveArrayCount();
    std::string said;
    {
        mxhost::CallResult result = mxhost::call(replayEntry, slots, {});
        require(!result.raised, "replaying a reply raised in the host");
        if (!replaying.accepted) {
            require(replaying.why != nullptr && replaying.why[0] != '\0',
                    "a reply was refused without saying why");
            require(result.created.empty(), "a refused reply made an array");
            require(result.printed.empty() && result.warnings.empty(),
                    "a refused reply printed or warned");
            require(replaying.error.identifier == nullptr, "a refused reply handed back an error");
        } else if (replaying.error.identifier != nullptr) {
            require(replaying.error.identifier[0] != '\0' && replaying.error.text != nullptr,
                    "the error of a reply has no identifier or no text");
            for (const mxArray *slot : result.outputs) {
                require(slot == nullptr, "the reply of a request that raised set an output");
            }
        }
        said = replaying.accepted ? outcome(result) : std::string();
    }
    require(mxhost::liveArrayCount() == before, "an array of a replay outlived the host call");
    return said;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    if (size == 0) {
        return 0;
    }
    const int slots = bytes[0] % (HELPER_MAX_SLOTS + 1);
    const std::vector<unsigned char> section(bytes + 1, bytes + size);
    const std::string first = replayOnce(section, slots);
    if (!first.empty()) {
        require(replayOnce(section, slots) == first,
                "a reply replayed differently the second time");
    }
    return 0;
}
