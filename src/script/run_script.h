#pragma once

#include <iosfwd>
#include <optional>

#include "batch/batch.h"
#include "batch/command_line.h"
#include "bus/transaction_record.h"
#include "script/runner.h"

// kestrel-eval run SCRIPT [--junit FILE] [--csv FILE] [--dry-run [--from SNAPSHOT]]
//
// Checks the whole script, then runs it on the board (or, with --dry-run, on
// a simulated copy of it) and writes its reports. Exit codes: 0 every step
// passed, 1 usage or script error (nothing sent), 2 bus failure, 3 no usable
// port, 5 an expectation failed, 130 stopped by SIGINT or SIGTERM.
namespace kestrel::script {

// A transaction as the bus monitor shows it, on one line: kind, slave,
// target, bytes, PEC and result.
std::string monitorLine(const TransactionRecord& record);

// `hooks` replaces the signal handling and clocks (tests); SIGINT and
// SIGTERM stop the run when it is not given.
int runScript(const batch::Invocation& inv, const batch::Environment& environment,
              std::ostream& out, std::ostream& err, const Hooks* hooks = nullptr);

}  // namespace kestrel::script
