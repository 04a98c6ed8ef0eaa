#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "batch/batch_session.h"
#include "bus/transfer.h"
#include "device/device.h"
#include "script/script.h"

// Runs a checked script on a session's board, one step at a time, so that a
// window can run it from its event loop and a command line in one call.
namespace kestrel::script {

enum class Verdict { Pass, Fail, Error, Stopped };
const char* verdictName(Verdict v);

// Exit codes of a run, beside batch mode's 0 to 3.
inline constexpr int kExpectationFailed = 5;
inline constexpr int kStopped = 130;

struct StepResult {
    std::size_t instruction = 0;
    unsigned line = 0;
    std::string text;  // the line as run, loop variables put in; empty: as written
    Verdict verdict = Verdict::Pass;
    bool check = false;   // an expect or a poll
    std::string message;  // why it did not pass
    std::string output;   // what a command printed
    double ms = 0;        // how long it took
    int code = 0;         // the exit code it stands for
};

struct LogEntry {
    std::int64_t unixMs = 0;  // when it was read
    std::string label;
    unsigned reg = 0;
    unsigned value = 0;
};

// What a run takes from its surroundings; every one has a plain default.
struct Hooks {
    // Asked before each step and each transaction: end the run now.
    std::function<bool()> stopRequested;
    // Waits `ms` milliseconds; false when a stop came in the wait.
    std::function<bool(unsigned ms)> sleep;
    // A monotonic clock in milliseconds, for step times and poll timeouts.
    std::function<double()> nowMs;
    // The time of a log line, in milliseconds since 1970 (UTC).
    std::function<std::int64_t()> wallMs;
    // Told of every step that produced a result, as it ends.
    std::function<void(const StepResult&)> stepDone;
};

struct RunSettings {
    unsigned slave = 0xAE;
    // Save the EEPROM once before the first step that changes it.
    bool backup = true;
    std::function<const char*(const char*)> getenv;  // for the backup folder
    std::function<std::string()> backupFolder;       // instead of the one getenv names
    std::function<std::time_t()> now;                // names backups and snapshots
};

class Runner final : private TransactionObserver {
  public:
    Runner(const Script& script, batch::Session& session, RunSettings settings, Hooks hooks);
    ~Runner() override;
    Runner(const Runner&) = delete;
    Runner& operator=(const Runner&) = delete;

    bool finished() const { return finished_; }
    // Runs the next line (a step, or a loop's 'repeat', 'for' or 'end').
    void step();
    void runAll() {
        while (!finished_) step();
    }

    const Script& script() const { return script_; }
    const std::vector<StepResult>& results() const { return results_; }
    const std::vector<LogEntry>& log() const { return log_; }
    // Notes for the user: where the EEPROM was saved.
    const std::vector<std::string>& notes() const { return notes_; }
    // The steps run so far (the lines that do something, as Script::steps counts).
    std::uint64_t stepsDone() const { return stepsDone_; }
    // Where and why the run ended before the script's end; empty when it ran through.
    const std::string& endedEarly() const { return endedEarly_; }
    bool stopped() const { return stopped_; }
    // 0 every step passed, 5 an expectation failed, 1/2/3 as batch mode,
    // 130 stopped.
    int exitCode() const;

  private:
    class StoppableExecutor;
    struct Frame {
        std::size_t opener;
        std::uint64_t remaining;  // repeat: turns left
    };

    void transactionEnded(const TransactionRecord& record) override;
    bool stopNow();
    void finishStep(StepResult r, double started);
    void command(const Instruction& in, StepResult& r);
    void expect(const Instruction& in, StepResult& r);
    void expectEeprom(const Instruction& in, StepResult& r);
    void poll(const Instruction& in, StepResult& r);
    void logStep(const Instruction& in, StepResult& r);
    bool refusedOrFailed(const Outcome& o, StepResult& r);
    void stoppedIn(StepResult& r);
    std::uint32_t valueOf(const Operand& o) const;
    std::string substituted(const Instruction& in) const;

    const Script& script_;
    batch::Session& session_;
    RunSettings settings_;
    Hooks hooks_;
    Device* previous_ = nullptr;         // the session's device before the run
    TransferExecutor* inner_ = nullptr;  // the session's own executor, observed
    std::unique_ptr<StoppableExecutor> executor_;
    std::unique_ptr<Device> device_;

    std::size_t pc_ = 0;
    std::vector<Frame> frames_;
    std::vector<std::uint32_t> values_;
    bool continueOnError_ = false;
    bool backedUp_ = false;
    bool finished_ = false;
    bool stopped_ = false;
    std::uint64_t stepsDone_ = 0;
    std::uint64_t transactions_ = 0;
    std::string lastTransaction_;
    std::string endedEarly_;
    std::vector<StepResult> results_;
    std::vector<LogEntry> log_;
    std::vector<std::string> notes_;
};

}  // namespace kestrel::script
