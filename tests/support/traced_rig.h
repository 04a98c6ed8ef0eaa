#pragma once

#include <memory>
#include <sstream>
#include <string>

#include "bus/bus.h"
#include "bus/counting_port.h"
#include "bus/recording_port.h"
#include "bus/vcd_writer.h"
#include "device/device.h"
#include "support/sim_rig.h"

namespace kestrel::testing {

// The device layer on a simulated board, traced as --trace traces it; the
// trace's clock is the fake clock of the waits, and the records' too.
struct TracedRig {
    SimRig sim;
    CountingPort blind{sim.board};  // hides the wire: the trace sees what is driven and sampled
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
            ++accesses;
            return nanos();
        }));
        bus.setWaitHooks(sim.clock.hooks());
        bus.setClock([this] { return nanos(); });
    }
    std::uint64_t nanos() const {
        return static_cast<std::uint64_t>(sim.clock.now) * 1000000 + 500 * accesses;
    }
    std::string vcd() {
        recorder.trace()->finish();
        return text->str();
    }
};

}  // namespace kestrel::testing
