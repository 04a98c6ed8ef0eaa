#pragma once

#include <string>

#include "bus/bus.h"

// Wiring checks from the master's side, without a logic analyser.
namespace kestrel::port_check {

// Refused: the bus did not start it (nothing was sent). PortFailed: a port
// call failed on the way, so what was read says nothing about the board.
enum class SdaResult { Follows, StuckLow, StuckHigh, Refused, PortFailed };

struct PortTest {
    SdaResult result;
    std::string text;  // "SDA follows", "SDA stuck low", ...
};

// Releases SDA and pulls it low (with SCL held low, so no slave sees a
// START or STOP) and reads SDA back each time.
PortTest portTest(Bus& bus);

enum class ClearResult { Free, StillLow, Refused, PortFailed };

// Frees a slave that holds SDA low in the middle of a byte: nine clocks with
// SDA released (the slave finishes its byte and sees no acknowledge), then a
// STOP, then SDA is read.
ClearResult busClear(Bus& bus);

}  // namespace kestrel::port_check
