#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "bus/bus.h"
#include "device/device.h"
#include "connection/port_stack.h"

namespace kestrel::batch {

// Options that come before the command.
struct Options {
    bool simulate = false;
    std::string simState;
    std::string trace;
    int slave = 0xAE;
};

// The port, bus and device of one batch run, and what went wrong on the bus.
class Session final : public TransactionObserver {
  public:
    Session(const Options& options, std::ostream& err);
    ~Session() override;

    // False (with the reason on standard error) when there is no usable LPT1.
    bool ready() const { return ready_; }
    // The simulated board's state file did not load (nothing was sent).
    bool stateFileFailed() const { return ports_->stateFileFailed(); }
    Device& device() { return *device_; }
    // Every bus fault seen so far, as the status bar would say it.
    const std::vector<std::string>& faults() const { return faults_; }
    void fault(const std::string& text) { faults_.push_back(text); }
    // Saves the simulated board, if it is kept in a file.
    bool finish();

    void transactionEnded(const TransactionRecord& record) override;

  private:
    Options options_;
    std::ostream& err_;
    Globals g_;
    NoDisplay display_;
    std::unique_ptr<PortStack> ports_;
    std::unique_ptr<Bus> bus_;
    std::unique_ptr<Device> device_;
    std::vector<std::string> faults_;
    bool ready_ = false;
};

}  // namespace kestrel::batch
