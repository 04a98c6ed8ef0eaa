#include "connection/job_gate.h"

namespace kestrel {

JobGate::JobGate(TransferExecutor& inner) : inner_(inner) {
    inner_.addObserver(this);
}

JobGate::~JobGate() {
    inner_.removeObserver(this);
}

std::string JobGate::refusal() {
    if (stopped_ && stopped_()) return kStopped;
    return inner_.refusal();
}

std::optional<std::vector<TransactionRecord>> JobGate::runHeld(std::span<const Transfer> transfers,
                                                               Origin origin, bool stopAtFault) {
    if (stopped_ && stopped_()) return std::nullopt;
    auto records = inner_.runHeld(transfers, origin, stopAtFault);
    if (records && ran_) ran_(records->size());
    return records;
}

}  // namespace kestrel
