#pragma once

#include <array>

#include "device/device.h"

namespace kestrel {

// One SMBus block read of 32 EEPROM bytes: the address-pointer write
// (S, address, high, low, P), then the block read command A1h with a
// repeated START, the byte count, 32 data bytes (always 32, whatever the
// count says) and the PEC, all inside one hold of the bus.
struct BlockReadResult {
    // Refused, or the records of both transactions; a read that did not
    // bring all 34 bytes back is a fault of the outcome.
    Outcome outcome;
    int count = 0;
    std::array<int, 32> data{};
    int pec = 0;
};

// The two transactions of a block read from `start`: the address-pointer
// write and the block read itself. `lean` clocks the 34 bytes read with
// three port writes per bit (same edges and sample points).
// `kind` names the read in the records ("EEPROM Read (block)" where it
// stands for byte reads the executor cannot make).
std::array<Transfer, 2> blockReadTransfers(Device& device, unsigned start, bool lean,
                                           const char* kind = chip::kBlockRead);

// Reads from `base` (modulo 10000h); sets EEAddrHigh and EEAddrLow.
BlockReadResult blockRead(Device& device, unsigned base);

}  // namespace kestrel
