// The machine type a Windows executable or library is built for, read from its PE header
// without loading it: the module chooses between loading the feed library in its own process
// and reaching it through the feed helper by it, and a library built for another machine is
// refused with a message of its own rather than the loader's.
#ifndef QUORVEX_PE_HEADER_H
#define QUORVEX_PE_HEADER_H

#include <cstddef>
#include <cstdint>

constexpr uint16_t PE_MACHINE_I386 = 0x014C;
constexpr uint16_t PE_MACHINE_AMD64 = 0x8664;
constexpr uint16_t PE_MACHINE_ARM64 = 0xAA64;
// The first bytes of a file that hold the header of every ordinary library.
constexpr size_t PE_HEADER_READ = 4096;
// Where the DOS header keeps the offset of the PE signature.
constexpr size_t PE_OFFSET_AT = 0x3C;

// The machine of the PE image whose first `size` bytes are `head`; false when the bytes are not
// the start of a PE image (no "MZ", no "PE\0\0" where the DOS header says).
inline bool readPeMachine(const unsigned char *head, size_t size, uint16_t *machine) {
    if (size < PE_OFFSET_AT + 4 || head[0] != 'M' || head[1] != 'Z') {
        return false;
    }
    const uint32_t at = static_cast<uint32_t>(head[PE_OFFSET_AT]) |
                        (static_cast<uint32_t>(head[PE_OFFSET_AT + 1]) << 8) |
                        (static_cast<uint32_t>(head[PE_OFFSET_AT + 2]) << 16) |
                        (static_cast<uint32_t>(head[PE_OFFSET_AT + 3]) << 24);
    if (at > size || size - at < 6 || head[at] != 'P' || head[at + 1] != 'E' || head[at + 2] != 0 ||
        head[at + 3] != 0) {
        return false;
    }
    *machine = static_cast<uint16_t>(head[at + 4] | (head[at + 5] << 8));
    return true;
}

// "32-bit x86", "x64", "ARM64" or "machine 0x...." for messages.
inline const char *peMachineName(uint16_t machine) {
    switch (machine) {
    case PE_MACHINE_I386:
        return "32-bit x86";
    case PE_MACHINE_AMD64:
        return "x64";
    case PE_MACHINE_ARM64:
        return "ARM64";
    default:
        return "another machine";
    }
}

#endif
