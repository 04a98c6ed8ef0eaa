// Port accesses (data-register writes and status reads) of a whole-EEPROM
// read on the simulated board: the batch block-speed read against the 512
// single-byte reads of the windows. A figure that does not depend on the
// machine; on a real port each access takes about 1 us.
#include <benchmark/benchmark.h>

#include "bus/bus.h"
#include "bus/counting_port.h"
#include "counted_board.h"
#include "device/device.h"
#include "device/eeprom.h"
#include "simulator/simulated_board.h"

namespace {

using kestrel::CountingPort;

using Rig = kestrel::bench::CountedBoard;

void report(benchmark::State& state, const CountingPort& port) {
    const double n = static_cast<double>(state.iterations());
    state.counters["port_accesses"] = static_cast<double>(port.writes + port.reads) / n;
    state.counters["data_writes"] = static_cast<double>(port.writes) / n;
    state.counters["status_reads"] = static_cast<double>(port.reads) / n;
}

// Batch mode's eeprom dump and backup: 16 block reads (target: at most 20,000 accesses).
void BM_WholeEepromBlockSpeed(benchmark::State& state) {
    Rig rig;
    for (auto _ : state)
        benchmark::DoNotOptimize(kestrel::eeprom::read(rig.device, 0x8000, 512, kestrel::eeprom::Speed::Blocks));
    report(state, rig.port);
}
BENCHMARK(BM_WholeEepromBlockSpeed)->Unit(benchmark::kMillisecond);

// The windows' way, for comparison: 512 byte reads, each with its PEC.
void BM_WholeEepromByteReads(benchmark::State& state) {
    Rig rig;
    for (auto _ : state)
        benchmark::DoNotOptimize(kestrel::eeprom::read(rig.device, 0x8000, 512, kestrel::eeprom::Speed::Bytes));
    report(state, rig.port);
}
BENCHMARK(BM_WholeEepromByteReads)->Unit(benchmark::kMillisecond);

}  // namespace
