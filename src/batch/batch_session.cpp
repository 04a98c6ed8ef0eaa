#include "batch/batch_session.h"

#include "device/diagnostics.h"

namespace kestrel::batch {

Session::Session(const Options& options, std::ostream& err) : options_(options), err_(err) {
    PortStackOptions portOptions;
    portOptions.simulate = options_.simulate;
    portOptions.simStatePath = options_.simState;
    portOptions.tracePath = options_.trace;
    portOptions.notice = [this](const std::string& text) {
        err_ << "kestrel-eval: " << text << '\n';
    };
    ports_ = std::make_unique<PortStack>(portOptions);
    for (const std::string& problem : ports_->problems())
        err_ << "kestrel-eval: " << problem << '\n';
    PortAccess* port_ = &ports_->port();
    // LPT1 is the port, as in the windows.
    g_.LPTBase = static_cast<std::int16_t>(port_->GetLPTPortAddress(1));
    const std::uint32_t state = port_->GetLastState(0);
    g_.SlaveAddr = static_cast<std::int16_t>(options_.slave & 0xFF);
    bus_ = std::make_unique<Bus>(*port_, g_.LPTBase, g_.PortEntry);
    bus_->setWaitHooks(sleepingWaitHooks());
    bus_->setNoticeSink(
        [this](const std::string& text) { err_ << "kestrel-eval: " << text << '\n'; });
    bus_->addObserver(this);
    device_ = std::make_unique<Device>(g_, *bus_, display_);
    ready_ = g_.LPTBase != 0 && !ports_->stateFileFailed();
    if (g_.LPTBase == 0)
        err_ << "kestrel-eval: no usable parallel port: LPT1 is "
             << (state != 0 ? "in error" : "absent")
             << " (use --simulate for the simulated board)\n";
}

Session::~Session() {
    bus_->removeObserver(this);
}

void Session::transactionEnded(const TransactionRecord& record) {
    const std::string problem = diagnose(record);
    if (!problem.empty()) faults_.push_back(problem);
}

bool Session::finish() {
    std::string error;
    if (ports_->finish(&error)) return true;
    err_ << "kestrel-eval: " << error << '\n';
    return false;
}

}  // namespace kestrel::batch
