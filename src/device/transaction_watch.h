#pragma once

#include <string>
#include <vector>

#include "bus/transaction_record.h"
#include "bus/transfer.h"

namespace kestrel {

// What a transaction's record says about how it went, kept after the bus has
// reused the record for the next transaction.
struct TransactionOutcome {
    // Every byte the slave had to acknowledge was acknowledged, and SDA was
    // not stuck low (a stuck line reads as an acknowledge).
    bool acknowledged = false;
    // A PEC was read and compared.
    bool pecChecked = false;
    // The PEC matched; false when none was checked.
    bool pecOk = false;
    // The status-bar text of the first fault (see diagnose), empty when none.
    std::string problem;

    bool ok() const { return problem.empty(); }
};

TransactionOutcome outcomeOf(const TransactionRecord& record);

// Keeps the outcome of every transaction that ends on a bus while it lives.
class TransactionWatch final : public TransactionObserver {
  public:
    explicit TransactionWatch(TransferExecutor& executor);
    ~TransactionWatch() override;
    TransactionWatch(const TransactionWatch&) = delete;
    TransactionWatch& operator=(const TransactionWatch&) = delete;

    void transactionEnded(const TransactionRecord& record) override;

    const std::vector<TransactionOutcome>& outcomes() const { return outcomes_; }
    // The outcome of the most recent transaction; a failed one when none ended.
    TransactionOutcome last() const;
    void clear() { outcomes_.clear(); }

  private:
    TransferExecutor& executor_;
    std::vector<TransactionOutcome> outcomes_;
};

}  // namespace kestrel
