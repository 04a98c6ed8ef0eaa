#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bus/port_access.h"
#include "bus/recording_port.h"
#include "simulator/simulated_board.h"
#include "simulator/state_file.h"

namespace kestrel {

struct PortStackOptions {
    bool simulate = true;          // the simulated board instead of the real ports
    std::uint32_t seed = 1;        // of the simulated board's status activity
    std::string simStatePath;      // keeps the simulated board in this file ("" for none)
    bool badStateEndsRun = false;  // a state file that does not load ends the run
    std::string tracePath;         // records every line change as VCD ("" for none)
    std::function<void(const std::string&)> notice;  // what the real port must tell the user
};

// The port the program drives, assembled from its options: the simulated
// board or the real parallel port, with the VCD recorder around it when a
// trace is asked for.
class PortStack {
  public:
    explicit PortStack(const PortStackOptions& options);
    PortStack(const PortStack&) = delete;
    PortStack& operator=(const PortStack&) = delete;

    PortAccess& port() { return *port_; }
    sim::SimulatedBoard* board() { return board_.get(); }
    // Problems met while assembling (state or trace file), to tell the user.
    const std::vector<std::string>& problems() const { return problems_; }
    // The simulated board's state file exists but did not load: the board is
    // fresh and the file will not be written.
    bool stateFileFailed() const { return stateFileFailed_; }
    // Saves the simulated board (when its file loaded and it changed) and
    // flushes the trace; false with the reason
    // in `error` when the state file cannot be written.
    bool finish(std::string* error);

  private:
    PortStackOptions options_;
    std::unique_ptr<sim::SimulatedBoard> board_;
    std::unique_ptr<sim::StateFile> stateFile_;
    bool stateFileFailed_ = false;
    std::unique_ptr<PortAccess> real_;
    std::unique_ptr<RecordingPort> tracer_;
    PortAccess* port_ = nullptr;
    std::vector<std::string> problems_;
};

}  // namespace kestrel
