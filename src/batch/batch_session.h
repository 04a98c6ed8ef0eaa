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
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // False (with the reason on standard error) when the run cannot start:
    // no usable LPT1 (exit code kNoPort), or a state or trace file that
    // cannot be used (kUsage). Nothing has been sent on the bus then.
    bool ready() const { return failure_ == kOk; }
    int failureCode() const { return failure_; }
    Device& device() { return connection_->device(); }
    Connection& connection() { return *connection_; }

    // Every bus fault seen so far outside a command's own accounting, as the
    // status bar would say it.
    const std::vector<std::string>& faults() const { return faults_; }

    // While one lives, the session does not collect faults: the command
    // reports each transaction's outcome itself.
    class OwnAccounting {
      public:
        explicit OwnAccounting(Session& s) : s_(s) { ++s_.ownAccounting_; }
        ~OwnAccounting() { --s_.ownAccounting_; }
        OwnAccounting(const OwnAccounting&) = delete;
        OwnAccounting& operator=(const OwnAccounting&) = delete;

      private:
        Session& s_;
    };

    // The port (or adapter) failed in the middle of a transaction: why, with
    // the EEPROM bytes written before it when the run wrote any; empty when
    // it did not fail. Nothing is sent after such a failure.
    std::string portError() const;

    // Saves the simulated board, if it is kept in a file, and ends the trace.
    bool finish();

    void transactionEnded(const TransactionRecord& record) override;

  private:
    Options options_;
    std::ostream& err_;
    std::unique_ptr<Connection> connection_;
    std::vector<std::string> faults_;
    int ownAccounting_ = 0;
    std::string portError_, portErrorAt_;
    std::size_t eepromWritten_ = 0;  // EEPROM writes that went through
    int firstWritten_ = -1, lastWritten_ = -1;
    int failure_ = kOk;
};

}  // namespace kestrel::batch
