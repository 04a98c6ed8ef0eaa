#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "device/device.h"
#include "production/golden.h"
#include "production/records.h"

// One board on the production station: read it once, check it is the chip
// the golden image was taken from, write only what differs and read back
// what was written, and leave one record of the attempt whatever happened
// (its row stored before the first write).
namespace kestrel::production {

inline constexpr long long kDefaultEraseLimit = 10000;

struct StationSettings {
    std::string station = "station";
    std::string operatorName;
    // Where the serial goes in the EEPROM (its characters and a 00h); not
    // written when not set.
    std::optional<unsigned> serialAt;
    // A board whose revision register differs from the golden image's may
    // be programmed.
    bool allowRevision = false;
    // A page is not erased once more when its count would pass this.
    long long eraseLimit = kDefaultEraseLimit;
    // Each board's EEPROM as it was found, saved here under its serial.
    std::string backupFolder;
    // After writing, read back every register and the whole EEPROM, not
    // only what was written.
    bool verifyAll = false;
};

enum class Verdict {
    Pass,
    Fail,     // the bus, the read-back or the serial: exit code 2
    Refused,  // the erase limit or the chip's identity, before any write: exit code 6
    Error,    // the backup or the record could not be stored: exit code 1
};

struct BoardResult {
    Verdict verdict = Verdict::Fail;
    std::string cause;  // the first failure, empty on a pass
    Attempt attempt;    // the row, as stored (or as it would have been)
    bool recorded = false;
    std::string backupPath;
    std::vector<int> registersWritten;
    std::vector<unsigned> pagesWritten;
    // What the operator should know of a board that passed or failed
    // ("the serial area held no readable serial ...; written over").
    std::vector<std::string> notes;
};

struct StationClock {
    std::function<std::chrono::system_clock::time_point()> wall = [] {
        return std::chrono::system_clock::now();
    };
    std::function<std::chrono::steady_clock::time_point()> steady = [] {
        return std::chrono::steady_clock::now();
    };
};

// The board's one read: registers 03h-1Dh (byte reads with PEC) and the
// whole EEPROM at block speed; registers 00h-02h and the latched status are
// left out (no snapshot of them is kept). Empty `error` when every byte was
// read cleanly.
struct BoardRead {
    snapshot::Snapshot board;
    bool refused = false;
    std::string error;
};
BoardRead readBoard(Device& device);

BoardResult programBoard(Device& device, const Golden& golden, const std::string& serial,
                         const StationSettings& settings, Records& records,
                         const StationClock& clock = {});

// "2026-12-07T03:04:05.123Z".
std::string utcText(std::chrono::system_clock::time_point when);

const char* verdictText(Verdict v);

}  // namespace kestrel::production
