#pragma once

#include <initializer_list>

#include "bus/bus.h"

namespace kestrel::testing {

// START (a repeated START inside a transaction), then each byte with the
// slave's acknowledge clock: the start of a transaction a test drives by hand.
inline void startAndSend(Bus& bus, std::initializer_list<int> bytes) {
    bus.I2CStart();
    for (int b : bytes) {
        bus.I2CSendByte(b);
        bus.I2CAckClock();
    }
}

}  // namespace kestrel::testing
