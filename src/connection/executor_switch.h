#pragma once

#include <atomic>

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
    TransferExecutor& current() { return *current_.load(); }

    std::string refusal() override { return current_.load()->refusal(); }
    std::optional<std::vector<TransactionRecord>> runHeld(std::span<const Transfer> transfers,
                                                          Origin origin,
                                                          bool stopAtFault) override {
        return current_.load()->runHeld(transfers, origin, stopAtFault);
    }
    bool hasLineAccess() const override { return current_.load()->hasLineAccess(); }
    bool takesAcknowledgeSlots() const override { return current_.load()->takesAcknowledgeSlots(); }
    void setLineCapture(bool on) override {
        lineCapture_ = on;
        current_.load()->setLineCapture(on);
    }
    void shutDown() noexcept override;

  private:
    void transactionEnded(const TransactionRecord& record) override { notifyObservers(record); }

    // Changed on the bus owner's thread; read from the windows' (what the
    // connection can do).
    std::atomic<TransferExecutor*> current_;
    bool lineCapture_ = false;
    bool shutDown_ = false;
};

}  // namespace kestrel
