#pragma once

#include <iosfwd>

#include "batch/batch.h"
#include "batch/command_line.h"

// kestrel-eval [OPTION]... serve [--listen ADDR:PORT] [--allow CIDR]...
//     [--read-only] [--files DIR]
//
// The board as an SCPI instrument over TCP (remote/server.h) until SIGTERM,
// SIGINT or SIGHUP: "listening on ADDR:PORT" on standard output once it
// takes clients, one line per client event on standard error. A signal
// ends it as every batch command ends: the job under way stops at its next
// transaction boundary, every client's socket is closed, the simulated
// board is saved, exit code 130. Exit codes otherwise: 1 a usage error or
// an address that cannot be listened on, 3 no usable port.
namespace kestrel::batch {

int runServe(const Invocation& inv, const Environment& environment, std::ostream& out,
             std::ostream& err);

}  // namespace kestrel::batch
