#pragma once

#include <ctime>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "bus/kernel_calls.h"
#include "bus/port_access.h"
#include "bus/wait_hooks.h"

// Command-line batch mode: one command per run, for scripts and test rigs.
//
//   kestrel-eval [OPTION]... COMMAND [ARG]...
//
// Output goes to standard output in a stable, machine-readable form (or as
// one JSON object with --json); every problem goes to standard error. Exit
// codes: 0 success, 1 usage error or unusable file, 2 a missing acknowledge,
// PEC mismatch or failed verify, 3 no usable port, 4 snapshot diff found
// differences. Whatever is wrong with the
// command line or its input files is found before the bus is touched.
namespace kestrel::batch {

enum ExitCode { kOk = 0, kUsage = 1, kBusFault = 2, kNoPort = 3, kDiffer = 4 };

// What a run takes from its surroundings; tests replace any of it.
struct Environment {
    // Standard input, for a FILE of "-"; std::cin when null.
    std::istream* in = nullptr;
    // A port to use instead of the one the options name (no state file and no
    // trace then); tests pass a simulated board they keep.
    PortAccess* port = nullptr;
    // The kernel calls an I2C adapter is driven with; the machine's own when null.
    KernelCalls* kernel = nullptr;
    // How the 30 ms holds wait; a plain sleep when not set.
    std::optional<WaitHooks> waitHooks;
    // XDG_STATE_HOME and HOME, for the backup folder; ::getenv when not set.
    std::function<const char*(const char*)> getenv;
    // The time a backup is named after; the system clock when not set.
    std::function<std::time_t()> now;
};

// Runs one batch command (or prints the help or the version); `args` is the
// command line without the program name.
int run(const std::vector<std::string>& args, const Environment& environment, std::ostream& out,
        std::ostream& err);
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kestrel::batch
