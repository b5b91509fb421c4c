// Shared pieces of the feed simulator's tests: a temporary data folder per test, and an
// independent little-endian reader that decodes records the way a client does, without the
// simulator's own encoding code.
#ifndef QUORVEX_TESTS_SIM_SIM_TEST_H
#define QUORVEX_TESTS_SIM_SIM_TEST_H

#include "pcqw32_sim.h"
#include "store.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace simtest {

// Reads fields at byte offsets, little-endian.
struct Reader {
    const unsigned char *p;
    uint32_t u8(std::size_t at) const { return p[at]; }
    int32_t s8(std::size_t at) const { return static_cast<int8_t>(p[at]); }
    uint32_t u16(std::size_t at) const {
        return static_cast<uint32_t>(p[at]) | static_cast<uint32_t>(p[at + 1]) << 8;
    }
    int32_t s16(std::size_t at) const { return static_cast<int16_t>(u16(at)); }
    uint32_t u32(std::size_t at) const { return u16(at) | u16(at + 2) << 16; }
    int32_t s32(std::size_t at) const { return static_cast<int32_t>(u32(at)); }
    // Text from its offset to its first zero byte, which must lie within `room`.
    std::string text(std::size_t at, std::size_t room) const;
    // Tick pair with its high bit at `bit`: -1 when the high bit is set, +1 for the low only.
    int32_t tick(std::size_t at, int bit) const;
    bool flag(std::size_t at, int bit) const { return (u16(at) >> bit & 1u) != 0; }
};

// The client's divisor table, written out independently of the simulator's.
double divisor(int32_t code);

// Whether `text` holds `part`, for messages checked by their substance.
::testing::AssertionResult holds(const std::string &text, const std::string &part);

// What pcqw32_last_error() describes.
std::string lastError();

// A path of the build as this platform names it: under Wine, the Unix paths CMake gives lie
// on drive Z:.
std::string nativePath(const char *path);

// A fresh data folder for one test; the feed is reset and pointed at it.
class SimTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    std::string folder;
    FeedControlBlock cb{};
    int32_t attach(int32_t db = 1) { return dbax(&cb, DBA_ATTACH, nullptr, nullptr, db); }
    int32_t detach() { return dbax(&cb, DBA_DETACH, nullptr, nullptr, 0); }
};

// An 18-byte security key, in a 32-byte buffer whose tail is filled with `fill`.
struct Key {
    unsigned char bytes[32];
    Key(const std::string &symbol, const std::string &qualifier, unsigned char fill = 0);
};

// One delivery seen by the scan callback.
struct Delivery {
    int32_t event = 0;
    int32_t status = 0;
    int32_t started = 0;
    std::string symbol; // trimmed symbol of the delivered key
    std::vector<unsigned char> block;
};

// Runs a history scan the way the client does (position, wait, get-next and wait until the
// callback ends it) and returns every delivery made, plus the rows the client would keep.
struct ScanResult {
    int32_t approxStatus = 0;
    std::vector<Delivery> deliveries;
    std::vector<std::vector<double>> rows; // 7 columns each, as the client decodes them
};
ScanResult runScan(FeedControlBlock &cb, const std::string &symbol,
                   const std::string &qualifier = "", int maxCalls = 1000000);

} // namespace simtest

#endif
