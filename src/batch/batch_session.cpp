#include "batch/batch_session.h"

#include <fstream>

#include "bus/parallel_port.h"
#include "device/diagnostics.h"

namespace kestrel::batch {

Session::Session(const Options& options, std::ostream& err) : options_(options), err_(err) {
    if (options_.simulate) {
        board_ = std::make_unique<sim::SimulatedBoard>();
        std::string error;
        if (!options_.simState.empty() && std::ifstream(options_.simState).good() &&
            !board_->loadState(options_.simState, &error))
            err_ << "kestrel-eval: simulated board state not loaded: " << error << '\n';
        port_ = board_.get();
    } else {
        real_ = std::make_unique<ParallelPort>([this](const std::string& text) { err_ << "kestrel-eval: " << text << '\n'; });
        port_ = real_.get();
    }
    if (!options_.trace.empty()) {
        auto file = std::make_unique<std::ofstream>(options_.trace, std::ios::trunc);
        if (*file) {
            tracer_ = std::make_unique<RecordingPort>(*port_, false);
            tracer_->attachTrace(std::make_unique<VcdWriter>(std::move(file)));
            port_ = tracer_.get();
        } else {
            err_ << "kestrel-eval: cannot write the trace file " << options_.trace << '\n';
        }
    }
    // LPT1 is the port, as in the windows.
    g_.LPTBase = static_cast<std::int16_t>(port_->GetLPTPortAddress(1));
    const std::uint32_t state = port_->GetLastState(0);
    g_.SlaveAddr = static_cast<std::int16_t>(options_.slave & 0xFF);
    bus_ = std::make_unique<Bus>(*port_, g_.LPTBase, g_.PortEntry);
    bus_->setWaitHooks(sleepingWaitHooks());
    bus_->setNoticeSink([this](const std::string& text) { err_ << "kestrel-eval: " << text << '\n'; });
    bus_->addObserver(this);
    device_ = std::make_unique<Device>(g_, *bus_, display_);
    ready_ = g_.LPTBase != 0;
    if (!ready_)
        err_ << "kestrel-eval: no usable parallel port: LPT1 is " << (state != 0 ? "in error" : "absent")
             << " (use --simulate for the simulated board)\n";
}

Session::~Session() { bus_->removeObserver(this); }

void Session::transactionEnded(const TransactionRecord& record) {
    const std::string problem = diagnose(record);
    if (!problem.empty()) faults_.push_back(problem);
}

bool Session::finish() {
    if (tracer_ && tracer_->trace()) tracer_->trace()->flush();
    if (!board_ || options_.simState.empty()) return true;
    std::string error;
    if (board_->saveState(options_.simState, &error)) return true;
    err_ << "kestrel-eval: simulated board state not saved: " << error << '\n';
    return false;
}

}  // namespace kestrel::batch
