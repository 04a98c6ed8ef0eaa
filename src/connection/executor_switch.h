#pragma once

#include "bus/transfer.h"

namespace kestrel {

// The executor the device layer talks to while the user may change what
// the transactions go through (the parallel port or an I2C adapter): it
// passes everything to the current one, and its observers see every
// transaction whichever executor ran it.
class ExecutorSwitch final : public TransferExecutor, private TransactionObserver {
  public:
    explicit ExecutorSwitch(TransferExecutor& first);
    ~ExecutorSwitch() override;
    ExecutorSwitch(const ExecutorSwitch&) = delete;
    ExecutorSwitch& operator=(const ExecutorSwitch&) = delete;

    // Takes `next` from now on; the one before keeps nothing of ours.
    void use(TransferExecutor& next);
    TransferExecutor& current() { return *current_; }

    bool available(Origin origin = Origin::User) override { return current_->available(origin); }
    std::optional<std::vector<TransactionRecord>> runHeld(std::span<const Transfer> transfers,
                                                          Origin origin,
                                                          bool stopAtFault) override {
        return current_->runHeld(transfers, origin, stopAtFault);
    }
    bool hasLineAccess() const override { return current_->hasLineAccess(); }
    bool takesAcknowledgeSlots() const override { return current_->takesAcknowledgeSlots(); }
    bool inTransaction() const override { return current_->inTransaction(); }
    void setLineCapture(bool on) override {
        lineCapture_ = on;
        current_->setLineCapture(on);
    }
    void shutDown() noexcept override;

  private:
    void transactionEnded(const TransactionRecord& record) override { notifyObservers(record); }

    TransferExecutor* current_;
    bool lineCapture_ = false;
    bool shutDown_ = false;
};

}  // namespace kestrel
