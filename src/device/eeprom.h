#pragma once

#include <functional>
#include <string>
#include <vector>

#include "device/device.h"

// The EEPROM operations of every window, batch mode, backups and snapshots,
// built from the device's transactions. Each says exactly what reached the
// chip: a step whose bytes were not acknowledged, or whose PEC did not match,
// counts as failed, never as done.
namespace kestrel::eeprom {

// One step of a run over EEPROM addresses (a byte read, a byte write, an
// erase or a zero-write) and how it went on the wire.
struct Step {
    unsigned address = 0;
    int value = 0xFF;  // read: what the line gave (a silent bus reads FFh); write: the byte sent
    bool acknowledged = false;
    bool pecOk = false;   // reads: the PEC of its transaction matched
    std::string problem;  // the first fault, empty when none
    // A read was sent for it; false for the addresses a refused or stopped
    // run never reached (a window leaves what it shows of them alone).
    bool sent = true;
    bool ok() const { return problem.empty(); }
};

// A run of steps. It ends early when the bus refused a step (nothing more
// was sent), when the port itself failed, or where the operation says so.
// A read run is whole whatever happened: one step per address asked for,
// the addresses it never read (a block cut short, the rest after a port
// failure, a refusal or a cancel) as failed steps.
struct Run {
    std::string refusal;      // why the run stopped before a step; empty when it did not
    bool busRefusal = false;  // the bus refused and has told the user why
    std::vector<Step> steps;  // in address order
    std::size_t asked = 0;    // the steps the run was asked for
    // One line per block read that failed and was read again byte by byte.
    std::vector<std::string> fallbacks;
    // The port or adapter itself failed in the last step; the run ended there.
    bool portFailed = false;

    bool refused() const { return !refusal.empty(); }
    std::size_t failed() const;
    const Step* firstFailure() const;
    // Every step asked for was taken, and went through.
    bool ok() const { return !refused() && steps.size() == asked && failed() == 0; }
    // The values of the steps, in order.
    std::vector<int> values() const;
    // The addresses of the failed steps as ranges: "8040h-81FFh", "8100h, 8105h-8107h".
    std::string failedAddresses() const;
};

// A diagnosis as the tail of a sentence: "no acknowledge from AEh".
std::string inSentence(const std::string& problem);

// How a read of a range goes on the wire: a byte read for every byte (as
// the windows' block and page reads send them), or the chip's block read,
// one per 32 bytes, with byte reads for a block that failed.
enum class Speed { Bytes, Blocks };

// Called after each step read; returns false to stop (the user cancelled).
using OnStep = std::function<bool(const Step&)>;

// Reads `count` bytes from `base` on. With Blocks, ranges shorter than
// kBulkMinimum are read byte by byte (a block read costs about as much as
// six byte reads), and a block that would run past 81FFh starts at 81E0h.
Run read(Device& device, unsigned base, unsigned count, Speed speed, const OnStep& onStep = {});
inline constexpr unsigned kBulkMinimum = 8;

// Writes data[i] to base + i, one byte write each, no waits.
Run writeBlock(Device& device, unsigned base, const std::vector<int>& data);

// Erases every page the range `base` .. `base + count - 1` touches: the first
// with `base` itself on the wire, each later one with the range's last
// address in it. Stops at the first erase that failed: nothing may be
// written over a page that was not erased.
Run erasePages(Device& device, unsigned base, unsigned count);

// Writes 00h into the 32 bytes from `page` on, one zero-write (30 ms) each.
Run zeroFill(Device& device, unsigned page);

// A byte that was not verified: its read failed (`problem`), or it read back
// other than expected.
struct VerifyFailure {
    unsigned address = 0;
    int expected = 0;
    int read = 0;
    std::string problem;
    // "Verify failed at 8100h: no acknowledge from AEh" or "verify mismatch
    // at 8105h: expected 12, read FF".
    std::string text() const;
};

struct Verify {
    Run run;
    std::vector<VerifyFailure> failures;  // every byte not verified, in address order
    bool passed() const { return run.ok() && failures.empty(); }
    std::size_t verified() const { return run.steps.size() - failures.size(); }
};

// Reads `expected.size()` bytes from `base` on and lists every byte that was
// not read cleanly or differs.
Verify verify(Device& device, unsigned base, const std::vector<int>& expected, Speed speed);

// "3 of 32 writes not acknowledged; first at 8100h: no acknowledge from AEh";
// empty when every write was.
std::string writeFailureText(const Run& writes);

}  // namespace kestrel::eeprom
