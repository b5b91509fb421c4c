// Writes the in-memory feed's records to files, for the Octave decoder to read as uint8:
//   quorvex-bench-records DIRECTORY
// quotes.bin and fundamentals.bin hold the pool of 260-byte records, history.bin the
// 144-byte blocks, bars.bin the 256-byte blocks, in the order the feed serves them.
#include "memory_feed.h"
#include "pcqw32_layout.h"

#include <cstdio>
#include <string>

namespace {

bool writeFile(const std::string &path, const unsigned char *(*at)(size_t), size_t count,
               size_t size) {
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::perror(path.c_str());
        return false;
    }
    bool ok = true;
    for (size_t i = 0; i < count && ok; ++i) {
        ok = std::fwrite(at(i), 1, size, file) == size;
    }
    return std::fclose(file) == 0 && ok;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    memfeed::prepare();
    std::string dir = argv[1];
    bool ok = writeFile(dir + "/quotes.bin", memfeed::quoteRecord, memfeed::POOL_RECORDS,
                        RECORD_BUFFER_SIZE) &&
              writeFile(dir + "/fundamentals.bin", memfeed::fundamentalsRecord,
                        memfeed::POOL_RECORDS, RECORD_BUFFER_SIZE) &&
              writeFile(dir + "/history.bin", memfeed::historyBlock, memfeed::HISTORY_BLOCKS,
                        HISTORY_BLOCK_SIZE) &&
              writeFile(dir + "/bars.bin", memfeed::barBlock, memfeed::BAR_BLOCKS, BAR_BLOCK_SIZE);
    return ok ? 0 : 1;
}
