// Cost of the simulated board: a register read and the 512 single-byte reads
// of a whole-EEPROM read, through the real device transactions.
#include <benchmark/benchmark.h>

#include "bus/bus.h"
#include "chip/kestrel_map.h"
#include "device/device.h"
#include "simulator/simulated_board.h"

namespace {

struct SimRig {
    kestrel::Globals g;
    kestrel::sim::SimulatedBoard board;
    kestrel::Bus bus{board, g.LPTBase, g.PortEntry};
    kestrel::Device device{g, bus};
    SimRig() { g.LPTBase = 0x378; }
};

void BM_SimReadRegister(benchmark::State& state) {
    SimRig rig;
    int reg = 0;
    // Time per iteration is the cost of one complete register read.
    for (auto _ : state) benchmark::DoNotOptimize(rig.device.ReadRegister(reg++ % 30));
}
BENCHMARK(BM_SimReadRegister);

void BM_SimWholeEepromRead(benchmark::State& state) {
    SimRig rig;
    for (auto _ : state) {
        for (int a = static_cast<int>(kestrel::chip::kEepromFirst);
             a < static_cast<int>(kestrel::chip::kEepromEnd); ++a)
            benchmark::DoNotOptimize(rig.device.EEPROMReadByte(static_cast<unsigned>(a)));
    }
    state.SetLabel("512 byte reads per iteration");
}
BENCHMARK(BM_SimWholeEepromRead)->Unit(benchmark::kMillisecond);

}  // namespace
