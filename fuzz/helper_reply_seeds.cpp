// Writes the seed replies of helper_reply_fuzzer with the helper's own writer: one file per
// reply, the target's first byte (slot count and progress messages) and its progress messages
// in front. Run when the reply's format changes; the files are committed.
//   helper_reply_seeds <folder>
#include "helper_wire.h"
#include "pcqw32_layout.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

// A progress message as the target reads it: the raw records' kind, their offset in the
// section, how many of them so far.
struct Progress {
    uint32_t kind;
    uint32_t offset;
    uint32_t records;
};

void putWord(std::ofstream &out, uint32_t value) {
    const char bytes[4] = {static_cast<char>(value), static_cast<char>(value >> 8),
                           static_cast<char>(value >> 16), static_cast<char>(value >> 24)};
    out.write(bytes, 4);
}

bool write(const std::string &folder, int slots, const std::function<size_t(void)> &build,
           const std::vector<unsigned char> &section, int index,
           const std::vector<Progress> &progress = {}) {
    const size_t bytes = build();
    if (bytes == 0) {
        std::fprintf(stderr, "seed %d did not fit\n", index);
        return false;
    }
    std::ofstream out(folder + "/seed-" + std::to_string(index), std::ios::binary);
    const char first = static_cast<char>(slots + (HELPER_MAX_SLOTS + 1) * progress.size());
    out.write(&first, 1);
    for (const Progress &p : progress) {
        putWord(out, p.kind);
        putWord(out, p.offset);
        putWord(out, p.records);
    }
    out.write(reinterpret_cast<const char *>(section.data()), static_cast<std::streamsize>(bytes));
    return true;
}

