#pragma once

#include <cstdio>
#include <string>
#include <vector>

// A CSV file as Python's csv module reads it: its rows, each a list of
// fields. Nothing when Python cannot read it.
namespace kestrel::testing {

inline std::vector<std::vector<std::string>> pythonCsvRows(const std::string& path) {
    // Each field comes back hex-encoded, so that commas and line ends in it
    // cannot confuse the reading here.
    const std::string command =
        "python3 -c 'import csv, sys\n"
        "for row in csv.reader(open(sys.argv[1], newline=\"\", encoding=\"latin-1\"), "
        "strict=True):\n"
        "    print(\",\".join(f.encode(\"latin-1\").hex() for f in row))' '" +
        path + "'";
    std::vector<std::vector<std::string>> rows;
    FILE* p = ::popen(command.c_str(), "r");
    if (p == nullptr) return rows;
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) text.append(buffer, n);
    if (::pclose(p) != 0) return {};
    std::vector<std::string> row(1);
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (text[k] == '\n') {
            rows.push_back(row);
            row.assign(1, "");
        } else if (text[k] == ',') {
            row.emplace_back();
        } else {
            row.back() += static_cast<char>(std::stoi(text.substr(k++, 2), nullptr, 16));
        }
    }
    return rows;
}

}  // namespace kestrel::testing
