#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "batch/batch.h"
#include "batch/command_line.h"

// The production station in batch mode:
//
//   kestrel-eval [OPTION]... production run --golden FILE --serial TEXT
//       [--serial-at ADDR] [--station NAME] [--database URL] [--erase-limit N]
//       [--allow-revision] [--boards N [--step N]] [--backups DIR]
//   kestrel-eval production report [--since DATE] [--csv FILE] [--database URL]
//
// run programs one board (or N in a row, the serial counted on each time)
// and stores one record per board. Exit codes: 0 every board passed, 1 a
// usage error or a file or record that could not be stored, 2 a board
// failed on the bus, its read-back or its serial, 3 no usable port, 6 a
// board refused by its erase limit or its identity.
namespace kestrel::batch {

inline constexpr int kRefused = 6;

// Runs `inv`, a production command the command line's parser read.
int runProduction(const Invocation& inv, const Environment& environment, std::ostream& out,
                  std::ostream& err);
// The same from the words of a command line (without the program name).
int runProduction(const std::vector<std::string>& args, const Environment& environment,
                  std::ostream& out, std::ostream& err);

}  // namespace kestrel::batch
