#pragma once

#include <optional>
#include <string>
#include <vector>

#include "files/snapshot.h"

// Board serial numbers: what a scanner may type, the next one of an
// auto-increment scheme, and how one is kept in the EEPROM.
namespace kestrel::production {

inline constexpr std::size_t kMaxSerialLength = 32;

// Empty when `serial` is usable: 1 to 32 printable ASCII characters, no
// space; otherwise why not.
std::string serialProblem(const std::string& serial);

// The serial `step` on from `serial`: its trailing decimal digits counted
// on, their width kept ("KB-0099" + 1 = "KB-0100"; "KB-99" + 1 = "KB-100").
// Nothing when the serial does not end in a digit.
std::optional<std::string> nextSerial(const std::string& serial, unsigned step);

// In the EEPROM the serial is its characters followed by one 00h; `at` is
// the address of the first. Where it does not fit, why not.
std::string serialPlaceProblem(const std::string& serial, unsigned at);
void placeSerial(snapshot::EepromImage& image, const std::string& serial, unsigned at);

// What an image holds where the serial goes.
struct SerialArea {
    enum Kind {
        Blank,       // erased (FFh) or zero-filled (00h) from its first byte: no serial
        Serial,      // 1 to 32 printable characters without a space, then 00h
        Unreadable,  // anything else (other data, a serial cut short): not a serial
    };
    Kind kind = Blank;
    std::string serial;  // Serial: its characters
    std::string bytes;   // Unreadable: its first bytes as hex, "4Bh 21h 03h ..."
};
SerialArea serialIn(const snapshot::EepromImage& image, unsigned at);

// A file name for the serial: letters, digits, '.', '-' and '_' kept, any
// other character '_', never starting with '.'.
std::string fileNameOf(const std::string& serial);

}  // namespace kestrel::production
