#pragma once

#include <cstdint>

// Which bits of each register a write over the bus changes. The chip does
// not store the others: they read 0 whatever was written. The status
// registers, the ID (1Ch), the revision (1Dh) and the latched status take no
// write at all.
namespace kestrel::chip {

constexpr std::uint8_t writableBits(int reg) {
    switch (reg) {
        case 0x04:
            return 0xFB;  // bit 2 not connected
        case 0x05:
        case 0x06:
            return 0xFE;  // bit 0 not stored
        case 0x16:
            return 0x3F;  // bits 7, 6 not stored
        case 0x17:
            return 0xF7;  // bit 3 not stored
        default:
            if (reg >= 0x03 && reg <= 0x1B) return 0xFF;
            return 0x00;  // status, ID, revision, latched, unimplemented
    }
}

// A register that takes a write at all.
constexpr bool isWritable(int reg) {
    return writableBits(reg) != 0;
}

}  // namespace kestrel::chip
