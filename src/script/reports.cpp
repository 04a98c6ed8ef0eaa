#include "script/reports.h"

#include <cstdio>
#include <ctime>

#include "bus/csv.h"
#include "bus/decimal.h"

namespace kestrel::script {

namespace {

// Text as XML character data or an attribute: the five special characters
// escaped; control and non-ASCII bytes, which a script's words may hold but
// XML 1.0 or UTF-8 may not, become '?'.
std::string xml(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            case '\n':
                out += "&#10;";
                break;
            default:
                out += (u < 0x20 || u >= 0x7F) ? '?' : c;
        }
    }
    return out;
}

std::string seconds(double ms) {
    return decimal::fixed(ms / 1000.0, 3);
}

std::string lineText(const Runner& runner, const StepResult& r) {
    return r.text.empty() ? runner.script().program[r.instruction].text() : r.text;
}

}  // namespace

std::string isoTime(std::int64_t unixMs) {
    const std::time_t t = static_cast<std::time_t>(unixMs / 1000);
    std::tm utc{};
    ::gmtime_r(&t, &utc);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(unixMs % 1000));
    return buffer;
}

std::string junitXml(const Runner& runner, double totalMs, std::int64_t startedUnixMs) {
    const std::string& file = runner.script().file;
    std::string cases;
    std::size_t tests = 0, failures = 0, errors = 0;
    for (const StepResult& r : runner.results()) {
        if (!r.check && r.verdict == Verdict::Pass) continue;
        ++tests;
        const std::string where = file + ":" + std::to_string(r.line);
        cases += "    <testcase classname=\"" + xml(file) + "\" name=\"" +
                 xml(where + ": " + lineText(runner, r)) + "\" file=\"" + xml(file) + "\" line=\"" +
                 std::to_string(r.line) + "\" time=\"" + seconds(r.ms) + "\"";
        if (r.verdict == Verdict::Pass) {
            cases += "/>\n";
            continue;
        }
        const bool failure = r.verdict == Verdict::Fail;
        (failure ? failures : errors) += 1;
        const char* element = failure ? "failure" : "error";
        const std::string type = r.verdict == Verdict::Stopped ? "stopped"
                                 : failure                     ? "expectation"
                                                               : "bus";
        cases += ">\n      <" + std::string(element) + " type=\"" + type + "\" message=\"" +
                 xml(where + ": " + r.message) + "\">" + xml(where + ": " + r.message) + "</" +
                 element + ">\n    </testcase>\n";
    }
    if (runner.stopped() &&
        (runner.results().empty() || runner.results().back().verdict != Verdict::Stopped)) {
        ++tests;
        ++errors;
        cases += "    <testcase classname=\"" + xml(file) + "\" name=\"" + xml(file) +
                 ": run\" time=\"0.000\">\n      <error type=\"stopped\" message=\"" +
                 xml(runner.endedEarly()) + "\">" + xml(runner.endedEarly()) +
                 "</error>\n    </testcase>\n";
    }
    std::string timestamp = isoTime(startedUnixMs);
    timestamp.erase(timestamp.size() - 5);  // JUnit's timestamp has no fraction or zone
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n";
    out += "  <testsuite name=\"" + xml(file) + "\" tests=\"" + std::to_string(tests) +
           "\" failures=\"" + std::to_string(failures) + "\" errors=\"" + std::to_string(errors) +
           "\" skipped=\"0\" time=\"" + seconds(totalMs) + "\" timestamp=\"" + timestamp + "\">\n";
    out += cases;
    out += "    <system-out>" + xml(summary(runner)) + "</system-out>\n";
    out += "  </testsuite>\n</testsuites>\n";
    return out;
}

std::string logCsv(const Runner& runner) {
    std::string out = csv::row({"time", "label", "register", "value"});
    for (const LogEntry& e : runner.log()) {
        char reg[8], value[8];
        std::snprintf(reg, sizeof reg, "%02Xh", e.reg);
        std::snprintf(value, sizeof value, "%02Xh", e.value);
        out += csv::row({isoTime(e.unixMs), e.label, reg, value});
    }
    return out;
}

std::string summary(const Runner& runner) {
    std::size_t counts[4] = {0, 0, 0, 0};
    for (const StepResult& r : runner.results()) ++counts[static_cast<int>(r.verdict)];
    const std::size_t steps = runner.results().size();
    std::string t = runner.script().file + ": " + std::to_string(steps) +
                    (steps == 1 ? " step: " : " steps: ") + std::to_string(counts[0]) +
                    " passed, " + std::to_string(counts[1]) + " failed, " +
                    std::to_string(counts[2]) + (counts[2] == 1 ? " error" : " errors");
    if (runner.stopped()) t += ", stopped";
    if (!runner.endedEarly().empty()) t += "\n" + runner.endedEarly();
    return t + "\n";
}

}  // namespace kestrel::script
