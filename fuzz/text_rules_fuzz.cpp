// The text rules every window reads numbers and image lines with: any text
// is read without fault, and what the program writes reads back as written.
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "device/text_rules.h"

using namespace kestrel::text;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // Anything a user types.
    const std::uint16_t value = hexValue(input);
    if (std::isnan(decimalValue(input))) __builtin_trap();
    (void)imageLineData(input);
    (void)splitAddressText(input);
    // A character that is not a hex digit ends the number.
    if (hexValue(std::string(input) + "x0") != value) __builtin_trap();

    // What the program writes reads back as written.
    if (size >= 3) {
        const unsigned number = data[0] | (data[1] << 8);
        const unsigned byte = data[2];
        if (hexValue(hexText(number)) != number) __builtin_trap();
        const std::string two = byteText(byte);
        if (two.size() != 2 || hexValue(two) != byte) __builtin_trap();
        if (imageLineData(imageLine(number, byte)) != byte) __builtin_trap();
        const unsigned eeprom = 0x8000 | (number & 0x1FF);
        const std::string address = addressText(eeprom);
        if (!isFourHexDigits(address) || hexValue(address) != eeprom) __builtin_trap();
        const AddressBytes split = splitAddressText(address);
        if (split.high != (eeprom >> 8) || split.low != (eeprom & 0xFF)) __builtin_trap();
    }
    return 0;
}
