#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Numbers on the command line, read the way scripts write them and nothing
// else: hexadecimal digits, either bare ("1D"), with an "h" suffix ("1Dh") or
// with a "0x" prefix ("0x1D"), in any case. The windows keep their own
// lenient rules (device/text_rules.h); batch mode never guesses.
namespace kestrel::batch {

// The value, or nothing when the text is not such a number. A value too large
// for 32 bits reads as 100000000h, so a range check refuses it.
std::optional<std::uint64_t> strictHex(std::string_view text);

// A command-line word as an error message quotes it: control and non-ASCII
// bytes escaped (\n, \xHH), long words cut, so a message stays one line.
std::string printable(std::string_view word);

// What a command-line number stands for; each has its own range.
enum class NumberKind {
    Register,       // 00-FF
    Data,           // 00-FF
    AddressByte,    // an even byte, the 8-bit slave address (AEh = 57h 7-bit)
    EepromAddress,  // 8000-81FF
    PageBase,       // 8000-81E0, a multiple of 20h
    BlockBase,      // 8000-81E0: a 32-byte block that ends by 81FFh
    ByteCount,      // 1-200
};

// Reads `text` as a number of the given kind. On failure returns nothing and
// says in `error` what is wrong, naming the argument ("register 0x1G: not a
// hex number (1D, 1Dh or 0x1D)").
std::optional<unsigned> readNumber(std::string_view text, NumberKind kind, std::string& error);

}  // namespace kestrel::batch
