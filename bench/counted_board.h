#pragma once

#include "bus/bus.h"
#include "bus/counting_port.h"
#include "device/device.h"
#include "simulator/simulated_board.h"

namespace kestrel::bench {

// The device layer on the simulated board (LPT1 at 378h, status activity
// off) behind a port that counts every access.
struct CountedBoard {
    Globals g;
    sim::SimulatedBoard board;
    CountingPort port{board};
    Bus bus{port, g.LPTBase, g.PortEntry};
    Device device{g, bus};
    CountedBoard() {
        g.LPTBase = 0x378;
        board.kestrel().setStatusActivity(false);
    }
};

}  // namespace kestrel::bench
