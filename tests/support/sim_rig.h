#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "bus/bus.h"
#include "device/device.h"
#include "device/globals.h"
#include "simulator/simulated_board.h"
#include "support/fake_clock.h"

namespace kestrel::testing {

// The device layer on a simulated board, with a fake clock for the waits.
struct SimRig {
    Globals g;
    sim::SimulatedBoard board;
    FakeClock clock;
    Bus bus{board, g.LPTBase, g.PortEntry};
    Device device{g, bus};
    std::uint32_t lastTick = 0;
    std::uint64_t micros = 0;

    SimRig() {
        g.LPTBase = static_cast<std::int16_t>(sim::SimulatedBoard::kBase);
        board.kestrel().setStatusActivity(false);
        bus.setWaitHooks(clock.hooks());
        // The chip's busy time runs on the same fake clock as the waits.
        board.setClock([this] {
            micros += static_cast<std::uint64_t>(clock.now - lastTick) * 1000;
            lastTick = clock.now;
            return micros;
        });
    }

    std::vector<std::string> log() const {
        return const_cast<SimRig*>(this)->board.log().describeAll();
    }
    std::string last() const {
        const auto all = log();
        return all.empty() ? std::string() : all.back();
    }
};

// What the master sent in each logged transaction, sorted into kinds.
struct Traffic {
    int registerWrites = 0, erases = 0, eepromByteWrites = 0;
};
inline Traffic trafficOf(SimRig& rig) {
    Traffic t;
    for (const auto& tr : rig.board.log().transactions()) {
        const auto bytes = tr.masterBytes();
        const bool read = std::any_of(tr.events.begin(), tr.events.end(),
                                      [](const sim::BusEvent& e) { return e.fromSlave; });
        if (read || bytes.size() < 3) continue;
        if (bytes[1] == 0xA2)
            ++t.erases;
        else if (bytes[1] < 0x80 && bytes.size() == 3)
            ++t.registerWrites;
        else if (bytes[1] >= 0x80 && bytes.size() == 4)
            ++t.eepromByteWrites;
    }
    return t;
}

}  // namespace kestrel::testing
