#include "bus/port_check.h"

namespace kestrel::port_check {

PortTest portTest(Bus& bus) {
    bool lowWhenReleased = false, lowWhenPulled = false;
    {
        auto tx = bus.begin();
        if (!tx) return {SdaResult::Refused, "Port test not run: the bus is not available."};
        bus.writeLines(kSclLow);
        lowWhenReleased = bus.sampleSdaLow();
        bus.writeLines(kBothLow);
        lowWhenPulled = bus.sampleSdaLow();
        bus.writeLines(kSclLow);
        bus.writeLines(kLinesReleased);
    }
    if (!bus.portFailure().empty())
        return {SdaResult::PortFailed, "Port test failed: " + bus.portFailure()};
    if (lowWhenReleased) return {SdaResult::StuckLow, "SDA stuck low"};
    if (!lowWhenPulled) return {SdaResult::StuckHigh, "SDA stuck high: no board or no pull-up"};
    return {SdaResult::Follows, "SDA follows"};
}

ClearResult busClear(Bus& bus) {
    bool low = false;
    {
        auto tx = bus.begin();
        if (!tx) return ClearResult::Refused;
        for (int i = 0; i < 9; ++i) {
            bus.writeLines(kSclLow);
            bus.writeLines(kLinesReleased);
        }
        bus.describe("Bus Clear");
        bus.I2CStop();
        low = bus.sampleSdaLow();
    }
    if (!bus.portFailure().empty()) return ClearResult::PortFailed;
    return low ? ClearResult::StillLow : ClearResult::Free;
}

}  // namespace kestrel::port_check
