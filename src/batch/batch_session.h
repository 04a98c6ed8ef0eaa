#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "batch/batch.h"
#include "batch/command_line.h"
#include "bus/bus.h"
#include "connection/connection.h"
#include "device/device.h"

namespace kestrel::batch {

// The port, bus and device of one batch run, and what went wrong on the bus.
class Session final : public TransactionObserver {
  public:
    Session(const Options& options, const Environment& environment, std::ostream& err);
    // A session on a connection the caller keeps (the windows' own); its
    // problems are the caller's to have told.
    Session(Connection& connection, const Options& options, std::ostream& err);
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // False (with the reason on standard error) when the run cannot start:
    // no usable LPT1 (exit code kNoPort), or a state or trace file that
    // cannot be used (kUsage). Nothing has been sent on the bus then.
    bool ready() const { return failure_ == kOk; }
    int failureCode() const { return failure_; }
    Device& device() { return device_ != nullptr ? *device_ : connection_->device(); }
    // Sends this session's transactions through `device` instead: a device
    // on the same shared state whose executor can be stopped.
    void useDevice(Device& device) { device_ = &device; }
    Connection& connection() { return *connection_; }

    // The port (or adapter) failed in the middle of a transaction (the card
    // or cable went away): why, with the EEPROM bytes written before it when
    // the run wrote any; empty when it did not fail. Nothing is sent after
    // such a failure, and the run ends with exit code kNoPort whatever the
    // command made of the transaction.
    std::string portError() const;
    bool portFailed() const { return !portError_.empty(); }

    // Saves the simulated board, if it is kept in a file, and ends the trace.
    bool finish();

    // The job the session's work runs in, on the bus owner's thread, while
    // it runs: commands ask it whether to stop and wait through it.
    void setJob(JobControl* job) { job_ = job; }
    bool stopRequested() const { return job_ != nullptr && job_->stopRequested(); }
    // Waits `ms`; false when a stop came first.
    bool sleep(unsigned ms);
    void progress(std::uint64_t done, std::uint64_t total) {
        if (job_ != nullptr) job_->progress(done, total);
    }
    // Where the work stood when it stopped: "after 37 transactions (the last:
    // EEPROM Write at 8140h, completed)".
    std::string whereStopped() const;

    void transactionEnded(const TransactionRecord& record) override;

  private:
    Options options_;
    std::ostream& err_;
    std::unique_ptr<Connection> own_;
    Connection* connection_ = nullptr;
    Device* device_ = nullptr;
    std::string portError_, portErrorAt_;
    std::size_t eepromWritten_ = 0;  // EEPROM writes that went through
    int firstWritten_ = -1, lastWritten_ = -1;
    std::size_t transactions_ = 0;
    std::string lastTransaction_;
    JobControl* job_ = nullptr;
    int failure_ = kOk;
};

}  // namespace kestrel::batch
