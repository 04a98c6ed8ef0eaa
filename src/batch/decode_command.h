#pragma once

#include "batch/batch_commands.h"
#include "batch/command_line.h"

namespace kestrel::batch {

// decode FILE: the transactions of a logic analyser's capture (VCD, sigrok
// session, Saleae CSV), named as the bus monitor names them, as the monitor's
// CSV export (text) or as a JSON array of transactions. Needs no board. A
// file that cannot be read fails the command (code 1) with the reason; a
// capture whose transactions show faults (no acknowledge, PEC mismatch,
// malformed) is decoded all the same and the faults are counted on standard
// error and in the JSON.
void decodeCommand(const Invocation& inv, Report& report);

}  // namespace kestrel::batch
