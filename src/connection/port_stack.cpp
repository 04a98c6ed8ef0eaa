#include "connection/port_stack.h"

#include <fstream>

#include "bus/durable_file.h"
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
                                    (options_.badStateEndsRun
                                         ? "; nothing was run, the file is left unchanged."
                                         : "; running on a fresh board, the file is left "
                                           "unchanged."));
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
    // The trace is written in place as it grows, so that a killed run leaves
    // it readable under its name; its end is flushed to the disk with its folder.
    std::string traceError;
    const bool traced =
        !tracer_ || !tracer_->trace() ||
        (tracer_->trace()->finish() && durable::flushWritten(options_.tracePath, traceError));
    std::string stateError;
    const bool saved =
        !board_ || !stateFile_ || !stateFile_->loaded() || stateFile_->save(*board_, &stateError);
    if (error) {
        error->clear();
        if (!saved) *error = "Simulated board state not saved: " + stateError;
        if (!traced)
            *error += std::string(saved ? "" : " ") + "The trace file " + options_.tracePath +
                      " was not written completely" +
                      (traceError.empty() ? "." : ": " + traceError + ".");
    }
    return saved && traced;
}

}  // namespace kestrel
