#pragma once

#include <string>

#include "script/runner.h"

// A run's reports: JUnit XML for test servers, CSV of the log lines.
namespace kestrel::script {

// One testsuite for the script; one testcase for each expect and poll run
// and for each other step that did not pass, named by file:line with the
// message. A run that ended early says where in a last testcase.
std::string junitXml(const Runner& runner, double totalMs, std::int64_t startedUnixMs);

// "time,label,register,value" and a row per register logged; the time in
// ISO 8601 UTC with milliseconds.
std::string logCsv(const Runner& runner);

// "2026-12-07T02:40:00.123Z".
std::string isoTime(std::int64_t unixMs);

// A line per run: "12 steps: 10 passed, 1 failed, 1 error".
std::string summary(const Runner& runner);

}  // namespace kestrel::script
