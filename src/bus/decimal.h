#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Decimal numbers as files, exports, reports, captures and the command line
// hold them: a point before the fraction whatever the user's locale (a Qt
// program runs in the user's LC_NUMERIC, where the C library's formatting
// and reading of numbers would write and expect "0,5").
namespace kestrel::decimal {

// `value` with `decimals` digits after the point: fixed(29560.7241, 3) is "29560.724".
std::string fixed(double value, int decimals);

// The number at the start of `text` ("0.000001250", "-0.5", "1.25e-06",
// "+2"); nothing when it starts with none. `used` receives how many
// characters it took.
std::optional<double> leading(std::string_view text, std::size_t* used = nullptr);

// The whole of `text` as a number; nothing when anything else is in it.
std::optional<double> parse(std::string_view text);

}  // namespace kestrel::decimal
