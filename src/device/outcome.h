#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bus/transaction_record.h"

namespace kestrel {

// What one device operation did: refused before anything was sent (and
// why), or the record of every transaction it ran, in order. Windows, batch
// mode, backups and snapshots all read this one answer.
struct [[nodiscard]] Outcome {
    // Why nothing was sent; empty when the operation ran.
    std::string refusal;
    // The refusal came from the bus itself (no usable port, a port that
    // failed, a stop asked for); `refusal` says which.
    bool busRefusal = false;
    std::vector<TransactionRecord> records;
    // A fault found in what came back rather than on the wire (a read cut
    // short, a block count other than 20h); empty when none.
    std::string fault;

    static Outcome refusedBy(std::string why, bool byBus);

    bool refused() const { return !refusal.empty(); }
    // The first fault in the status bar's words ("No acknowledge from AEh"),
    // the refusal when refused; empty when everything went through.
    std::string problem() const;
    bool ok() const { return problem().empty(); }
    // It ran, and every byte the slave had to acknowledge was acknowledged.
    bool acknowledged() const;
    // The last PEC read was compared and matched.
    bool pecOk() const;
    // The port or adapter itself failed: the transaction did not run to its end.
    bool portFailed() const;
    // The bytes the last transaction read.
    const std::vector<std::uint8_t>& received() const;
};

// A byte read, with how the read went. `value` is what the line gave: trust
// it only when ok().
struct [[nodiscard]] ByteOutcome : Outcome {
    int value = 0;
};

}  // namespace kestrel
