#include "bus/port_check.h"

namespace kestrel::port_check {

PortTest portTest(Bus& bus) {
    auto tx = bus.begin();
    if (!tx) return {SdaResult::Refused, "Port test not run: the bus is not available."};
    bus.writeLines(kSclLow);
    const bool lowWhenReleased = bus.sampleSdaLow();
    bus.writeLines(kBothLow);
    const bool lowWhenPulled = bus.sampleSdaLow();
    bus.writeLines(kSclLow);
    bus.writeLines(kLinesReleased);
    if (lowWhenReleased) return {SdaResult::StuckLow, "SDA stuck low"};
    if (!lowWhenPulled) return {SdaResult::StuckHigh, "SDA stuck high: no board or no pull-up"};
    return {SdaResult::Follows, "SDA follows"};
}

bool busClear(Bus& bus) {
    auto tx = bus.begin();
    if (!tx) return false;
    for (int i = 0; i < 9; ++i) {
        bus.writeLines(kSclLow);
        bus.writeLines(kLinesReleased);
    }
    bus.describe("Bus Clear");
    bus.I2CStop();
    return !bus.sampleSdaLow();
}

}  // namespace kestrel::port_check
