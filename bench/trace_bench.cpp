// Cost of the VCD trace: a whole-EEPROM read (512 byte reads) with and
// without the trace, measured side by side in each iteration so that both
// see the same machine load. Reported as the two times and the overhead in
// percent (target: at most 20 %).
#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>

#include "bus/bus.h"
#include "bus/recording_port.h"
#include "bus/vcd_writer.h"
#include "chip/kestrel_map.h"
#include "device/device.h"
#include "simulator/simulated_board.h"

namespace {

using Clock = std::chrono::steady_clock;

// A port that takes about as long as a real parallel-port access (1 us).
class RealSpeedPort final : public kestrel::PortAccess {
  public:
    explicit RealSpeedPort(kestrel::PortAccess& inner) : inner_(inner) {}
    void Outport(std::uint16_t port, std::uint8_t value) override {
        spin();
        inner_.Outport(port, value);
    }
    std::uint16_t Inport(std::uint16_t port) override {
        spin();
        return inner_.Inport(port);
    }
    void EnablePorts(std::int16_t a, std::int16_t b) override { inner_.EnablePorts(a, b); }
    void DisablePorts(std::int16_t a, std::int16_t b) override { inner_.DisablePorts(a, b); }
    std::uint16_t GetLPTPortAddress(int n) override { return inner_.GetLPTPortAddress(n); }
    std::uint32_t GetLastState(int s) override { return inner_.GetLastState(s); }

  private:
    static void spin() {
        const auto end = Clock::now() + std::chrono::microseconds(1);
        while (Clock::now() < end) {
        }
    }
    kestrel::PortAccess& inner_;
};

double readWholeEeprom(kestrel::PortAccess& port, bool traced) {
    kestrel::Globals g;
    g.LPTBase = 0x378;
    kestrel::RecordingPort recorder(port, false);
    if (traced)
        recorder.attachTrace(std::make_unique<kestrel::VcdWriter>(
            std::make_unique<std::ofstream>("/dev/null", std::ios::binary)));
    kestrel::Bus bus(recorder, g.LPTBase, g.PortEntry);
    kestrel::Device device(g, bus);
    const auto start = Clock::now();
    for (int a = static_cast<int>(kestrel::chip::kEepromFirst);
         a < static_cast<int>(kestrel::chip::kEepromEnd); ++a)
        benchmark::DoNotOptimize(device.EEPROMReadByte(static_cast<unsigned>(a)));
    if (recorder.trace()) recorder.trace()->finish();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void report(benchmark::State& state, double plain, double traced) {
    const auto n = static_cast<double>(state.iterations());
    state.counters["untraced_ms"] = plain / n;
    state.counters["traced_ms"] = traced / n;
    state.counters["overhead_pct"] = 100.0 * (traced - plain) / plain;
}

// The simulated board: the trace records the wire's own levels.
void BM_TraceOverheadSimulatedBoard(benchmark::State& state) {
    kestrel::sim::SimulatedBoard board;
    board.kestrel().setStatusActivity(false);
    double plain = 0, traced = 0;
    for (auto _ : state) {
        plain += readWholeEeprom(board, false);
        traced += readWholeEeprom(board, true);
    }
    report(state, plain, traced);
}
BENCHMARK(BM_TraceOverheadSimulatedBoard)->Unit(benchmark::kMillisecond);

// A port as fast as a real one, which cannot see the wire: the trace records
// what is driven, corrected by the samples.
void BM_TraceOverheadRealSpeedPort(benchmark::State& state) {
    kestrel::sim::SimulatedBoard board;
    board.kestrel().setStatusActivity(false);
    RealSpeedPort port(board);
    double plain = 0, traced = 0;
    for (auto _ : state) {
        plain += readWholeEeprom(port, false);
        traced += readWholeEeprom(port, true);
    }
    report(state, plain, traced);
}
BENCHMARK(BM_TraceOverheadRealSpeedPort)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
