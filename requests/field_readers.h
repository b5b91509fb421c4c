// Reading the feed's packed little-endian records: every field is read at its byte offset,
// whatever the byte order or alignment of the machine.
#ifndef QUORVEX_FIELD_READERS_H
#define QUORVEX_FIELD_READERS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

// Size of the record the module reads from every keyed read.
constexpr size_t RECORD_BUFFER_SIZE = 260;
// Zeroed room after every buffer the module lends the feed, beyond what it reads: nothing says
// how much the vendor's library writes into a record, a block or a key it is handed.
constexpr size_t FEED_BUFFER_ROOM = 256;

inline uint8_t readU8(const unsigned char *record, size_t offset) {
    return record[offset];
}

inline int8_t readI8(const unsigned char *record, size_t offset) {
    return static_cast<int8_t>(record[offset]);
}

inline uint16_t readU16(const unsigned char *record, size_t offset) {
    return static_cast<uint16_t>(record[offset] | (record[offset + 1] << 8));
}

inline int16_t readI16(const unsigned char *record, size_t offset) {
    return static_cast<int16_t>(readU16(record, offset));
}

inline uint32_t readU32(const unsigned char *record, size_t offset) {
    return static_cast<uint32_t>(record[offset]) |
           (static_cast<uint32_t>(record[offset + 1]) << 8) |
           (static_cast<uint32_t>(record[offset + 2]) << 16) |
           (static_cast<uint32_t>(record[offset + 3]) << 24);
}

inline int32_t readI32(const unsigned char *record, size_t offset) {
    return static_cast<int32_t>(readU32(record, offset));
}

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