// Where `record` lies in the section's first `bytes`.
uint32_t offsetOf(const std::vector<unsigned char> &section, size_t bytes,
                  const unsigned char *record, size_t size) {
    for (size_t at = 0; at + size <= bytes; ++at) {
        if (std::memcmp(section.data() + at, record, size) == 0) {
            return static_cast<uint32_t>(at);
        }
    }
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: helper_reply_seeds <folder>\n");
        return 2;
    }
    const std::string folder = argv[1];
    std::vector<unsigned char> section(64 * 1024);
    size_t needed = 0;
    int index = 0;

    // Nothing at all: a request with no output, such as the CANT read.
    write(
        folder, 0,
        [&] {
            replyBegin(section.data(), section.size());
            return replyFinish(nullptr, 0, &needed);
        },
        section, ++index);

    // The attach check's 1-by-1 and a history scan's 2-row matrix with how it ended.
    write(
        folder, 2,
        [&] {
            replyBegin(section.data(), section.size());
            double *data = nullptr;
            WireNode *history = replyMatrix(2, 7, &data);
            for (int i = 0; i < 14; ++i) {
                data[i] = i * 0.5;
            }
            WireNode *ended = replyMatrix(1, 2, &data);
            data[0] = 0;
            data[1] = 52;
            replyEvent(HELPER_EVENT_PRINT, nullptr, "DBA_GET_APPROX failed with code 3\n");
            replyEvent(HELPER_EVENT_WARNING, "quorvex:historyIncomplete", "cut after 8 rows");
            WireNode *slots[] = {history, ended};
            return replyFinish(slots, 2, &needed);
        },
        section, ++index);

    // A snapshot's structure: a column of texts, numbers, a text; and the statuses.
    write(
        folder, 2,
        [&] {
            replyBegin(section.data(), section.size());
            double *data = nullptr;
            WireNode *texts = replyTexts(3);
            replySetText(texts, 0, "IBM");
            replySetText(texts, 2, "AAPL-C190");
            WireNode *numbers = replyMatrix(3, 1, &data);
            data[0] = 1.25;
            data[1] = 0;
            data[2] = -4;
            WireNode *range = replyMatrix(3, 2, &data);
            for (int i = 0; i < 6; ++i) {
                data[i] = i;
            }
            WireNode *release = replyText("R3");
            const char *names[] = {"Symbol", "Last", "CloseRange", "Release"};
            WireNode *fields[] = {texts, numbers, range, release};
            WireNode *structure = replyStructure(4, names, fields);
            WireNode *statuses = replyMatrix(3, 1, &data);
            data[0] = 0;
            data[1] = 4;
            data[2] = 0;
            replyEvent(HELPER_EVENT_WARNING, "quorvex:suspectDatabase", "no Symbol");
            WireNode *slots[] = {structure, statuses};
            return replyFinish(slots, 2, &needed);
        },
        section, ++index);

    // A request that raised, with the feed's own description of why.
    write(
        folder, 1,
        [&] {
            replyBegin(section.data(), section.size());
            replyEvent(HELPER_EVENT_PRINT, nullptr, "a line\n");
            replyEvent(HELPER_EVENT_ERROR, "quorvex:feedAttach",
                       "Database Attach failed with error 12");
            replyEvent(HELPER_EVENT_DESCRIPTION, nullptr, "db3.sqlite is not a store");
            return replyFinish(nullptr, 0, &needed);
        },
        section, ++index);

    // An unset slot before a set one, and an empty matrix.
    write(
        folder, 3,
        [&] {
            replyBegin(section.data(), section.size());
            double *data = nullptr;
            WireNode *empty = replyMatrix(0, 7, &data);
            WireNode *slots[] = {nullptr, empty, replyText("")};
            return replyFinish(slots, 3, &needed);
        },
        section, ++index);

    // A history and a bar series as their raw records, with how each ended; each written
    // again after progress messages that decoded the first records before the reply came.
    unsigned char blocks[3][HISTORY_BLOCK_SIZE];
    unsigned char bars[2][BAR_BLOCK_SIZE];
    for (size_t b = 0; b < 3; ++b) {
        for (size_t i = 0; i < HISTORY_BLOCK_SIZE; ++i) {
            blocks[b][i] = static_cast<unsigned char>(b * 61 + i * 7 + 1);
        }
    }
    for (size_t b = 0; b < 2; ++b) {
        for (size_t i = 0; i < BAR_BLOCK_SIZE; ++i) {
            bars[b][i] = static_cast<unsigned char>(b * 53 + i * 5 + 3);
        }
    }
    struct RawSeed {
        RawRecords kind;
        const unsigned char *records;
        size_t recordSize;
        uint32_t count;
        double endStatus;
    };
    const RawSeed raws[] = {{RAW_HISTORY_BLOCKS, blocks[0], HISTORY_BLOCK_SIZE, 3, 52},
                            {RAW_BAR_BLOCKS, bars[0], BAR_BLOCK_SIZE, 2, 9}};
    for (const RawSeed &raw : raws) {
        size_t bytes = 0;
        auto build = [&] {
            replyBegin(section.data(), section.size());
            replyRawBegin(raw.kind);
            for (uint32_t r = 0; r < raw.count; ++r) {
                replyRawAppend(raw.records + r * raw.recordSize);
            }
            WireNode *matrix = replyRawEnd();
            double *data = nullptr;
            WireNode *ended = replyMatrix(1, raw.kind == RAW_HISTORY_BLOCKS ? 2 : 1, &data);
            data[0] = raw.endStatus;
            if (raw.kind == RAW_HISTORY_BLOCKS) {
                data[1] = 0;
            }
            WireNode *slots[] = {matrix, ended};
            bytes = replyFinish(slots, 2, &needed);
            return bytes;
        };
        if (!write(folder, 2, build, section, ++index)) {
            continue;
        }
        const uint32_t offset = offsetOf(section, bytes, raw.records, raw.recordSize);
        write(folder, 2, build, section, ++index,
              {{static_cast<uint32_t>(raw.kind), offset, 1},
               {static_cast<uint32_t>(raw.kind), offset, raw.count - 1}});
    }
    return 0;
}
