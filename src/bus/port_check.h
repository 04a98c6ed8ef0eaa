#pragma once

#include <string>

#include "bus/bus.h"

// Wiring checks from the master's side, without a logic analyser.
namespace kestrel::port_check {

enum class SdaResult { Follows, StuckLow, StuckHigh, Refused };

struct PortTest {
    SdaResult result;
    std::string text;  // "SDA follows", "SDA stuck low", ...
};

// Releases SDA and pulls it low (with SCL held low, so no slave sees a
// START or STOP) and reads SDA back each time.
PortTest portTest(Bus& bus);

// Frees a slave that holds SDA low in the middle of a byte: nine clocks with
// SDA released (the slave finishes its byte and sees no acknowledge), then a
// STOP. True when SDA is free afterwards.
bool busClear(Bus& bus);

}  // namespace kestrel::port_check
