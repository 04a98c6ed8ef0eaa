// Software overhead of the line primitives per port access, measured on a
// port that does nothing. A real parallel-port access costs about 1 us.
#include <benchmark/benchmark.h>

#include "bus/bus.h"
#include "bus/null_port.h"

namespace {

using kestrel::Bus;
using kestrel::NullPort;

void BM_SendByte(benchmark::State& state) {
    NullPort port;
    std::atomic<std::int16_t> base = 0x378, entry = 0;
    Bus bus(port, base, entry);
    int value = 0;
    for (auto _ : state) {
        bus.I2CSendByte(value++);
        benchmark::DoNotOptimize(port.lastWritten());
    }
    // 24 data-register writes per byte.
    state.counters["ns_per_port_access"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 24,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["bytes_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SendByte);

void BM_ReadByte(benchmark::State& state) {
    NullPort port(0x378, 0x10);
    std::atomic<std::int16_t> base = 0x378, entry = 0;
    Bus bus(port, base, entry);
    for (auto _ : state) benchmark::DoNotOptimize(bus.I2CReadByte());
    // 24 writes and 8 status reads per byte.
    state.counters["ns_per_port_access"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 32,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["bytes_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadByte);

}  // namespace
