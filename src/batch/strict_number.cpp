#include "batch/strict_number.h"

#include "chip/kestrel_map.h"
#include "device/text_rules.h"

namespace kestrel::batch {

namespace {

using text::addressText;
using text::byteText;
using text::hexDigit;
using text::suffixedByteText;

constexpr std::uint64_t kTooLarge = 0x100000000ull;
constexpr unsigned kEepromFirst = chip::kEepromFirst;
constexpr unsigned kEepromEnd = chip::kEepromEnd;  // one past the last byte
constexpr unsigned kBlock = chip::kEepromPageSize;

const char* kindName(NumberKind kind) {
    switch (kind) {
        case NumberKind::Register:
            return "register";
        case NumberKind::Data:
            return "data";
        case NumberKind::AddressByte:
            return "address byte";
        case NumberKind::EepromAddress:
            return "EEPROM address";
        case NumberKind::PageBase:
            return "page";
        case NumberKind::BlockBase:
            return "block base";
        case NumberKind::ByteCount:
            return "byte count";
    }
    return "number";
}

}  // namespace

std::string printable(std::string_view word) {
    constexpr std::size_t kLongest = 40;
    std::string out;
    for (std::size_t i = 0; i < word.size() && i < kLongest; ++i) {
        const auto c = static_cast<unsigned char>(word[i]);
        if (c == '\n')
            out += "\\n";
        else if (c < 0x20 || c >= 0x7F)
            out += "\\x" + byteText(c);
        else
            out += static_cast<char>(c);
    }
    if (word.size() > kLongest) out += "...";
    return out;
}

std::optional<std::uint64_t> strictHex(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    else if (text.size() > 1 && (text.back() == 'h' || text.back() == 'H'))
        text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        const int digit = hexDigit(c);
        if (digit < 0) return std::nullopt;
        value = value * 16 + static_cast<unsigned>(digit);
        if (value >= kTooLarge) value = kTooLarge;
    }
    return value;
}

std::optional<unsigned> readNumber(std::string_view text, NumberKind kind, std::string& error) {
    const std::string what = std::string(kindName(kind)) + " " + printable(text);
    const auto parsed = strictHex(text);
    if (!parsed) {
        error = what + ": not a hex number (write 1D, 1Dh or 0x1D)";
        return std::nullopt;
    }
    const std::uint64_t v = *parsed;
    switch (kind) {
        case NumberKind::Register:
        case NumberKind::Data:
            if (v > 0xFF) {
                error = what + ": out of range 00-FF";
                return std::nullopt;
            }
            break;
        case NumberKind::AddressByte:
            if (v > 0xFF) {
                error = what + ": out of range 00-FE (the 8-bit address byte)";
                return std::nullopt;
            }
            if ((v & 1) != 0) {
                error = what + ": the 8-bit address byte is even";
                if (v < 0x80)
                    error += "; 7-bit address " + suffixedByteText(static_cast<unsigned>(v)) +
                             " is " + suffixedByteText(static_cast<unsigned>(v) << 1);
                return std::nullopt;
            }
            break;
        case NumberKind::EepromAddress:
            if (v < kEepromFirst || v >= kEepromEnd) {
                error = what + ": outside the EEPROM (8000-81FF)";
                return std::nullopt;
            }
            break;
        case NumberKind::PageBase:
            if (v < kEepromFirst || v >= kEepromEnd) {
                error = what + ": outside the EEPROM (pages 8000-81E0)";
                return std::nullopt;
            }
            if (v % kBlock != 0) {
                error = what + ": not a page base (a multiple of 20h, such as " +
                        addressText(static_cast<unsigned>(v) & ~(kBlock - 1)) + ")";
                return std::nullopt;
            }
            break;
        case NumberKind::BlockBase:
            if (v < kEepromFirst || v >= kEepromEnd) {
                error = what + ": outside the EEPROM (8000-81FF)";
                return std::nullopt;
            }
            if (v + kBlock > kEepromEnd) {
                error = what + ": 32 bytes from there run past 81FFh (the last base is 81E0)";
                return std::nullopt;
            }
            break;
        case NumberKind::ByteCount:
            if (v == 0 || v > kEepromEnd - kEepromFirst) {
                error = what + ": out of range 1-200";
                return std::nullopt;
            }
            break;
    }
    return static_cast<unsigned>(v);
}

}  // namespace kestrel::batch
