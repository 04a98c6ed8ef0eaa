#pragma once

#include <ctime>
#include <iosfwd>
#include <optional>

#include "batch/batch_commands.h"
#include "files/snapshot.h"

// The snapshot commands: save the board, compare snapshots (or one with the
// board), apply a snapshot to the board.
namespace kestrel::batch {

bool isSnapshotCommand(Command command);

// The snapshot files of the command, read and checked in full before the bus
// is touched. False (code 1, the bad line named) when one is not a snapshot.
struct SnapshotInputs {
    std::optional<snapshot::Snapshot> a;
    std::optional<snapshot::Snapshot> b;  // snapshot diff A B
};
bool readSnapshotInputs(const Invocation& inv, std::istream& standardInput, SnapshotInputs& inputs,
                        Report& report);

// snapshot diff A B: two files, no bus.
void diffFiles(const Invocation& inv, const SnapshotInputs& inputs, Report& report);

// save, diff A (with the board) and apply, on the session's board.
void runSnapshotCommand(Session& s, const Invocation& inv, const SnapshotInputs& inputs,
                        OutputFile* output, std::time_t now, std::ostream& standardOutput,
                        Report& report);

}  // namespace kestrel::batch
