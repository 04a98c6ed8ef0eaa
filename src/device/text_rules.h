#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// How every window reads and writes numbers and EEPROM image lines.
namespace kestrel::text {

// The value of one hex digit (either case), -1 for any other character.
int hexDigit(char c);

// The value of a text read as hexadecimal digits: blanks, tabs and line feeds
// are skipped, reading stops at the first other non-hex character ("1Dh" is
// 1Dh), a text without leading digits is 0. A longer number keeps its low 16
// bits ("12345" is 2345h), the same rule for every field.
std::uint16_t hexValue(std::string_view text);

// The leading decimal number of a text, with sign and fraction ("0.15" is
// 0.15, " -2x" is -2, "abc" is 0). Blanks before the number are skipped.
double decimalValue(std::string_view text);

// A clause as the start of a sentence: its first letter upper case
// ("cannot write x: ..." -> "Cannot write x: ...").
std::string sentence(std::string clause);

// Upper-case hex digits without leading zeros or suffix: "5", "AE", "0".
std::string hexText(unsigned value);
// Exactly two upper-case hex digits: "05", "3C".
std::string byteText(unsigned value);
// A number as the chip's documents write it, with the "h" suffix: "1Dh", "200h".
std::string suffixedHexText(unsigned value);
// A byte as two digits with the "h" suffix: "05h", "3Ch".
std::string suffixedByteText(unsigned value);
// Hex digits of an address modulo 10000h: "8100", "0"… four for every EEPROM address.
std::string addressText(unsigned address);
// An address with the "h" suffix: "8100h".
std::string suffixedAddressText(unsigned address);
// One EEPROM byte as list item or file line: "8100h: 3Ch".
std::string imageLine(unsigned address, unsigned byte);
// The data byte of an image line: the hex value of the two characters before
// its last one (of its first two when it is shorter than three characters).
std::uint8_t imageLineData(std::string_view line);

// Splits a four-digit address text by position: high byte from the first two
// characters, low byte from the last two ("810" gives 81h, 10h; "8" gives 08h, 08h).
struct AddressBytes {
    std::uint8_t high;
    std::uint8_t low;
};
AddressBytes splitAddressText(std::string_view text);

// True for a text of exactly four hex digits (blanks ignored).
bool isFourHexDigits(std::string_view text);

// Item k, or an empty text beyond the end.
std::string listItem(const std::vector<std::string>& list, std::size_t k);

}  // namespace kestrel::text
