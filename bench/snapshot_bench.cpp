// Port accesses of applying a snapshot that differs from the board in one
// EEPROM byte, on the simulated board: the board read (to find what
// differs), one page erase, its 32 byte writes and the read-back. A figure
// that does not depend on the machine.
#include <benchmark/benchmark.h>

#include "bus/bus.h"
#include "bus/counting_port.h"
#include "counted_board.h"
#include "device/device.h"
#include "device/eeprom.h"
#include "files/snapshot_board.h"
#include "simulator/simulated_board.h"

namespace {

using kestrel::CountingPort;

using Rig = kestrel::bench::CountedBoard;

void BM_ApplyOneEepromByte(benchmark::State& state) {
    Rig rig;
    const auto target = kestrel::snapshot::takeSnapshot(rig.device, 0).snapshot;
    std::uint64_t applyAccesses = 0;
    for (auto _ : state) {
        state.PauseTiming();
        rig.board.kestrel().setEeprom(0x8105, 0x34);
        const std::uint64_t before = rig.port.accesses();
        state.ResumeTiming();
        const auto r = kestrel::snapshot::applySnapshot(rig.device, *target, {});
        if (!r.ok() || r.pagesWritten.size() != 1) state.SkipWithError("apply failed");
        applyAccesses += rig.port.accesses() - before;
    }
    // The parts, measured once each: the budget is the board read and the
    // read-back (each 25 register reads and the whole EEPROM at block
    // speed), one page erase and 32 byte writes.
    std::uint64_t mark = rig.port.accesses();
    auto since = [&] {
        const std::uint64_t n = rig.port.accesses() - mark;
        mark = rig.port.accesses();
        return n;
    };
    for (int reg = 0x03; reg <= 0x1B; ++reg) (void)rig.device.ReadRegister(reg);
    const std::uint64_t registerReads = since();
    kestrel::eeprom::read(rig.device, 0x8000, 512, kestrel::eeprom::Speed::Blocks);
    const std::uint64_t wholeRead = since();
    kestrel::eeprom::erasePages(rig.device, 0x8100, 32);
    kestrel::eeprom::writeBlock(rig.device, 0x8100, std::vector<int>(32, 0xFF));
    const std::uint64_t pageWrite = since();
    const double perApply =
        static_cast<double>(applyAccesses) / static_cast<double>(state.iterations());
    const double budget = static_cast<double>(2 * (registerReads + wholeRead) + pageWrite);
    if (perApply > budget) state.SkipWithError("apply costs more than its budget");
    state.counters["port_accesses"] = perApply;
    state.counters["budget"] = budget;
    state.counters["page_erase_and_32_writes"] = static_cast<double>(pageWrite);
    state.counters["whole_eeprom_read"] = static_cast<double>(wholeRead);
    state.counters["register_reads"] = static_cast<double>(registerReads);
}
BENCHMARK(BM_ApplyOneEepromByte)->Unit(benchmark::kMillisecond);

}  // namespace
