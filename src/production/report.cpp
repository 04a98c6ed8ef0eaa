#include "production/report.h"

#include <algorithm>
#include <map>

#include "bus/csv.h"
#include "bus/decimal.h"

namespace kestrel::production {

namespace {

std::string percent(int part, int whole) {
    if (whole == 0) return "-";
    return decimal::fixed(100.0 * part / whole, 1) + "%";
}

}  // namespace

Summary summarize(const std::vector<Attempt>& attempts) {
    Summary s;
    std::map<std::string, bool> lastPassed;
    std::map<std::string, int> causes;
    for (const Attempt& a : attempts) {
        ++s.attempts;
        const bool pass = a.finished && a.result == "PASS";
        if (!a.finished)
            ++s.unfinished;
        else
            pass ? ++s.passed : ++s.failed;
        lastPassed[a.serial] = pass;
        if (!a.finished)
            ++causes["unfinished: the station stopped before the end of the board"];
        else if (!pass)
            ++causes[a.firstFailure];
    }
    s.boards = static_cast<int>(lastPassed.size());
    for (const auto& [serial, pass] : lastPassed) s.boardsPassed += pass ? 1 : 0;
    s.causes.assign(causes.begin(), causes.end());
    std::stable_sort(s.causes.begin(), s.causes.end(),
                     [](const auto& x, const auto& y) { return x.second > y.second; });
    return s;
}

std::string reportText(const std::vector<Attempt>& attempts) {
    const Summary s = summarize(attempts);
    std::string t = "attempts " + std::to_string(s.attempts) + ", passed " +
                    std::to_string(s.passed) + ", failed " + std::to_string(s.failed) +
                    (s.unfinished == 0 ? "" : ", unfinished " + std::to_string(s.unfinished)) +
                    ", pass rate " + percent(s.passed, s.attempts) + "\n";
    t += "boards " + std::to_string(s.boards) + ", passing now " + std::to_string(s.boardsPassed) +
         ", yield " + percent(s.boardsPassed, s.boards) + "\n";
    if (!s.causes.empty()) t += "first failures by cause:\n";
    for (const auto& [cause, count] : s.causes)
        t += "  " + std::to_string(count) + "  " + cause + "\n";
    std::map<std::string, std::vector<const Attempt*>> bySerial;
    for (const Attempt& a : attempts) bySerial[a.serial].push_back(&a);
    if (!bySerial.empty()) t += "history by serial:\n";
    for (const auto& [serial, rows] : bySerial) {
        t += serial + "\n";
        for (const Attempt* a : rows) {
            t += "  " + a->started + "  " + a->shownResult() + "  " + a->station + "  " + a->operatorName +
                 "  " + a->goldenName + "  " + std::to_string(a->durationMs) + " ms";
            if (!a->firstFailure.empty()) t += "  " + a->firstFailure;
            t += "\n";
        }
    }
    return t;
}

std::string reportCsv(const std::vector<Attempt>& attempts) {
    std::string csv =
        "serial,started,duration_ms,station,operator,golden_name,golden_sha256,result,"
        "registers_written,pages_written,first_failure\r\n";
    for (const Attempt& a : attempts)
        csv += csv::row({a.serial, a.started, std::to_string(a.durationMs), a.station,
                         a.operatorName, a.goldenName, a.goldenSha256, a.shownResult(), a.registersWritten,
                         a.pagesWritten, a.firstFailure});
    return csv;
}

}  // namespace kestrel::production
