#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "chip/kestrel_map.h"

// A board snapshot: what one KESTREL holds at one moment, kept as one text
// file that reads and diffs well. One fact per line, always in this order:
//
//   kestrel-eval board snapshot
//   tool 2.0.0
//   slave AEh
//   time 2026-12-06T12:00:00Z
//   register 00h Status1 = 01h  read-only
//   register 16h Current Sense Config 1 = 2Dh  Resistor Divider Tolerances: 0.5%  Gain: 175x
//   ... every RAM register 00h..1Dh, the editors' named settings after the value
//   status 2Ah Latched Status1 = 01h  for information
//   ... 2Bh, 2Ch
//   8000h: 01h
//   ... the 512 EEPROM bytes as image lines, up to 81FFh: FFh
//
// Every line ends in CR LF, as the program's image files do.
namespace kestrel::snapshot {

inline constexpr int kRegisterCount = chip::kRamRegisterCount;
inline constexpr int kLatchedFirst = 0x2A;
inline constexpr int kLatchedCount = 3;
inline constexpr std::size_t kLines = 4 + kRegisterCount + kLatchedCount + chip::kEepromSize;

// One register as read: its value, and whether the read was acknowledged
// and its PEC matched. A value without `ok` proves nothing.
struct ByteValue {
    int value = 0;
    bool ok = false;
};

using EepromImage = std::array<std::uint8_t, chip::kEepromSize>;

struct Snapshot {
    std::string tool;       // the version of the program that took it
    unsigned slave = 0xAE;  // the 8-bit address byte it was read from
    std::time_t taken = 0;  // when, in seconds since the epoch (written as UTC)
    std::array<ByteValue, kRegisterCount> registers{};  // 00h..1Dh
    std::array<ByteValue, kLatchedCount> latched{};     // 2Ah..2Ch, for information
    EepromImage eeprom{};                               // 8000h..81FFh
};

// "2026-12-06T12:00:00Z".
std::string timeText(std::time_t when);

// The file's text. Nothing (with the first unread register named in `error`)
// when a register was not read cleanly: a snapshot never holds a value that
// was not read.
std::optional<std::string> snapshotText(const Snapshot& s, std::string& error);

// A snapshot from a file's text, all or nothing: exactly the lines above (CR
// LF or LF), the settings after each register value as the program writes
// them for that value. Otherwise nothing, with the first bad line named in
// `error` ("board.snap line 9: ..."); `name` is the file's name.
std::optional<Snapshot> parseSnapshot(const std::string& text, const std::string& name,
                                      std::string& error);

// Reads a regular file of at most image_file::kMaxFileBytes and parses it.
std::optional<Snapshot> loadSnapshot(const std::string& path, std::string& error);
// Writes the file atomically: the old file stays whole until the new one is.
bool saveSnapshot(const std::string& path, const Snapshot& s, std::string& error);

}  // namespace kestrel::snapshot
