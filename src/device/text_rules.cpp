#include "device/text_rules.h"

#include <cstdio>

namespace kestrel::text {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::uint16_t hexValue(std::string_view text) {
    unsigned value = 0;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n') continue;
        const int digit = hexDigit(c);
        if (digit < 0) break;
        value = ((value << 4) | static_cast<unsigned>(digit)) & 0xFFFFu;
    }
    return static_cast<std::uint16_t>(value);
}

double decimalValue(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    double sign = 1;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) sign = text[i++] == '-' ? -1 : 1;
    double value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        value = value * 10 + (text[i++] - '0');
    if (i < text.size() && text[i] == '.') {
        double scale = 0.1;
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, scale /= 10)
            value += (text[i] - '0') * scale;
    }
    return sign * value;
}

std::string sentence(std::string clause) {
    if (!clause.empty() && clause[0] >= 'a' && clause[0] <= 'z')
        clause[0] = static_cast<char>(clause[0] - 'a' + 'A');
    return clause;
}

std::string hexText(unsigned value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%X", value);
    return buf;
}

std::string byteText(unsigned value) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X", value & 0xFFu);
    return buf;
}

std::string suffixedHexText(unsigned value) {
    return hexText(value) + "h";
}

std::string suffixedByteText(unsigned value) {
    return byteText(value) + "h";
}

std::string addressText(unsigned address) {
    return hexText(address & 0xFFFFu);
}

std::string suffixedAddressText(unsigned address) {
    return addressText(address) + "h";
}

std::string imageLine(unsigned address, unsigned byte) {
    return addressText(address) + "h: " + byteText(byte) + "h";
}

std::uint8_t imageLineData(std::string_view line) {
    const std::string_view field =
        line.size() < 3 ? line.substr(0, 2) : line.substr(line.size() - 3, 2);
    return static_cast<std::uint8_t>(hexValue(field) & 0xFF);
}

AddressBytes splitAddressText(std::string_view text) {
    const std::string_view first = text.substr(0, 2);
    const std::string_view last = text.size() < 2 ? text : text.substr(text.size() - 2);
    return {static_cast<std::uint8_t>(hexValue(first) & 0xFF),
            static_cast<std::uint8_t>(hexValue(last) & 0xFF)};
}

bool isFourHexDigits(std::string_view text) {
    int digits = 0;
    for (char c : text) {
        if (c == ' ' || c == '\t') continue;
        if (hexDigit(c) < 0) return false;
        ++digits;
    }
    return digits == 4;
}

std::string listItem(const std::vector<std::string>& list, std::size_t k) {
    return k < list.size() ? list[k] : std::string();
}

}  // namespace kestrel::text
