#pragma once

#include <string>
#include <string_view>
#include <vector>

// The one CSV writer of the program's tables (the monitor's export, the
// production report, a script's log), as RFC 4180 has it: a field holding a
// comma, a quote, CR or LF is quoted, its quotes doubled; fields are joined
// by commas and every row ends in CR LF.
namespace kestrel::csv {

std::string field(std::string_view text);

// The row of `fields`, with its CR LF.
std::string row(const std::vector<std::string>& fields);

}  // namespace kestrel::csv
