#include "device/outcome.h"

#include "device/diagnostics.h"

namespace kestrel {

namespace {

bool acknowledgedThroughout(const TransactionRecord& r) {
    return !r.sdaStuckLow && r.portError.empty() && !r.anyNack() &&
           (r.sent.empty() || r.sent[0].ack == 1);
}

}  // namespace

Outcome Outcome::refusedBy(std::string why, bool byBus) {
    Outcome o;
    o.refusal = std::move(why);
    o.busRefusal = byBus;
    return o;
}

std::string Outcome::problem() const {
    if (refused()) return refusal;
    for (const TransactionRecord& r : records) {
        std::string p = diagnose(r);
        if (!p.empty()) return p;
        if (!acknowledgedThroughout(r)) return "No acknowledge";
    }
    if (records.empty()) return "No transaction on the bus";
    return fault;
}

bool Outcome::acknowledged() const {
    if (refused() || records.empty()) return false;
    for (const TransactionRecord& r : records)
        if (!acknowledgedThroughout(r)) return false;
    return true;
}

bool Outcome::pecOk() const {
    for (auto r = records.rbegin(); r != records.rend(); ++r)
        if (r->pecReceived >= 0 || r->pecExpected >= 0)
            return r->pecReceived >= 0 && r->pecExpected >= 0 && !r->pecMismatch();
    return false;
}

bool Outcome::portFailed() const {
    for (const TransactionRecord& r : records)
        if (!r.portError.empty()) return true;
    return false;
}

const std::vector<std::uint8_t>& Outcome::received() const {
    static const std::vector<std::uint8_t> none;
    return records.empty() ? none : records.back().received;
}

}  // namespace kestrel
