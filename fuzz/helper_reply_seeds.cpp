// Writes the seed replies of helper_reply_fuzzer with the helper's own writer: one file per
// reply, named by its content, a slot-count byte in front. Run once; the files are committed.
//   helper_reply_seeds <folder>
#include "helper_wire.h"

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

void write(const std::string &folder, int slots, const std::function<size_t(void)> &build,
           const std::vector<unsigned char> &section, int index) {
    const size_t bytes = build();
    if (bytes == 0) {
        std::fprintf(stderr, "seed %d did not fit\n", index);
        return;
    }
    std::ofstream out(folder + "/seed-" + std::to_string(index), std::ios::binary);
    const char count = static_cast<char>(slots);
    out.write(&count, 1);
    out.write(reinterpret_cast<const char *>(section.data()), static_cast<std::streamsize>(bytes));
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
    return 0;
}
