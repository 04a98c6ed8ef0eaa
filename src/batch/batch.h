#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// Command-line batch mode: one command per run, for scripts and test rigs.
//
//   kestrel-eval [--simulate [--sim-state FILE]] [--slave AEh] [--trace FILE.vcd] COMMAND ARGS
//
// Output goes to standard output in a stable, machine-readable form; every
// problem goes to standard error. Exit codes: 0 success, 1 usage error,
// 2 a missing acknowledge, PEC mismatch or verify mismatch, 3 no usable port.
namespace kestrel::batch {

enum ExitCode { kOk = 0, kUsage = 1, kBusFault = 2, kNoPort = 3 };

// Whether the arguments (without the program name) hold a command word, so
// that the run is a batch run (an unknown command is then a usage error).
bool isBatchCommand(const std::vector<std::string>& args);

// Runs one batch command.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The usage text: options, every command with an example, exit codes.
std::string usage();

}  // namespace kestrel::batch
