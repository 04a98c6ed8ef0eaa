#pragma once

#include "files/snapshot.h"
#include "simulator/simulated_board.h"

namespace kestrel::script {

// Gives the simulated board what a snapshot holds: its registers, latched
// status and EEPROM, the slave address it was read from, and no status
// activity of its own, so that a dry run sees the board as it was read.
void loadSnapshotIntoBoard(const snapshot::Snapshot& s, sim::SimulatedBoard& board);

}  // namespace kestrel::script
