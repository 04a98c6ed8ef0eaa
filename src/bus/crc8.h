#pragma once

#include <cstdint>
#include <initializer_list>

namespace kestrel {

// SMBus packet error code: CRC-8 with polynomial x^8 + x^2 + x + 1 (07h),
// initial value 0, over every byte of the transaction including the address
// bytes.
constexpr std::uint8_t crc8Update(std::uint8_t crc, std::uint8_t byte) noexcept {
    crc = static_cast<std::uint8_t>(crc ^ byte);
    for (int i = 0; i < 8; ++i)
        crc = static_cast<std::uint8_t>((crc & 0x80) != 0 ? (crc << 1) ^ 0x07 : crc << 1);
    return crc;
}

template <typename Range>
constexpr std::uint8_t smbusPec(const Range& bytes) noexcept {
    std::uint8_t crc = 0;
    for (auto b : bytes) crc = crc8Update(crc, static_cast<std::uint8_t>(b));
    return crc;
}

constexpr std::uint8_t smbusPec(std::initializer_list<std::uint8_t> bytes) noexcept {
    std::uint8_t crc = 0;
    for (auto b : bytes) crc = crc8Update(crc, b);
    return crc;
}

}  // namespace kestrel
