#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "device/device.h"

// EEPROM operations that several windows offer, built from the single-byte
// transactions. Each says exactly what reached the chip: a transaction whose
// address or data was not acknowledged, or whose PEC did not match, counts as
// failed, never as done.
namespace kestrel::eeprom {

// What a run of EEPROM transactions achieved.
struct RunResult {
    bool refused = false;             // the bus refused; nothing more was sent
    int attempted = 0;                // transactions that went on the wire
    int failed = 0;                   // of those, how many went wrong there
    unsigned firstFailedAddress = 0;  // the address of the first that did
    std::string firstProblem;         // and what went wrong ("No acknowledge from AEh")
    bool ok() const { return !refused && failed == 0; }
};

// A diagnosis as the tail of a sentence: "no acknowledge from AEh".
std::string inSentence(const std::string& problem);

// The chip takes a first address byte below 80h as a register address, so
// an EEPROM transaction there would write a register (0E00h would switch PS
// ON off). Empty when every address of the run `first` .. `first + count - 1`
// (modulo 10000h) has its high byte at 80h or above; otherwise the refusal
// to show, naming the first address that does not.
std::string registerSpaceRefusal(unsigned first, unsigned count = 1);

// Reads the byte at `address` (modulo 10000h), leaving the address in
// EEAddrHigh and EEAddrLow as the transaction's callers do.
std::optional<int> readByteAt(Device& device, unsigned address);

// Reads `count` bytes from `base` on (modulo 10000h) with single byte reads,
// port access held for the whole run, and hands each to `onByte` as read (a
// read that went wrong on the wire is counted and still handed on: the
// caller shows what the line gave, and must not pass it off as the chip's).
// Stops when the bus refuses.
RunResult readEach(Device& device, unsigned base, unsigned count,
                   const std::function<void(unsigned address, int value)>& onByte);

// Writes 00h into the 32 bytes from `page` on, one zero-write each (30 ms
// apiece). Stops at the first transaction the bus refuses; counts the
// zero-writes the chip did not acknowledge.
RunResult writeZerosToPage(Device& device, unsigned page);

// Erases the page holding `base` and, when a block of `count` bytes from
// there runs into the next page, that page too (erase text: the block's
// first and last address). Stops at the first erase that was refused or not
// acknowledged: the caller must not write over a page that was not erased.
RunResult eraseBlockPages(Device& device, unsigned base, int count);

// Writes data[i] to base + i, one byte write each, no waits. Stops when the
// bus refuses; counts the writes that were not acknowledged.
RunResult writeBlock(Device& device, unsigned base, const std::vector<int>& data);

// A byte that read back other than written.
struct Mismatch {
    unsigned address;
    int expected;
    int read;
};

struct VerifyResult {
    // Refused, or a read that was not acknowledged or failed its PEC: then
    // the block is not verified, whatever values came back.
    RunResult run;
    std::vector<Mismatch> mismatches;
    bool verified() const { return run.ok() && mismatches.empty(); }
};

// Reads `expected.size()` bytes from `base` on and lists every byte that
// differs. Stops at the first read that went wrong on the wire.
VerifyResult verify(Device& device, unsigned base, const std::vector<int>& expected);

}  // namespace kestrel::eeprom
