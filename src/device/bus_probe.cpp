#include "device/bus_probe.h"

namespace kestrel {

namespace {

std::optional<ProbeAnswer> probe(Device& device, int addressByte, std::string& problem) {
    Transfer t;
    t.messages = {{.address = static_cast<std::uint8_t>(addressByte & 0xFE), .write = {}}};
    t.kind = chip::kProbe;
    const Outcome o = device.transfer(t);
    if (o.refused()) return std::nullopt;
    const TransactionRecord& r = o.records.back();
    problem = o.problem();
    if (o.portFailed()) return ProbeAnswer::Failed;
    return r.sdaStuckLow                           ? ProbeAnswer::SdaStuckLow
           : !r.sent.empty() && r.sent[0].ack == 1 ? ProbeAnswer::Acknowledged
                                                   : ProbeAnswer::NotAcknowledged;
}

}  // namespace

std::optional<ProbeAnswer> probeAddress(Device& device, int addressByte) {
    std::string problem;
    return probe(device, addressByte, problem);
}

std::optional<ScanResult> scanAddresses(Device& device, int first, int last) {
    ScanResult result;
    for (int a = first & 0xFE; a <= last; a += 2) {
        std::string problem;
        const auto answer = probe(device, a, problem);
        if (!answer) return std::nullopt;
        if (*answer == ProbeAnswer::SdaStuckLow) {
            result.sdaStuckLow = true;
            break;
        }
        if (*answer == ProbeAnswer::Acknowledged) result.acknowledged.push_back(a);
        if (*answer == ProbeAnswer::Failed) {
            if (result.failed.empty()) result.firstProblem = problem;
            result.failed.push_back(a);
        }
    }
    return result;
}

}  // namespace kestrel
