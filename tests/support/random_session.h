#pragma once

#include <random>
#include <string>
#include <vector>

#include "bus/transfer.h"
#include "device/block_read.h"
#include "device/bus_probe.h"
#include "support/traced_rig.h"

namespace kestrel::testing {

// A traced session of random transactions on the simulated board: every kind
// the program sends (register reads and writes, EEPROM byte reads and writes,
// page erase, zero write, block read with its address pointer, PLOVER
// writes, a probe of an address nobody answers), with the records the bus
// monitor lists and the trace --trace writes.
struct Session {
    std::string vcd;
    std::vector<TransactionRecord> records;
};

// `fault`: a simulator fault the board has throughout ("corrupt-pec").
inline Session randomSession(std::size_t count, std::uint32_t seed, bool holds = true,
                             const char* fault = nullptr) {
    struct Collect final : TransactionObserver {
        std::vector<TransactionRecord> records;
        void transactionEnded(const TransactionRecord& r) override { records.push_back(r); }
    } collect;
    TracedRig rig(true);
    if (fault != nullptr) rig.sim.board.applyFault(fault);
    rig.bus.addObserver(&collect);
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    while (collect.records.size() < count) {
        const int eeprom = 0x8000 + pick(0, 511);
        // Erase and zero write hold the bus for the EEPROM cycle (30 ms of
        // trace each, which sigrok takes seconds to go through): one in a
        // hundred each, or none.
        static constexpr int kOthers[] = {0, 1, 2, 3, 4, 7, 8};
        const int draw = pick(0, 199);
        const int op = holds && draw < 2 ? 5 + draw : kOthers[draw % 7];
        switch (op) {
            case 0:
                (void)rig.device.ReadRegister(pick(0, 0x1D));
                break;
            case 1:
                (void)rig.device.WriteRegister(pick(0x08, 0x1B), pick(0, 255));
                break;
            case 2:
                (void)rig.device.WriteSwitch(pick(0, 1) ? 0x90 : 0x98, pick(0, 255));
                break;
            case 3:
                (void)rig.device.EEPROMReadByte(static_cast<unsigned>(eeprom));
                break;
            case 4:
                (void)rig.device.EEPROMWriteByte(static_cast<unsigned>(eeprom),
                                                 pick(0, 3) ? pick(0, 255) : 0);
                break;
            case 5:
                (void)rig.device.EEPROMPageErase(static_cast<unsigned>(eeprom & ~31));
                break;
            case 6:
                (void)rig.device.EEPROMWriteZero(static_cast<unsigned>(eeprom));
                break;
            case 7:
                (void)blockRead(rig.device, static_cast<unsigned>(eeprom & ~31));
                break;
            default:
                (void)probeAddress(rig.device, 0x50 + 2 * pick(0, 7));
                break;
        }
    }
    rig.bus.removeObserver(&collect);
    return {rig.vcd(), std::move(collect.records)};
}

}  // namespace kestrel::testing
