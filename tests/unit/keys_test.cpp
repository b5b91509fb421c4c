// Key layouts byte for byte, and the price-type divisors.
#include "keys.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string bytesOf(const unsigned char *key, size_t from, size_t length) {
    return std::string(reinterpret_cast<const char *>(key) + from, length);
}

TEST(SecurityKey, ThreeLetterSymbolAndTwoLetterQualifier) {
    unsigned char key[SECURITY_KEY_SIZE + 2];
    std::memset(key, 0xAA, sizeof key);
    buildSecurityKey(key, "IBM", "NY");
    EXPECT_EQ(key[0], 0);
    EXPECT_EQ(key[1], 0);
    EXPECT_EQ(bytesOf(key, 2, 12), "IBM         ");
    EXPECT_EQ(bytesOf(key, 14, 4), "NY  ");
    // Nothing is written after the 18 bytes.
    EXPECT_EQ(key[18], 0xAA);
    EXPECT_EQ(key[19], 0xAA);
}

TEST(SecurityKey, ElevenCharactersLeaveTheLastSymbolByteASpaceAndEmptyTextsGiveSpaces) {
    unsigned char key[SECURITY_KEY_SIZE];
    buildSecurityKey(key, "ABCDEFGHIJK", "WXYZ");
    EXPECT_EQ(bytesOf(key, 2, 12), "ABCDEFGHIJK ");
    EXPECT_EQ(bytesOf(key, 14, 4), "WXYZ");
    buildSecurityKey(key, "", "");
    EXPECT_EQ(bytesOf(key, 2, 16), std::string(16, ' '));
}

TEST(SecurityKey, TextsLongerThanTheirFieldNeverSpillOver) {
    unsigned char key[SECURITY_KEY_SIZE + 1];
    key[18] = 0x55;
    buildSecurityKey(key, "ABCDEFGHIJKLMNO", "QUALIFIER");
    EXPECT_EQ(bytesOf(key, 2, 12), "ABCDEFGHIJK ");
    EXPECT_EQ(bytesOf(key, 14, 4), "QUAL");
    EXPECT_EQ(key[18], 0x55);
}

TEST(BarKey, IsASecurityKeyInThirtyTwoBytesOfSpaces) {
    unsigned char key[BAR_KEY_SIZE];
    std::memset(key, 0, sizeof key);
    buildBarKey(key, "MSFT", "Q");
    EXPECT_EQ(key[0], 0);
    EXPECT_EQ(key[1], 0);
    EXPECT_EQ(bytesOf(key, 2, 30), "MSFT        Q" + std::string(17, ' '));
}

TEST(TaggedKey, CarriesCantAfterThreeSpaces) {
    unsigned char key[TAGGED_KEY_SIZE];
    std::memset(key, 0, sizeof key);
    buildTaggedKey(key, "AAPL", "X");
    EXPECT_EQ(key[0], 0);
    EXPECT_EQ(key[1], 0);
    EXPECT_EQ(bytesOf(key, 2, 23), "AAPL        X      CANT");
    buildTaggedKey(key, "", "");
    EXPECT_EQ(bytesOf(key, 21, 4), "CANT");
    EXPECT_EQ(bytesOf(key, 2, 19), std::string(19, ' '));
}

TEST(PriceTypeDivisor, FollowsTheTableAndGivesOneOutsideIt) {
    const double expected[16] = {256, 64, 1, 1,  1,   256,  256,   256,
                                 256, 1,  1, 10, 100, 1000, 10000, 100000};
    for (int code = 0; code < 16; ++code) {
        EXPECT_EQ(PriceTypeDivisor(static_cast<int16_t>(code)), expected[code]) << code;
    }
    for (int code : {-1, 16, 255, -32768, 32767}) {
        EXPECT_EQ(PriceTypeDivisor(static_cast<int16_t>(code)), 1.0) << code;
    }
}

TEST(PriceScaling, DividesTheSignedRawValue) {
    EXPECT_EQ(scalePrice(384, PriceTypeDivisor(0)), 1.5);
    EXPECT_EQ(scalePrice(-12345, PriceTypeDivisor(13)), -12.345);
    EXPECT_EQ(scalePrice(-7, PriceTypeDivisor(9)), -7.0);
    EXPECT_EQ(scalePrice(INT32_MIN, PriceTypeDivisor(2)), -2147483648.0);
}

TEST(PriceScaling, TheScaleOfEveryCodeGivesTheQuotientToTheBit) {
    const int32_t raws[] = {0, 1, -1, 7, 384, -12345, 99999999, INT32_MAX, INT32_MIN, 0x55555555};
    for (int code = -2; code < 260; ++code) {
        const auto priceType = static_cast<int16_t>(code);
        for (int32_t raw : raws) {
            const double quotient = scalePrice(raw, PriceTypeDivisor(priceType));
            const double scaled = applyPriceScale(raw, PriceTypeScale(priceType));
            EXPECT_EQ(std::memcmp(&quotient, &scaled, sizeof scaled), 0) << code << " " << raw;
        }
    }
}

} // namespace
