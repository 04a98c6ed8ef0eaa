#pragma once

#include <optional>
#include <vector>

#include "device/device.h"

// EEPROM operations that several windows offer, built from the single-byte
// transactions.
namespace kestrel::eeprom {

// Reads the byte at `address` (modulo 10000h), leaving the address in
// EEAddrHigh and EEAddrLow as the transaction's callers do.
std::optional<int> readByteAt(Device& device, unsigned address);

// Writes 00h into the 32 bytes from `page` on, one zero-write each (30 ms
// apiece). Stops at the first transaction the bus refuses; false then.
bool writeZerosToPage(Device& device, unsigned page);

// Erases the page holding `base` and, when a block of `count` bytes from
// there runs into the next page, that page too (erase text: the block's
// first and last address). False when the bus refused.
bool eraseBlockPages(Device& device, unsigned base, int count);

// Writes data[i] to base + i, one byte write each, no waits. False when the
// bus refused (the bytes before were written).
bool writeBlock(Device& device, unsigned base, const std::vector<int>& data);

// A byte that read back other than written.
struct Mismatch {
    unsigned address;
    int expected;
    int read;
};

// Reads `expected.size()` bytes from `base` on and lists every byte that
// differs. Nothing when the bus refused the reads (then `complete` is false).
std::vector<Mismatch> verify(Device& device, unsigned base, const std::vector<int>& expected,
                             bool& complete);

}  // namespace kestrel::eeprom
