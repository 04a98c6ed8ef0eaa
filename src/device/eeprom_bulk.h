#pragma once

#include <optional>
#include <string>
#include <vector>

#include "device/device.h"

// Whole-EEPROM work for batch mode: reads at block speed with every byte's
// acknowledge and PEC accounted for, writes that notice a missing
// acknowledge, and a verify that trusts only what the wire confirmed. The
// windows keep their single-byte loops (device/eeprom_ops.h).
namespace kestrel::eeprom {

// One EEPROM byte as read, and how the read went on the wire.
struct ByteRead {
    unsigned address = 0;
    int value = 0xFF;           // as read: a silent bus reads FFh
    bool acknowledged = false;  // every byte sent was acknowledged
    bool pecOk = false;         // the PEC of its transaction matched
    std::string problem;        // the first fault, empty when none

    bool ok() const { return problem.empty(); }
};

struct BulkRead {
    std::vector<ByteRead> bytes;
    // One line per block read that failed and was read again byte by byte.
    std::vector<std::string> fallbacks;
};

// Fewer bytes than this are read byte by byte: a block read costs about as
// much as six byte reads.
inline constexpr unsigned kBulkMinimum = 8;

// Reads `count` bytes from `base` on. From kBulkMinimum bytes on it uses the
// chip's block read: the address pointer is set, then A1h returns a count of
// 20h, 32 bytes and a PEC in one transaction. A block whose transactions were
// not acknowledged, whose count is not 20h or whose PEC does not match is
// read again with byte reads, each with its own PEC. A block that would run
// past 81FFh starts at 81E0h instead. Nothing when the bus refused.
std::optional<BulkRead> readBulk(Device& device, unsigned base, unsigned count);

// Reads `count` bytes with single byte reads. Nothing when the bus refused.
std::optional<std::vector<ByteRead>> readBytes(Device& device, unsigned base, unsigned count);

// One byte write and whether the chip acknowledged all of it.
struct ByteWrite {
    unsigned address = 0;
    int value = 0;
    bool acknowledged = false;
    std::string problem;

    bool ok() const { return problem.empty(); }
};

// Writes data[i] to base + i, one byte write each. Nothing when the bus
// refused (the writes before have happened).
std::optional<std::vector<ByteWrite>> writeBytes(Device& device, unsigned base,
                                                 const std::vector<int>& data);

// How many of the writes were not acknowledged, and the first of them ("32
// of 32 writes not acknowledged; first at 8100h: no acknowledge from AEh").
// Empty when all were.
std::string writeFailureText(const std::vector<ByteWrite>& writes);

// A read-back compared with what was written. A byte counts as verified only
// when its read was acknowledged, its PEC matched and its value is the one
// written.
struct VerifyReport {
    std::vector<ByteRead> read;
    // One line per failed byte: "Verify failed at 8100h: no acknowledge from
    // AEh" or "verify mismatch at 8105h: expected 12, read FF".
    std::vector<std::string> failures;
    unsigned verified = 0;

    bool passed() const { return failures.empty(); }
};

// Reads `expected.size()` bytes from `base` on (readBulk) and compares them.
// Nothing when the bus refused.
std::optional<VerifyReport> verifyBytes(Device& device, unsigned base,
                                        const std::vector<int>& expected);

}  // namespace kestrel::eeprom
