// Writes numbers into feed record bytes in the feed's little-endian order, whatever the
// byte order of the machine: the writer of the unit tests' records, which stay independent of
// the layout header that the feeds write through.
#ifndef QUORVEX_LITTLE_ENDIAN_H
#define QUORVEX_LITTLE_ENDIAN_H

#include <cstdint>

namespace littleendian {

// The low 16 bits of `value` at `at` and `at + 1`.
inline void put16(unsigned char *at, uint32_t value) {
    at[0] = static_cast<unsigned char>(value & 0xFF);
    at[1] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

// `value` at `at` to `at + 3`; a signed value goes in as its two's complement bits.
inline void put32(unsigned char *at, uint32_t value) {
    put16(at, value & 0xFFFF);
    put16(at + 2, value >> 16);
}

} // namespace littleendian

#endif
