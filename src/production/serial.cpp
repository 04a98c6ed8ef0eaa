#include "production/serial.h"

#include "chip/kestrel_map.h"
#include "device/text_rules.h"

namespace kestrel::production {

std::string serialProblem(const std::string& serial) {
    if (serial.empty()) return "the serial is empty";
    if (serial.size() > kMaxSerialLength)
        return "the serial is longer than " + std::to_string(kMaxSerialLength) + " characters";
    for (char c : serial) {
        if (c == ' ') return "the serial holds a space; a serial is printable ASCII without spaces";
        if (c < ' ' || c > '~') return "the serial holds a character other than printable ASCII";
    }
    return {};
}

std::optional<std::string> nextSerial(const std::string& serial, unsigned step) {
    std::size_t first = serial.size();
    while (first > 0 && serial[first - 1] >= '0' && serial[first - 1] <= '9') --first;
    if (first == serial.size()) return std::nullopt;
    // Digits counted on as text: any length, no overflow.
    std::string digits = serial.substr(first);
    std::string add = std::to_string(step);
    std::string sum;
    int carry = 0;
    for (std::size_t k = 0; k < std::max(digits.size(), add.size()) || carry; ++k) {
        int d = carry;
        if (k < digits.size()) d += digits[digits.size() - 1 - k] - '0';
        if (k < add.size()) d += add[add.size() - 1 - k] - '0';
        sum.insert(sum.begin(), static_cast<char>('0' + d % 10));
        carry = d / 10;
    }
    return serial.substr(0, first) + sum;
}

std::string serialPlaceProblem(const std::string& serial, unsigned at) {
    if (at < chip::kEepromFirst || at >= chip::kEepromEnd)
        return "--serial-at " + text::suffixedAddressText(at) +
               " is outside the EEPROM (8000h-81FFh)";
    if (at + serial.size() + 1 > chip::kEepromEnd)
        return "the serial and its 00h from " + text::suffixedAddressText(at) + " run past 81FFh";
    return {};
}

void placeSerial(snapshot::EepromImage& image, const std::string& serial, unsigned at) {
    std::size_t k = at - chip::kEepromFirst;
    for (char c : serial) image[k++] = static_cast<std::uint8_t>(c);
    image[k] = 0x00;
}

SerialArea serialIn(const snapshot::EepromImage& image, unsigned at) {
    SerialArea area;
    const std::size_t first = at - chip::kEepromFirst;
    if (first >= image.size() || image[first] == 0xFF || image[first] == 0x00) return area;
    std::size_t k = first;
    std::string s;
    for (; k < image.size() && image[k] > ' ' && image[k] <= '~' && s.size() < kMaxSerialLength;
         ++k)
        s += static_cast<char>(image[k]);
    if (k < image.size() && image[k] == 0x00) {
        area.kind = SerialArea::Serial;
        area.serial = s;
        return area;
    }
    area.kind = SerialArea::Unreadable;
    for (std::size_t b = first; b < image.size() && b < first + 8; ++b)
        area.bytes += (area.bytes.empty() ? "" : " ") + text::suffixedByteText(image[b]);
    if (first + 8 < image.size()) area.bytes += " ...";
    return area;
}

std::string fileNameOf(const std::string& serial) {
    std::string name;
    for (char c : serial) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        name += keep ? c : '_';
    }
    if (name.empty() || name[0] == '.') name.insert(name.begin(), '_');
    return name;
}

}  // namespace kestrel::production
