#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

// A port as the parallel-port library lists it.
struct ListedPort {
    std::string name;        // "parport0", or a legacy guess such as "0x378"
    unsigned long baseAddr;  // I/O base address, 0 when it has none
};

// What LPT1..LPT3 turned out to be.
struct LptSlot {
    std::uint16_t address = 0;  // base address, 0 when absent or unusable
    std::uint32_t state = 0;    // nonzero: the port exists but cannot be used
    int listIndex = -1;         // position in the library's list, -1 if none
};

// Maps the library's list onto LPT1..LPT3. Only ports the kernel knows count
// (parport0 is LPT1, parport1 LPT2, ...). On a machine without a parallel port
// the library still lists its guesses at the legacy addresses ("0x278",
// "0x378", "0x3bc"); driving those would mean raw I/O as root, so they are
// ignored. A kernel port without a usable I/O address (a USB adapter) is
// reported as an error rather than absent.
std::array<LptSlot, 3> assignLptSlots(const std::vector<ListedPort>& listed);

}  // namespace kestrel
