// Kernel calls of the I2C adapter path on the simulated board: every
// transaction is one I2C_RDWR ioctl, whatever it carries. The figure does
// not depend on the machine; on a USB bridge each ioctl costs one or two
// USB round trips (about 1 ms each on full-speed USB).
#include <benchmark/benchmark.h>

#include "bus/i2c_adapter.h"
#include "connection/simulated_i2c_adapter.h"
#include "device/device.h"
#include "device/eeprom.h"
#include "simulator/simulated_board.h"

namespace {

struct AdapterRig {
    kestrel::Globals g;
    kestrel::sim::SimulatedBoard board;
    kestrel::SimulatedI2cAdapter kernel{board};
    kestrel::I2cAdapterExecutor adapter{kernel, "/dev/i2c-0", nullptr};
    kestrel::Device device{g, adapter};
    unsigned opened = 0;
    AdapterRig() {
        board.kestrel().setStatusActivity(false);
        if (!adapter.open().empty()) throw std::runtime_error("simulated adapter did not open");
        opened = kernel.ioctlCount();
    }
};

void report(benchmark::State& state, const AdapterRig& rig) {
    state.counters["ioctls"] = static_cast<double>(rig.kernel.ioctlCount() - rig.opened) /
                               static_cast<double>(state.iterations());
}

// One Read Byte with PEC: one ioctl (a write message and a read message).
void BM_AdapterReadRegister(benchmark::State& state) {
    AdapterRig rig;
    for (auto _ : state) benchmark::DoNotOptimize(rig.device.ReadRegister(0x1D));
    report(state, rig);
}
BENCHMARK(BM_AdapterReadRegister);

// The whole EEPROM at block speed: a pointer write and a block read per
// 32 bytes, 32 ioctls in all.
void BM_AdapterWholeEepromBlockSpeed(benchmark::State& state) {
    AdapterRig rig;
    for (auto _ : state)
        benchmark::DoNotOptimize(kestrel::eeprom::read(rig.device, 0x8000, 512, kestrel::eeprom::Speed::Blocks));
    report(state, rig);
}
BENCHMARK(BM_AdapterWholeEepromBlockSpeed)->Unit(benchmark::kMillisecond);

}  // namespace
