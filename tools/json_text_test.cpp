// The JSON escaper: well-formed UTF-8 passes unchanged, every other byte is kept as \u00XX,
// so the literal is valid JSON whatever bytes a feed record holds.
#include "json_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using quorvex_cli::jsonText;

namespace {

std::string inner(const std::string &text) {
    const std::string quoted = jsonText(text);
    EXPECT_EQ(quoted.front(), '"');
    EXPECT_EQ(quoted.back(), '"');
    return quoted.substr(1, quoted.size() - 2);
}

} // namespace

TEST(JsonText, WellFormedSequencesPassUnchanged) {
    const char *const texts[] = {
        "Coca-Cola",
        "\xC2\x80",         // U+0080, the first two-byte code point
        "\xDF\xBF",         // U+07FF
        "\xE0\xA0\x80",     // U+0800, the first three-byte code point
        "\xED\x9F\xBF",     // U+D7FF, just below the surrogates
        "\xEE\x80\x80",     // U+E000, just above them
        "\xEF\xBF\xBF",     // U+FFFF
        "\xF0\x90\x80\x80", // U+10000, the first four-byte code point
        "\xF4\x8F\xBF\xBF", // U+10FFFF, the last code point
        "Soci\xC3\xA9t\xC3\xA9 G\xC3\xA9n\xC3\xA9rale \xE2\x82\xAC \xF0\x9F\x93\x88",
    };
    for (const char *text : texts) {
        EXPECT_EQ(inner(text), text);
    }
}

TEST(JsonText, EveryByteOfAMalformedSequenceIsEscaped) {
    const struct {
        const char *text;
        const char *escaped;
    } cases[] = {
        {"\xC0\xAF", "\\u00c0\\u00af"},                       // overlong '/'
        {"\xC1\xBF", "\\u00c1\\u00bf"},                       // overlong U+007F
        {"\xE0\x9F\xBF", "\\u00e0\\u009f\\u00bf"},            // overlong U+07FF
        {"\xF0\x8F\xBF\xBF", "\\u00f0\\u008f\\u00bf\\u00bf"}, // overlong U+FFFF
        {"\xED\xA0\x80", "\\u00ed\\u00a0\\u0080"},            // U+D800, a surrogate
        {"\xED\xBF\xBF", "\\u00ed\\u00bf\\u00bf"},            // U+DFFF
        {"\xF4\x90\x80\x80", "\\u00f4\\u0090\\u0080\\u0080"}, // U+110000
        {"\xF5\x80\x80\x80", "\\u00f5\\u0080\\u0080\\u0080"},
        {"\xFF", "\\u00ff"},
        {"\x80", "\\u0080"},            // a stray continuation byte
        {"\xE2\x82", "\\u00e2\\u0082"}, // truncated at the end
        {"\xF0\x9F\x93", "\\u00f0\\u009f\\u0093"},
        {"\xE2\x82Z", "\\u00e2\\u0082Z"},                 // truncated by an ASCII byte
        {"\xC3\xC3\xA9", "\\u00c3\xC3\xA9"},              // a lead byte before a whole sequence
        {"Caf\xE9 \xA3 only", "Caf\\u00e9 \\u00a3 only"}, // Latin-1 text
    };
    for (const auto &c : cases) {
        EXPECT_EQ(inner(c.text), c.escaped) << "for " << c.escaped;
    }
}

TEST(JsonText, EveryLoneHighByteIsEscapedAsItself) {
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        char expected[8];
        std::snprintf(expected, sizeof expected, "\\u%04x", byte);
        EXPECT_EQ(inner(std::string(1, static_cast<char>(byte)) + "x"),
                  std::string(expected) + "x");
    }
}

TEST(JsonText, QuotesBackslashesControlsAndDelAreEscaped) {
    EXPECT_EQ(inner("say \"hi\"\\"), "say \\\"hi\\\"\\\\");
    EXPECT_EQ(inner("a\nb"), "a\\nb");
    EXPECT_EQ(inner(std::string("a\0b", 3)), "a\\u0000b");
    EXPECT_EQ(inner("\x01\x1F\x7F"), "\\u0001\\u001f\\u007f");
    EXPECT_EQ(inner(" ~"), " ~");
}
