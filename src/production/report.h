#pragma once

#include <string>
#include <vector>

#include "production/records.h"

// What the records say: counts, yield, the first failures grouped by cause,
// and each serial's history; as text and as CSV (one row per attempt).
namespace kestrel::production {

struct Summary {
    int attempts = 0;
    int passed = 0;
    int failed = 0;
    int unfinished = 0;    // rows whose board never reached its end
    int boards = 0;        // distinct serials
    int boardsPassed = 0;  // serials whose last attempt passed
    // Causes with how many attempts they ended, most frequent first.
    std::vector<std::pair<std::string, int>> causes;
};

Summary summarize(const std::vector<Attempt>& attempts);

// "attempts 12, passed 10, failed 2, pass rate 83.3%" (", unfinished N"
// when there are such rows) ...
std::string reportText(const std::vector<Attempt>& attempts);

// RFC 4180: a header, then one line per attempt, CR LF.
std::string reportCsv(const std::vector<Attempt>& attempts);

}  // namespace kestrel::production
