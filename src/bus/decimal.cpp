#include "bus/decimal.h"

#include <charconv>

namespace kestrel::decimal {

std::string fixed(double value, int decimals) {
    // Room for the largest double's 309 digits and a few decimals.
    char text[400];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return result.ec == std::errc() ? std::string(text, result.ptr) : std::string("?");
}

std::optional<double> leading(std::string_view text, std::size_t* used) {
    // from_chars takes no plus sign; the C library's readers did.
    const std::size_t sign = !text.empty() && text[0] == '+' ? 1 : 0;
    if (sign == 1 && (text.size() < 2 || text[1] == '-' || text[1] == '+')) return std::nullopt;
    double value = 0;
    const char* begin = text.data() + sign;
    const auto [end, ec] = std::from_chars(begin, text.data() + text.size(), value);
    if (ec != std::errc() || end == begin) return std::nullopt;
    if (used != nullptr) *used = static_cast<std::size_t>(end - text.data());
    return value;
}

std::optional<double> parse(std::string_view text) {
    std::size_t used = 0;
    const auto value = leading(text, &used);
    if (!value || used != text.size()) return std::nullopt;
    return value;
}

}  // namespace kestrel::decimal
