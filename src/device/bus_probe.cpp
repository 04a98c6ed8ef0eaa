#include "device/bus_probe.h"

namespace kestrel {

std::optional<ProbeAnswer> probeAddress(Device& device, int addressByte) {
    Transfer probe;
    probe.messages = {{.address = static_cast<std::uint8_t>(addressByte & 0xFE), .write = {}}};
    probe.kind = "Probe";
    const auto r = device.transfer(probe);
    if (!r) return std::nullopt;
    if (!r->portError.empty()) return ProbeAnswer::Failed;
    return r->sdaStuckLow                            ? ProbeAnswer::SdaStuckLow
           : !r->sent.empty() && r->sent[0].ack == 1 ? ProbeAnswer::Acknowledged
                                                     : ProbeAnswer::NotAcknowledged;
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
        if (*answer == ProbeAnswer::Failed) {
            if (result.failed.empty()) result.firstProblem = device.lastProblem();
            result.failed.push_back(a);
        }
    }
    return result;
}

}  // namespace kestrel
