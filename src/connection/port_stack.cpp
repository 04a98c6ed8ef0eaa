#include "connection/port_stack.h"

#include <fstream>

#include "bus/parallel_port.h"

namespace kestrel {

PortStack::PortStack(const PortStackOptions& options) : options_(options) {
    if (options_.simulate) {
        board_ = std::make_unique<sim::SimulatedBoard>(options_.seed);
        if (!options_.simStatePath.empty()) {
            // Held until the end of the run, so that runs on one file queue up.
            stateFile_ = std::make_unique<sim::StateFile>(options_.simStatePath, [this] {
                if (options_.notice)
                    options_.notice("Waiting for another run that uses " + options_.simStatePath +
                                    "...");
            });
            std::string error;
            if (!stateFile_->load(*board_, &error)) {
                stateFileFailed_ = true;
                problems_.push_back("Simulated board state not loaded: " + error +
                                    "; running on a fresh board, the file is left unchanged.");
            }
        }
        port_ = board_.get();
    } else {
        real_ = std::make_unique<ParallelPort>(options_.notice);
        port_ = real_.get();
    }
    if (!options_.tracePath.empty()) {
        auto file = std::make_unique<std::ofstream>(options_.tracePath, std::ios::trunc);
        if (*file) {
            tracer_ = std::make_unique<RecordingPort>(*port_, false);
            tracer_->attachTrace(std::make_unique<VcdWriter>(std::move(file)));
            port_ = tracer_.get();
        } else {
            problems_.push_back("Cannot write the trace file " + options_.tracePath +
                                "; no trace is recorded.");
        }
    }
}

bool PortStack::finish(std::string* error) {
    if (tracer_ && tracer_->trace()) tracer_->trace()->finish();
    if (!board_ || !stateFile_ || !stateFile_->loaded()) return true;
    if (stateFile_->save(*board_, error)) return true;
    if (error) *error = "Simulated board state not saved: " + *error;
    return false;
}

}  // namespace kestrel
