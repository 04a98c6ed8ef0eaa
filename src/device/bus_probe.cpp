#include "device/bus_probe.h"

namespace kestrel {

std::optional<ProbeAnswer> probeAddress(Device& device, int addressByte) {
    Bus& bus = device.bus();
    auto tx = bus.begin();
    if (!tx) return std::nullopt;
    bus.I2CStart();
    bus.I2CSendByte(addressByte & 0xFE);
    bus.I2CAckClock();
    bus.describe("Probe");
    const TransactionRecord& r = bus.record();
    const ProbeAnswer answer = r.sdaStuckLow ? ProbeAnswer::SdaStuckLow
                               : !r.sent.empty() && r.sent[0].ack == 1
                                   ? ProbeAnswer::Acknowledged
                                   : ProbeAnswer::NotAcknowledged;
    bus.I2CStop();
    return answer;
}

std::optional<ScanResult> scanAddresses(Device& device, int first, int last) {
    ScanResult result;
    for (int a = first & 0xFE; a <= last; a += 2) {
        const auto answer = probeAddress(device, a);
        if (!answer) return std::nullopt;
        if (*answer == ProbeAnswer::SdaStuckLow) {
            result.sdaStuckLow = true;
            break;
        }
        if (*answer == ProbeAnswer::Acknowledged) result.acknowledged.push_back(a);
    }
    return result;
}

}  // namespace kestrel
