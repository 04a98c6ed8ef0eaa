#include "device/transaction_watch.h"

#include "device/diagnostics.h"

namespace kestrel {

TransactionOutcome outcomeOf(const TransactionRecord& record) {
    TransactionOutcome o;
    o.acknowledged = !record.sdaStuckLow && !record.anyNack() &&
                     (record.sent.empty() || record.sent[0].ack == 1);
    o.pecChecked = record.pecReceived >= 0 && record.pecExpected >= 0;
    o.pecOk = o.pecChecked && !record.pecMismatch();
    o.problem = diagnose(record);
    if (o.problem.empty() && !o.acknowledged) o.problem = "No acknowledge";
    return o;
}

TransactionWatch::TransactionWatch(TransferExecutor& executor) : executor_(executor) {
    executor_.addObserver(this);
}

TransactionWatch::~TransactionWatch() {
    executor_.removeObserver(this);
}

void TransactionWatch::transactionEnded(const TransactionRecord& record) {
    outcomes_.push_back(outcomeOf(record));
}

TransactionOutcome TransactionWatch::last() const {
    if (outcomes_.empty()) {
        TransactionOutcome none;
        none.problem = "No transaction on the bus";
        return none;
    }
    return outcomes_.back();
}

}  // namespace kestrel
