#include "keys.h"

#include <cstring>

namespace {

// Copies the characters of `text` (not its terminator) to `field`, at most `room` of them.
void placeText(unsigned char *field, const char *text, size_t room) {
    for (size_t i = 0; i < room && text[i] != '\0'; ++i) {
        field[i] = static_cast<unsigned char>(text[i]);
    }
}

void fillKeyFields(unsigned char *key, const char *symbol, const char *qualifier) {
    std::memset(key + KEY_SYMBOL_OFFSET, ' ', KEY_SYMBOL_SIZE + KEY_QUALIFIER_SIZE);
    // At most 11 symbol characters arrive, so the symbol field always ends in a space.
    placeText(key + KEY_SYMBOL_OFFSET, symbol, KEY_SYMBOL_LENGTH);
    placeText(key + KEY_QUALIFIER_OFFSET, qualifier, KEY_QUALIFIER_SIZE);
    writeU16(key, KEY_LEAD_WORD_OFFSET, 0);
}

} // namespace

void buildSecurityKey(unsigned char *key, const char *symbol, const char *qualifier) {
    fillKeyFields(key, symbol, qualifier);
}

void buildBarKey(unsigned char *key, const char *symbol, const char *qualifier) {
    std::memset(key, ' ', BAR_KEY_SIZE);
    fillKeyFields(key, symbol, qualifier);
}

void buildTaggedKey(unsigned char *key, const char *symbol, const char *qualifier) {
    fillKeyFields(key, symbol, qualifier);
    std::memset(key + SECURITY_KEY_SIZE, ' ', KEY_TAG_OFFSET - SECURITY_KEY_SIZE);
    std::memcpy(key + KEY_TAG_OFFSET, KEY_TAG, KEY_TAG_SIZE);
}

double PriceTypeDivisor(int16_t code) {
    return priceTypeDivisor(code);
}
