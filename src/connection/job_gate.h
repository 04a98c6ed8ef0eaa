#pragma once

#include <functional>

#include "bus/transfer.h"

namespace kestrel {

// Between the device layer and the executor in use: passes every
// transaction on, unless the job running was asked to stop. Then it refuses
// the next one, so a stop always takes effect at a transaction boundary: the
// transaction under way ends whole (its STOP sent, an EEPROM cycle's hold
// run out) and nothing more starts.
class JobGate final : public TransferExecutor, private TransactionObserver {
  public:
    explicit JobGate(TransferExecutor& inner);
    ~JobGate() override;
    JobGate(const JobGate&) = delete;
    JobGate& operator=(const JobGate&) = delete;

    // Asked before every transaction: true when the job running must stop.
    void setStopCheck(std::function<bool()> stopped) { stopped_ = std::move(stopped); }
    // Told how many transactions each run carried (a job's progress).
    void setRanHook(std::function<void(std::size_t)> ran) { ran_ = std::move(ran); }

    static constexpr const char* kStopped = "Stopped; nothing more was sent.";

    std::string refusal() override;
    std::optional<std::vector<TransactionRecord>> runHeld(std::span<const Transfer> transfers,
                                                          Origin origin, bool stopAtFault) override;
    bool hasLineAccess() const override { return inner_.hasLineAccess(); }
    bool takesAcknowledgeSlots() const override { return inner_.takesAcknowledgeSlots(); }
    void setLineCapture(bool on) override { inner_.setLineCapture(on); }
    void shutDown() noexcept override { inner_.shutDown(); }

  private:
    void transactionEnded(const TransactionRecord& record) override { notifyObservers(record); }

    TransferExecutor& inner_;
    std::function<bool()> stopped_;
    std::function<void(std::size_t)> ran_;
};

}  // namespace kestrel
