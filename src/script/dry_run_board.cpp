#include "script/dry_run_board.h"

namespace kestrel::script {

void loadSnapshotIntoBoard(const snapshot::Snapshot& s, sim::SimulatedBoard& board) {
    sim::KestrelModel& chip = board.kestrel();
    chip.setStatusActivity(false);
    if (s.slave != sim::KestrelModel::kBroadcastAddress)
        chip.setStrapAddress(static_cast<std::uint8_t>(s.slave));
    for (int r = 0; r < snapshot::kRegisterCount; ++r)
        chip.setReg(r, static_cast<std::uint8_t>(s.registers[static_cast<std::size_t>(r)].value));
    for (int i = 0; i < snapshot::kLatchedCount; ++i)
        chip.setReg(snapshot::kLatchedFirst + i,
                    static_cast<std::uint8_t>(s.latched[static_cast<std::size_t>(i)].value));
    for (std::size_t i = 0; i < s.eeprom.size(); ++i)
        chip.setEeprom(sim::KestrelModel::kEepromBase + static_cast<int>(i), s.eeprom[i]);
}

}  // namespace kestrel::script
