#pragma once

#include <memory>
#include <sstream>
#include <string>

#include "bus/bus.h"
#include "bus/recording_port.h"
#include "bus/vcd_writer.h"
#include "device/device.h"
#include "support/sim_rig.h"

namespace kestrel::testing {

// A port that hides the wire: the trace sees only what the program drives
// and samples, as on a real parallel port.
class BlindPort final : public PortAccess {
  public:
    explicit BlindPort(PortAccess& inner) : inner_(inner) {}
    void Outport(std::uint16_t port, std::uint8_t value) override { inner_.Outport(port, value); }
    std::uint16_t Inport(std::uint16_t port) override { return inner_.Inport(port); }
    void EnablePorts(std::int16_t a, std::int16_t b) override { inner_.EnablePorts(a, b); }
    void DisablePorts(std::int16_t a, std::int16_t b) override { inner_.DisablePorts(a, b); }
    std::uint16_t GetLPTPortAddress(int n) override { return inner_.GetLPTPortAddress(n); }
    std::uint32_t GetLastState(int s) override { return inner_.GetLastState(s); }

  private:
    PortAccess& inner_;
};

// The device layer on a simulated board, traced as --trace traces it; the
// trace's clock is the fake clock of the waits.
struct TracedRig {
    SimRig sim;
    BlindPort blind{sim.board};
    RecordingPort recorder;
    std::ostringstream* text = nullptr;
    std::uint64_t accesses = 0;
    Bus bus;
    Device device;

    explicit TracedRig(bool seeWire)
        : recorder(seeWire ? static_cast<PortAccess&>(sim.board) : blind, false),
          bus(recorder, sim.g.LPTBase, sim.g.PortEntry),
          device(sim.g, bus) {
        auto out = std::make_unique<std::ostringstream>();
        text = out.get();
        recorder.attachTrace(std::make_unique<VcdWriter>(std::move(out), [this] {
            // Half a microsecond per port access, as on a real port.
            return static_cast<std::uint64_t>(sim.clock.now) * 1000000 + 500 * ++accesses;
        }));
        bus.setWaitHooks(sim.clock.hooks());
    }
    std::string vcd() {
        recorder.trace()->finish();
        return text->str();
    }
};

}  // namespace kestrel::testing
