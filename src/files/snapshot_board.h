#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "device/device.h"
#include "files/snapshot.h"

// Snapshots and the board: take one, and give a board what a snapshot holds.
namespace kestrel::snapshot {

struct Taken {
    std::optional<Snapshot> snapshot;  // only when every byte was read cleanly
    bool refused = false;              // the bus refused; nothing more was sent
    std::string error;                 // why there is no snapshot
};

// Reads registers 00h..1Dh and 2Ah..2Ch (byte reads with PEC) and the whole
// EEPROM (block speed). Stops at the first read that was not acknowledged or
// failed its PEC: a snapshot never holds a byte that was not read.
Taken takeSnapshot(Device& device, std::time_t now);

struct ApplyOptions {
    bool registers = true;  // write the registers that differ
    bool eeprom = true;     // erase and rewrite the pages that differ
    bool verify = true;     // then read everything back and compare
    // The board as the caller has just read it cleanly; the apply reads it
    // itself when not given.
    const Snapshot* present = nullptr;
};

struct ApplyResult {
    bool refused = false;
    std::vector<int> registersWritten;   // acknowledged writes, in order
    std::vector<unsigned> pagesWritten;  // page bases erased and written, all acknowledged
    // Page bases an erase was sent to, acknowledged or not: what a count of
    // the EEPROM's erase cycles adds up.
    std::vector<unsigned> pagesErased;
    // Every failure, one line each: a write or erase the chip did not
    // acknowledge, a read that failed, a byte or register that read back
    // other than the snapshot holds.
    std::vector<std::string> failures;
    bool verified = false;  // read back, and everything matched
    bool ok() const { return !refused && failures.empty(); }
};

// Reads the board, then writes only what differs from `target`: each
// register that takes writes and differs in a bit the chip stores (never
// the status, ID or revision registers), and each 32-byte EEPROM page that
// holds a differing byte (erased, then its 32 bytes written). Registers go
// first. Stops writing at the first write or erase that failed; nothing is
// written when the board could not be read cleanly. With `verify` it then
// reads back the registers and the whole EEPROM it was asked to apply.
ApplyResult applySnapshot(Device& device, const Snapshot& target, const ApplyOptions& options);

}  // namespace kestrel::snapshot
