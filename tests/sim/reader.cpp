#include "sim_test.h"

#include <atomic>
#include <cstring>
#include <filesystem>

namespace simtest {

std::string Reader::text(std::size_t at, std::size_t room) const {
    const void *zero = std::memchr(p + at, 0, room);
    EXPECT_NE(zero, nullptr) << "text at " << at << " fills its room of " << room;
    const std::size_t n =
        zero ? static_cast<std::size_t>(static_cast<const unsigned char *>(zero) - (p + at)) : room;
    return std::string(reinterpret_cast<const char *>(p + at), n);
}

int32_t Reader::tick(std::size_t at, int bit) const {
    const uint32_t w = u16(at);
    if (w >> bit & 1u) {
        return -1;
    }
    return (w >> (bit - 1) & 1u) ? 1 : 0;
}

double divisor(int32_t code) {
    static const double table[16] = {256, 64, 1, 1,  1,   256,  256,   256,
                                     256, 1,  1, 10, 100, 1000, 10000, 100000};
    return code >= 0 && code <= 15 ? table[code] : 1.0;
}

::testing::AssertionResult holds(const std::string &text, const std::string &part) {
    if (text.find(part) != std::string::npos) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "\"" << text << "\" lacks \"" << part << "\"";
}

std::string lastError() {
    char message[512];
    pcqw32_last_error(message, sizeof message);
    return message;
}

std::string nativePath(const char *path) {
#if defined(_WIN32)
    if (path[0] == '/') {
        return std::string("Z:") + path;
    }
#endif
    return path;
}

void SimTest::SetUp() {
    static std::atomic<int> serial{0};
    folder =
        (std::filesystem::temp_directory_path() /
         ("pcqw32-sim-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
          "-" + std::to_string(serial++) + "-" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name()))
            .string();
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    pcqw32_reset();
    pcqw32_set_data_dir(folder.c_str());
}

void SimTest::TearDown() {
    pcqw32_reset();
    pcqw32_set_data_dir(nullptr);
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

Key::Key(const std::string &symbol, const std::string &qualifier, unsigned char fill) {
    std::memset(bytes, fill, sizeof bytes);
    std::memset(bytes + 2, ' ', 16);
    bytes[0] = bytes[1] = 0;
    std::memcpy(bytes + 2, symbol.data(), symbol.size());
    std::memcpy(bytes + 14, qualifier.data(), qualifier.size());
}

namespace {

ScanResult *current = nullptr;
unsigned char requestKey[18];
unsigned char firstKey[18];

std::string trimmedSymbol(const unsigned char *key) {
    std::string s(reinterpret_cast<const char *>(key + 2), 12);
    while (!s.empty() && s.back() == ' ') {
        s.pop_back();
    }
    return s;
}

int32_t DBA_CALLBACK_CALL onDelivery(int32_t, int32_t event, const void *key, const void *block,
                                     int32_t, int32_t status, void *scanBlock) {
    auto *sb = static_cast<HistoryScanBlock *>(scanBlock);
    const auto *k = static_cast<const unsigned char *>(key);
    const auto *b = static_cast<const unsigned char *>(block);
    Delivery d;
    d.event = event;
    d.status = status;
    d.started = sb->started;
    d.symbol = trimmedSymbol(k);
    d.block.assign(b, b + 144);
    current->deliveries.push_back(d);
    if (event == 52) {
        return 1;
    }
    if (status != 0) {
        sb->done = 1;
        return 1;
    }
    if (sb->started == 0) {
        std::memcpy(firstKey, k, 18);
    }
    // The client's rule: the whole symbol as requested, and the requested qualifier, or the
    // first delivery's when the request names none.
    static const unsigned char blankQualifier[4] = {' ', ' ', ' ', ' '};
    const bool anyQualifier = std::memcmp(requestKey + 14, blankQualifier, 4) == 0;
    if (std::memcmp(requestKey + 2, k + 2, 12) != 0 ||
        std::memcmp(anyQualifier ? firstKey + 14 : requestKey + 14, k + 14, 4) != 0) {
        sb->done = 1;
        return 1;
    }
    const Reader r{b};
    const double d0 = divisor(static_cast<int32_t>(r.u8(10)));
    for (int k2 = 0; k2 < 8; ++k2) {
        const Reader rec{b + 18 * (7 - k2)};
        current->rows.push_back({static_cast<double>(rec.u8(8)), rec.s32(0) / d0,
                                 static_cast<double>(rec.u32(4)), static_cast<double>(rec.u8(15)),
                                 static_cast<double>(rec.u8(16)), static_cast<double>(rec.u8(17)),
                                 static_cast<double>(rec.u8(11))});
    }
    return 0;
}

} // namespace

ScanResult runScan(FeedControlBlock &cb, const std::string &symbol, const std::string &qualifier,
                   int maxCalls) {
    ScanResult result;
    current = &result;
    Key key(symbol, qualifier);
    std::memcpy(requestKey, key.bytes, 18);
    unsigned char next[24] = {};
    HistoryScanBlock sb{};
    sb.callback = onDelivery;
    sb.mode = 1;
    sb.started = 77; // the feed, not the client, sets it
    result.approxStatus = dbax(&cb, DBA_GET_APPROX, key.bytes, &sb, 0);
    if (result.approxStatus != 0) {
        return result;
    }
    dbax(&cb, DBA_WAIT_APPROX, nullptr, &sb, -1);
    sb.mode = 4;
    for (int calls = 0; sb.done == 0 && calls < maxCalls; ++calls) {
        sb.callback = onDelivery;
        result.approxStatus = dbax(&cb, DBA_GET_APPROX, next, &sb, 0);
        if (result.approxStatus != 0) {
            break;
        }
        dbax(&cb, DBA_WAIT_APPROX, nullptr, &sb, -1);
    }
    current = nullptr;
    return result;
}

} // namespace simtest
