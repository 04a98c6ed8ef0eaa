#include "batch/batch_session.h"

#include "device/diagnostics.h"

namespace kestrel::batch {

Session::Session(const Options& options, const Environment& environment, std::ostream& err)
    : options_(options), err_(err) {
    PortAccess* port = environment.port;
    if (port == nullptr) {
        PortStackOptions portOptions;
        portOptions.simulate = options_.simulate;
        portOptions.simStatePath = options_.simState;
        portOptions.tracePath = options_.trace;
        portOptions.notice = [this](const std::string& text) {
            err_ << "kestrel-eval: " << text << '\n';
        };
        ports_ = std::make_unique<PortStack>(portOptions);
        // A state file that did not load (or cannot be held) or a trace that
        // cannot be written ends the run before the bus is touched.
        for (const std::string& problem : ports_->problems()) {
            err_ << "kestrel-eval: " << problem << '\n';
            failure_ = kUsage;
        }
        if (ports_->stateFileFailed()) failure_ = kUsage;
        port = &ports_->port();
    }
    // LPT1 is the port, as in the windows.
    g_.LPTBase = static_cast<std::int16_t>(port->GetLPTPortAddress(1));
    const std::uint32_t state = port->GetLastState(0);
    g_.SlaveAddr = static_cast<std::int16_t>(options_.slave & 0xFF);
    bus_ = std::make_unique<Bus>(*port, g_.LPTBase, g_.PortEntry);
    bus_->setWaitHooks(environment.waitHooks ? *environment.waitHooks : sleepingWaitHooks());
    bus_->setNoticeSink(
        [this](const std::string& text) { err_ << "kestrel-eval: " << text << '\n'; });
    bus_->addObserver(this);
    device_ = std::make_unique<Device>(g_, *bus_, display_);
    if (failure_ == kOk && g_.LPTBase == 0) {
        failure_ = kNoPort;
        err_ << "kestrel-eval: no usable parallel port: LPT1 is "
             << (state != 0 ? "in error" : "absent")
             << " (use --simulate for the simulated board)\n";
    }
    // Nothing may reach the bus from a session that did not start.
    if (failure_ != kOk) bus_->shutDown();
}

Session::~Session() {
    bus_->removeObserver(this);
}

void Session::transactionEnded(const TransactionRecord& record) {
    if (ownAccounting_ > 0) return;
    const std::string problem = diagnose(record);
    if (!problem.empty()) faults_.push_back(problem);
}

bool Session::finish() {
    if (!ports_ || failure_ != kOk) return true;
    std::string error;
    if (ports_->finish(&error)) return true;
    err_ << "kestrel-eval: " << error << '\n';
    return false;
}

}  // namespace kestrel::batch
