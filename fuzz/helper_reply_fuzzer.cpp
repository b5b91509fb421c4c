// The module's reader of the feed helper's replies (replayHelperReply) and of its progress
// messages (takeHelperProgress) over any bytes: the first byte says how many output slots the
// host call has (its value modulo 9) and how many progress messages come before the reply
// (its value divided by 9, modulo 4), each of them 12 bytes (the raw records' kind, where they
// lie, how many so far, little-endian words); the rest is the reply as it lies in the shared
// section, in a buffer of exactly its size so that a read past it is caught. The progress and
// the reply are taken in a host call of their own through the stand-in host, as the module
// does (a refused progress ends the request), and the target aborts when:
// - a refused progress or reply said nothing of why, printed, warned or handed back an error,
//   or made an array when no progress had begun a decode;
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
constexpr size_t PROGRESS_SIZE = 12;
constexpr int MOST_PROGRESS = 3;

struct Replay {
    const unsigned char *section = nullptr;
    size_t bytes = 0;
    const uint8_t *progress = nullptr; // PROGRESS_SIZE bytes each
    int progressCount = 0;
    bool progressBegun = false;
    bool accepted = false;
    const char *why = nullptr;
    HelperError error{nullptr, nullptr, nullptr};
};
Replay replaying;

uint32_t wordAt(const uint8_t *bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void replayEntry(int nlhs, mxArray *plhs[], int, const mxArray *[]) {
    HelperRawProgress progress{};
    for (int p = 0; p < replaying.progressCount; ++p) {
        const uint8_t *at = replaying.progress + static_cast<size_t>(p) * PROGRESS_SIZE;
        HelperMessage message{};
        message.kind = HELPER_PROGRESS;
        message.version = HELPER_PROTOCOL_VERSION;
        message.detail = wordAt(at);
        message.offset = wordAt(at + 4);
        message.bytes = wordAt(at + 8);
        if (!takeHelperProgress(replaying.section, replaying.bytes, message, &progress,
                                &replaying.why)) {
            replaying.progressBegun = progress.begun;
            return; // the module stops the helper and raises
        }
    }
    replaying.progressBegun = progress.begun;
    replaying.accepted = replayHelperReply(replaying.section, replaying.bytes,
                                           reinterpret_cast<ResultArray **>(plhs), nlhs,
                                           &replaying.error, &replaying.why, &progress);
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

std::string replayOnce(const std::vector<unsigned char> &section, int slots,
                       const uint8_t *progress, int progressCount) {
    replaying = Replay{};
    replaying.section = section.data();
    replaying.bytes = section.size();
    replaying.progress = progress;
    replaying.progressCount = progressCount;
    const size_t before = mxhost::liveArrayCount();
    std::string said;
    {
        mxhost::CallResult result = mxhost::call(replayEntry, slots, {});
        require(!result.raised, "replaying a reply raised in the host");
        if (!replaying.accepted) {
            require(replaying.why != nullptr && replaying.why[0] != '\0',
                    "a reply was refused without saying why");
            require(replaying.progressBegun || result.created.empty(),
                    "a refused reply made an array");
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
    int progressCount = bytes[0] / (HELPER_MAX_SLOTS + 1) % (MOST_PROGRESS + 1);
    const uint8_t *progress = bytes + 1;
    while (progressCount > 0 && size - 1 < static_cast<size_t>(progressCount) * PROGRESS_SIZE) {
        --progressCount;
    }
    const size_t skipped = 1 + static_cast<size_t>(progressCount) * PROGRESS_SIZE;
    const std::vector<unsigned char> section(bytes + skipped, bytes + size);
    const std::string first = replayOnce(section, slots, progress, progressCount);
    if (!first.empty()) {
        require(replayOnce(section, slots, progress, progressCount) == first,
                "a reply replayed differently the second time");
    }
    return 0;
}
