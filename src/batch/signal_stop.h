#pragma once

#include <csignal>
#include <functional>
#include <iosfwd>
#include <string>

#include "connection/bus_owner.h"

namespace kestrel::batch {

// Exit code of a run that a signal stopped.
inline constexpr int kStoppedBySignal = 130;

// SIGINT, SIGTERM and SIGHUP for a batch command, taken the way the windows'
// Quit is: the first stops the bus owner's work at its next transaction
// boundary (an EEPROM cycle's hold completes), the command records what it
// did and the process exits 130 with one line saying where it stopped; a
// second ends the program at once, as the signal's own action. The signals
// are blocked from construction on, so build this before anything starts a
// thread (a connection's bus owner): no other thread ever takes one. A
// signal the program was started to ignore (nohup) stays ignored.
class SignalStop {
  public:
    SignalStop();
    ~SignalStop();
    SignalStop(const SignalStop&) = delete;
    SignalStop& operator=(const SignalStop&) = delete;

    // Runs `work` as a job on `owner` and waits for it to end, taking the
    // signals meanwhile. `progress` is told on the owner's thread.
    void run(BusOwner& owner, std::function<void(JobControl&)> work,
             BusOwner::Progress progress = {});
    // For work on this thread (no bus): a signal has come.
    bool requested();

    // The signal that stopped the work; 0 when none came.
    int signal() const { return signal_; }
    // "SIGINT", "SIGTERM", "SIGHUP".
    static std::string name(int signal);

  private:
    void take(int signal, BusOwner* owner);

    sigset_t signals_{}, before_{};
    int signal_ = 0;
};

// Progress of a long command on standard error while it is a terminal
// ("production: 3 of 5", rewritten in place); nothing otherwise. `err` must
// be std::cerr for anything to show.
class TerminalProgress {
  public:
    TerminalProgress(std::ostream& err, std::string label);
    ~TerminalProgress();
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;
    // What a job reports through; empty when nothing is shown.
    BusOwner::Progress reporter();

  private:
    std::ostream& err_;
    std::string label_;
    bool shown_ = false;
    bool active_ = false;
};

}  // namespace kestrel::batch
