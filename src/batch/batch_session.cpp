#include "batch/batch_session.h"

#include <chrono>
#include <thread>

#include "device/diagnostics.h"
#include "device/text_rules.h"

namespace kestrel::batch {

Session::Session(const Options& options, const Environment& environment, std::ostream& err)
    : options_(options), err_(err) {
    ConnectionOptions c = options_.connection;
    c.port = environment.port;
    c.kernel = environment.kernel;
    if (environment.waitHooks) c.waitHooks = *environment.waitHooks;
    c.notice = [this](const std::string& text) { err_ << "kestrel-eval: " << text << '\n'; };
    c.badStateEndsRun = true;
    own_ = std::make_unique<Connection>(c);
    connection_ = own_.get();
    // A state file that did not load (or cannot be held) or a trace that
    // cannot be written ends the run before the bus is touched.
    for (const std::string& problem : connection_->problems()) {
        err_ << "kestrel-eval: " << problem << '\n';
        failure_ = kUsage;
    }
    if (connection_->stateFileFailed()) failure_ = kUsage;
    Globals& g = connection_->globals();
    g.SlaveAddr = static_cast<std::int16_t>(options_.slave & 0xFF);
    connection_->executor().addObserver(this);
    if (failure_ == kOk && !connection_->adapterFailure().empty()) {
        failure_ = kNoPort;
        err_ << "kestrel-eval: " << connection_->adapterFailure() << '\n';
    }
    if (connection_->adapter() == nullptr) {
        // LPT1 is the port, as in the windows.
        const Device::LptSlot lpt1 = device().lptSlot(1);
        g.LPTBase = static_cast<std::int16_t>(lpt1.address);
        if (failure_ == kOk && g.LPTBase == 0) {
            failure_ = kNoPort;
            err_ << "kestrel-eval: no usable parallel port: LPT1 is "
                 << (lpt1.state != 0 ? "in error" : "absent")
                 << " (use --simulate for the simulated board)\n";
        }
        // Opened now, so that a port that cannot be used ends the run here.
        if (failure_ == kOk && g.LPTBase != 0) {
            const std::string why = connection_->connectPort();
            if (!why.empty()) {
                failure_ = kNoPort;
                err_ << "kestrel-eval: " << why << '\n';
            }
        }
    }
    // Nothing may reach the bus from a session that did not start.
    if (failure_ != kOk) connection_->shutDown();
}

Session::Session(Connection& connection, const Options& options, std::ostream& err)
    : options_(options), err_(err), connection_(&connection) {
    connection_->executor().addObserver(this);
}

Session::~Session() {
    connection_->executor().removeObserver(this);
}
void Session::transactionEnded(const TransactionRecord& record) {
    ++transactions_;
    lastTransaction_ = record.kind.empty() ? std::string("transaction") : record.kind;
    if (const std::string target = targetText(record); !target.empty())
        lastTransaction_ += " at " + target;
    if (!record.portError.empty()) {
        // The port itself failed: the run ends here. The connection refuses
        // every later transaction by itself until it is opened again.
        if (portError_.empty()) {
            portError_ = record.portError;
            if (record.kind == "EEPROM Write")
                portErrorAt_ = " (EEPROM Write at " + targetText(record) + ")";
        }
        return;
    }
    if (record.kind == "EEPROM Write" && !record.faulty()) {
        if (eepromWritten_ == 0) firstWritten_ = record.target;
        lastWritten_ = record.target;
        ++eepromWritten_;
    }
}

std::string Session::portError() const {
    if (portError_.empty()) return {};
    std::string line = portError_ + portErrorAt_;
    if (portErrorAt_.empty() && eepromWritten_ == 0) return line;
    line += "; EEPROM bytes written before it: ";
    if (eepromWritten_ == 0) return line + "none";
    const auto address = [](int a) { return text::suffixedAddressText(static_cast<unsigned>(a)); };
    line += std::to_string(eepromWritten_);
    if (eepromWritten_ > 1)
        line += ", " + address(firstWritten_) + " to " + address(lastWritten_);
    else
        line += ", at " + address(firstWritten_);
    return line;
}

bool Session::sleep(unsigned ms) {
    if (job_ != nullptr) return job_->sleep(ms);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return true;
}

std::string Session::whereStopped() const {
    if (transactions_ == 0) return "before its first transaction";
    return "after " + std::to_string(transactions_) +
           (transactions_ == 1 ? " transaction (" : " transactions (the last: ") +
           lastTransaction_ + ", completed)";
}

bool Session::finish() {
    if (failure_ != kOk || !own_) return true;
    std::string error;
    if (connection_->finish(&error)) return true;
    err_ << "kestrel-eval: " << error << '\n';
    return false;
}

}  // namespace kestrel::batch
