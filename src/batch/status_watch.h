#pragma once

#include <ostream>

#include "batch/batch_commands.h"
#include "batch/command_line.h"

namespace kestrel::batch {

class Session;

// status --watch: reads 00h, 01h, 02h, 2Ah, 2Bh, 2Ch once per interval and
// prints one line per pass (time, the six values, the bits that changed), or
// CSV or JSON lines, until `inv.count` passes or SIGINT/SIGTERM. A read that
// was not acknowledged or failed its PEC prints XX and makes the exit code 2.
void statusWatch(Session& s, const Invocation& inv, std::ostream& out, Report& report);

}  // namespace kestrel::batch
