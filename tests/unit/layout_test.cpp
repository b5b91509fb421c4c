// The interface layouts the feed library relies on, checked at run time on every target the
// suite is built for (64-bit Linux and 32-bit Windows), and the record readers' independence
// from alignment and structure layout.
#include "dbax.h"
#include "field_readers.h"
#include "scripted_feed.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <type_traits>

namespace {

int32_t DBA_CALLBACK_CALL callbackWithTheInterfaceConvention(int32_t, int32_t, const void *,
                                                             const void *, int32_t, int32_t,
                                                             void *) {
    return 1;
}

// Both sides of the interface are declared with the one calling-convention macro; a function
// declared otherwise would not convert to these pointer types on 32-bit Windows.
static_assert(std::is_same<decltype(&scripted::dbax), DbaxFunction>::value,
              "dbax uses the interface's calling convention");
static_assert(
    std::is_same<decltype(&callbackWithTheInterfaceConvention), HistoryCallbackFunction>::value,
    "the history callback uses the interface's calling convention");

TEST(Layout, ScanBlockFieldsFollowTheCallbackPointer) {
    // Five 32-bit fields follow the callback address without gaps; with 4-byte pointers that
    // puts them at 4, 8, 12, 16 and 20.
    const size_t pointer = sizeof(HistoryCallbackFunction);
    EXPECT_EQ(offsetof(HistoryScanBlock, callback), 0u);
    EXPECT_EQ(offsetof(HistoryScanBlock, reserved4), pointer);
    EXPECT_EQ(offsetof(HistoryScanBlock, reserved8), pointer + 4);
    EXPECT_EQ(offsetof(HistoryScanBlock, done), pointer + 8);
    EXPECT_EQ(offsetof(HistoryScanBlock, mode), pointer + 12);
    EXPECT_EQ(offsetof(HistoryScanBlock, started), pointer + 16);
    if (pointer == 4) {
        EXPECT_EQ(offsetof(HistoryScanBlock, done), 12u);
        EXPECT_EQ(offsetof(HistoryScanBlock, started), 20u);
        EXPECT_EQ(sizeof(HistoryScanBlock), 24u);
    }
}

TEST(Layout, ReadersTakeLittleEndianFieldsAtAnyOffset) {
    // Fields at odd offsets, where a structure cast would be misaligned or padded.
    const unsigned char bytes[] = {0xAA, 0x78, 0x56, 0x34, 0x12, 0xFE, 0xFF,
                                   0x01, 0x00, 0x00, 0x80, 0xFF, 0x7F};
    EXPECT_EQ(readU32(bytes, 1), 0x12345678u);
    EXPECT_EQ(readI32(bytes, 1), 0x12345678);
    EXPECT_EQ(readU16(bytes, 5), 0xFFFEu);
    EXPECT_EQ(readI16(bytes, 5), -2);
    EXPECT_EQ(readU32(bytes, 7), 0x80000001u);
    EXPECT_EQ(readI32(bytes, 7), static_cast<int32_t>(-2147483647));
    EXPECT_EQ(readI8(bytes, 11), -1);
    EXPECT_EQ(readU8(bytes, 11), 0xFFu);
    EXPECT_EQ(readI16(bytes, 11), 0x7FFF);
}

TEST(Layout, TextReaderStopsAtZeroOrRoom) {
    const unsigned char record[] = {'x', 'N', 'Y', 9, 30, 'A', 0, 'B'};
    char out[3];
    copyRecordText(record, 1, 2, out);
    EXPECT_STREQ(out, "NY");
    char longer[8];
    copyRecordText(record, 5, 7, longer);
    EXPECT_STREQ(longer, "A");
}

} // namespace
