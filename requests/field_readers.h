// What the request units add to the feed's record layout (pcqw32_layout.h, which holds every
// offset and the little-endian readers): the room the module lends the feed beyond what it
// reads, and bounded copies of record texts.
#ifndef QUORVEX_FIELD_READERS_H
#define QUORVEX_FIELD_READERS_H

#include "pcqw32_layout.h"

#include <cstddef>

// Zeroed room after every buffer the module lends the feed, beyond what it reads: nothing says
// how much the vendor's library writes into a record, a block or a key it is handed.
constexpr size_t FEED_BUFFER_ROOM = 256;

// Copies the text at `offset` into `out` up to its first zero byte, but never more than
// `room` bytes, and zero-terminates it; `out` holds room + 1 bytes.
inline void copyRecordText(const unsigned char *record, size_t offset, size_t room, char *out) {
    size_t length = 0;
    while (length < room && record[offset + length] != 0) {
        out[length] = static_cast<char>(record[offset + length]);
        ++length;
    }
    out[length] = '\0';
}

#endif
