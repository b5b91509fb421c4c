#include "json_text.h"

#include <cstdio>

namespace quorvex_cli {

namespace {

// Length of the well-formed UTF-8 sequence that starts at text[at], or 0 when the byte there
// does not start one. Lead and second-byte ranges exclude overlong forms, the surrogates
// U+D800 to U+DFFF and code points above U+10FFFF; the other bytes must be 80 to BF.
size_t sequenceLength(const std::string &text, size_t at) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[at + k]); };
    const unsigned char lead = byte(0);
    size_t length = 0;
    unsigned char low = 0x80; // the second byte's range
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() - at < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (size_t k = 2; k < length; ++k) {
        if (byte(k) < 0x80 || byte(k) > 0xBF) {
            return 0;
        }
    }
    return length;
}

void appendEscaped(std::string &out, unsigned char c) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
    out += escaped;
}

} // namespace

std::string jsonText(const std::string &text) {
    std::string out = "\"";
    out.reserve(text.size() + 2);
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c == 0x7F) {
            appendEscaped(out, c);
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (size_t length = sequenceLength(text, i)) {
            out.append(text, i, length);
            i += length;
            continue;
        } else {
            appendEscaped(out, c);
        }
        ++i;
    }
    return out + "\"";
}

} // namespace quorvex_cli
