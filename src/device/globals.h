#pragma once

#include <atomic>
#include <cstdint>

namespace kestrel {

// The program's shared state: one object, owned by the program and handed to
// every part that needs it. 16-bit signed integers, as the chip's registers
// and addresses are exchanged in that width throughout. What the windows set
// and the bus owner's thread reads (or the other way round) is atomic.
struct Globals {
    // I/O address of the parallel port's data register (status at +1); set
    // once at start-up from the first port entry, 0 when there is no port.
    std::atomic<std::int16_t> LPTBase = 0;
    // Position n of the selected entry of the port list; port access is
    // opened with n and n + 2.
    std::atomic<std::int16_t> PortEntry = 0;
    // KESTREL address byte, bit 0 being the read/write position.
    std::atomic<std::int16_t> SlaveAddr = 0xAE;
    // Command (register) byte of the last register transaction; also the
    // PLOVER address byte for switch writes.
    std::atomic<std::int16_t> CommandCode = 0;
    std::atomic<std::int16_t> EEAddrHigh = 0;
    std::atomic<std::int16_t> EEAddrLow = 0;
    std::int16_t EEBlockSize = 32;
    std::int16_t EEPageSize = 32;
    std::int16_t RamRegisterCount = 30;
    // Shown and changed by the About window; no bus operation reads it.
    std::int16_t SCLTimingValue = 5;
    // True while the block diagram window is loaded.
    bool ConfigWindowOpen = false;
};

}  // namespace kestrel
