#include "script/runner.h"

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "batch/batch_commands.h"
#include "batch/batch_files.h"
#include "batch/snapshot_commands.h"
#include "device/diagnostics.h"
#include "device/eeprom.h"
#include "device/text_rules.h"
#include "files/backup_folder.h"

namespace kestrel::script {

using text::byteText;

const char* verdictName(Verdict v) {
    switch (v) {
        case Verdict::Pass:
            return "PASS";
        case Verdict::Fail:
            return "FAIL";
        case Verdict::Error:
            return "ERROR";
        case Verdict::Stopped:
            return "STOPPED";
    }
    return "?";
}

// The session's executor, refusing every transaction once a stop is asked
// for: the transaction under way ends whole (its STOP sent, an EEPROM
// cycle's hold run out) and nothing more starts.
class Runner::StoppableExecutor final : public TransferExecutor {
  public:
    StoppableExecutor(TransferExecutor& inner, std::function<bool()> stop)
        : inner_(inner), stop_(std::move(stop)) {}

    bool refusedForStop() const { return refused_; }

    std::string refusal() override { return stopping() ? "Stopped" : inner_.refusal(); }
    std::optional<std::vector<TransactionRecord>> runHeld(std::span<const Transfer> transfers,
                                                          Origin origin,
                                                          bool stopAtFault) override {
        if (stopping()) return std::nullopt;
        return inner_.runHeld(transfers, origin, stopAtFault);
    }
    bool hasLineAccess() const override { return inner_.hasLineAccess(); }
    bool takesAcknowledgeSlots() const override { return inner_.takesAcknowledgeSlots(); }
    void setLineCapture(bool on) override { inner_.setLineCapture(on); }
    void shutDown() noexcept override { inner_.shutDown(); }

  private:
    bool stopping() {
        if (!refused_ && stop_ && stop_()) refused_ = true;
        return refused_;
    }
    TransferExecutor& inner_;
    std::function<bool()> stop_;
    bool refused_ = false;
};

namespace {

Hooks withDefaults(Hooks h) {
    if (!h.stopRequested) h.stopRequested = [] { return false; };
    if (!h.nowMs)
        h.nowMs = [] {
            return std::chrono::duration<double, std::milli>(
                       std::chrono::steady_clock::now().time_since_epoch())
                .count();
        };
    if (!h.wallMs)
        h.wallMs = [] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                .count();
        };
    if (!h.sleep) {
        // In slices of 10 ms, so that a stop ends the wait promptly.
        auto stop = h.stopRequested;
        h.sleep = [stop](unsigned ms) {
            const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
            while (std::chrono::steady_clock::now() < end) {
                if (stop()) return false;
                std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                    end - std::chrono::steady_clock::now(), std::chrono::milliseconds(10)));
            }
            return !stop();
        };
    }
    return h;
}

// "bits 2 and 5 (24h)", "bit 0 (01h)".
std::string bitsText(unsigned differing) {
    std::vector<int> bits;
    for (int b = 0; b < 8; ++b)
        if (differing & (1u << b)) bits.push_back(b);
    std::string t = bits.size() == 1 ? "bit " : "bits ";
    for (std::size_t i = 0; i < bits.size(); ++i)
        t += (i == 0 ? "" : i + 1 == bits.size() ? " and " : ", ") + std::to_string(bits[i]);
    return t + " (" + byteText(differing) + "h)";
}

std::string mismatchText(const std::string& what, unsigned expected, unsigned read, unsigned mask) {
    std::string t = what + ": expected " + byteText(expected & mask) + "h";
    if (mask != 0xFF) t += " under mask " + byteText(mask) + "h";
    return t + ", read " + byteText(read) + "h; differing " + bitsText((expected ^ read) & mask);
}

}  // namespace

Runner::Runner(const Script& script, batch::Session& session, RunSettings settings, Hooks hooks)
    : script_(script),
      session_(session),
      settings_(std::move(settings)),
      hooks_(withDefaults(std::move(hooks))),
      values_(script.variables.size(), 0) {
    previous_ = &session_.device();
    inner_ = &session_.device().executor();
    executor_ = std::make_unique<StoppableExecutor>(*inner_, hooks_.stopRequested);
    device_ = std::make_unique<Device>(session_.device().globals(), *executor_);
    session_.useDevice(*device_);
    inner_->addObserver(this);
    if (script_.program.empty()) finished_ = true;
}

Runner::~Runner() {
    inner_->removeObserver(this);
    // The session goes on with the device it had, not with this run's.
    session_.useDevice(*previous_);
}

void Runner::transactionEnded(const TransactionRecord& record) {
    ++transactions_;
    lastTransaction_ = record.kind + (record.target >= 0 ? " " + targetText(record) : "");
}

bool Runner::stopNow() {
    return executor_->refusedForStop() || hooks_.stopRequested();
}

int Runner::exitCode() const {
    if (stopped_) return kStopped;
    int worst = 0;
    const int rank[] = {0, 3, 4, 5, 0, 2};  // by code: 1 usage, 2 bus, 3 port, 5 expectation
    for (const StepResult& r : results_)
        if (r.code > 0 && r.code <= 5 && rank[r.code] > (worst ? rank[worst] : 0)) worst = r.code;
    return worst;
}

std::uint32_t Runner::valueOf(const Operand& o) const {
    return o.variable >= 0 ? values_[static_cast<std::size_t>(o.variable)] : o.value;
}

std::string Runner::substituted(const Instruction& in) const {
    std::string t;
    for (std::size_t i = 0; i < in.words.size(); ++i) {
        const Word& w = in.words[i];
        std::string word = w.text;
        if (!w.text.empty() && w.text[0] == '$')
            for (std::size_t v = 0; v < script_.variables.size(); ++v)
                if (script_.variables[v] == w.text.substr(1)) {
                    // As the script's numbers are shown: two digits at least.
                    word = text::hexText(values_[v]);
                    if (word.size() < 2) word.insert(0, 2 - word.size(), '0');
                    word += "h";
                }
        t += (i == 0 ? "" : " ") + word;
    }
    return t;
}

void Runner::stoppedIn(StepResult& r) {
    r.verdict = Verdict::Stopped;
    r.code = kStopped;
    r.message = lastTransaction_.empty() || transactions_ == 0
                    ? "stopped before anything of it was sent"
                    : "stopped after the transaction " + lastTransaction_ + " ended (transaction " +
                          std::to_string(transactions_) + " of the run); nothing more was sent";
}

// False when the step may go on with what the outcome read.
bool Runner::refusedOrFailed(const Outcome& o, StepResult& r) {
    if (o.refused() && executor_->refusedForStop()) {
        stoppedIn(r);
        return true;
    }
    if (o.ok()) return false;
    r.verdict = Verdict::Error;
    r.code = o.refused()      ? (o.busRefusal ? batch::kNoPort : batch::kUsage)
             : o.portFailed() ? batch::kNoPort
                              : batch::kBusFault;
    r.message = o.problem();
    return true;
}

void Runner::finishStep(StepResult r, double started) {
    r.ms = hooks_.nowMs() - started;
    if (r.verdict == Verdict::Stopped) {
        stopped_ = true;
        finished_ = true;
        endedEarly_ = script_.file + ":" + std::to_string(r.line) + ": " + r.message;
    } else if ((r.verdict == Verdict::Fail || r.verdict == Verdict::Error) && !continueOnError_) {
        finished_ = true;
        endedEarly_ = script_.file + ":" + std::to_string(r.line) +
                      ": the run ended at this step (on-error stop)";
    }
    if (hooks_.stepDone) hooks_.stepDone(r);
    results_.push_back(std::move(r));
}

void Runner::step() {
    if (finished_) return;
    if (pc_ >= script_.program.size()) {
        finished_ = true;
        return;
    }
    const Instruction& in = script_.program[pc_];
    if (stopNow()) {
        stopped_ = true;
        finished_ = true;
        // Between the turns of a loop the line to name is the step that ran
        // last, not the 'end'.
        const bool control = in.op == Op::Repeat || in.op == Op::For || in.op == Op::End ||
                             in.op == Op::OnError;
        endedEarly_ = control && !results_.empty()
                          ? script_.file + ":" + std::to_string(results_.back().line) +
                                ": stopped after this line; nothing more was sent"
                          : script_.file + ":" + std::to_string(in.line) +
                                ": stopped before this line; nothing of it was sent";
        return;
    }
    switch (in.op) {
        case Op::Repeat:
            if (in.count == 0) {
                pc_ = in.partner + 1;
            } else {
                frames_.push_back({pc_, in.count});
                ++pc_;
            }
            return;
        case Op::For:
            values_[static_cast<std::size_t>(in.variable)] = in.from;
            frames_.push_back({pc_, 0});
            ++pc_;
            return;
        case Op::End: {
            Frame& f = frames_.back();
            const Instruction& opener = script_.program[f.opener];
            bool again;
            if (opener.op == Op::Repeat) {
                again = --f.remaining > 0;
            } else {
                auto& v = values_[static_cast<std::size_t>(opener.variable)];
                again = static_cast<std::uint64_t>(v) + opener.step <= opener.to;
                if (again) v += opener.step;
            }
            if (again) {
                pc_ = f.opener + 1;
            } else {
                frames_.pop_back();
                ++pc_;
            }
            return;
        }
        case Op::OnError:
            continueOnError_ = in.continueOnError;
            ++pc_;
            return;
        default:
            break;
    }
    ++stepsDone_;
    const double started = hooks_.nowMs();
    StepResult r;
    r.instruction = pc_;
    r.line = in.line;
    if (in.hasVariables || in.op != Op::Command) {
        bool variables = false;
        for (const Word& w : in.words)
            variables = variables || (!w.text.empty() && w.text[0] == '$');
        if (variables) r.text = substituted(in);
    }
    ++pc_;
    switch (in.op) {
        case Op::Command:
            command(in, r);
            break;
        case Op::Expect:
            expect(in, r);
            break;
        case Op::ExpectEeprom:
            expectEeprom(in, r);
            break;
        case Op::Poll:
            poll(in, r);
            break;
        case Op::Wait:
            if (!hooks_.sleep(valueOf(in.ms))) stoppedIn(r);
            break;
        case Op::Log:
            logStep(in, r);
            break;
        default:
            break;
    }
    if (pc_ >= script_.program.size() && r.verdict == Verdict::Pass) finished_ = true;
    finishStep(std::move(r), started);
}

void Runner::command(const Instruction& in, StepResult& r) {
    using batch::Command;
    const batch::Invocation inv = in.invocation ? *in.invocation : commandInvocation(in, values_);
    const std::time_t now = settings_.now ? settings_.now() : std::time(nullptr);
    batch::Report report;
    if (batch::changesEeprom(inv) && settings_.backup && !backedUp_) {
        const auto getenv = settings_.getenv
                                ? settings_.getenv
                                : std::function<const char*(const char*)>(
                                      [](const char* name) { return std::getenv(name); });
        std::string savedTo;
        const std::string folder =
            settings_.backupFolder ? settings_.backupFolder() : backup::folder(getenv);
        if (batch::backUpEeprom(session_, settings_.slave, folder, now, report, savedTo)) {
            backedUp_ = true;
            notes_.push_back("EEPROM saved to " + savedTo + " before the first change");
        }
    }
    std::ostringstream out;
    batch::OutputFile output;
    const std::string outputPath =
        inv.command == Command::EepromBackup || inv.command == Command::SnapshotSave ? inv.file
                                                                                     : inv.out;
    std::string error;
    if (report.code == batch::kOk && !outputPath.empty() && !output.prepare(outputPath, error))
        report.fail(error, batch::kUsage);
    if (report.code == batch::kOk) {
        batch::OutputFile* file = outputPath.empty() ? nullptr : &output;
        if (inv.command == Command::SnapshotDiff && in.snapshots && in.snapshots->b)
            batch::diffFiles(inv, *in.snapshots, report);
        else if (batch::isSnapshotCommand(inv.command))
            batch::runSnapshotCommand(session_, inv, *in.snapshots, file, now, out, report);
        else
            batch::runCommand(session_, inv, in.input, file, out, report);
    }
    r.output = report.text + out.str();
    for (const std::string& note : report.notes) notes_.push_back(note);
    if (executor_->refusedForStop()) return stoppedIn(r);
    if (session_.portFailed() && report.code == batch::kOk) report.code = batch::kNoPort;
    if (report.code == batch::kOk) return;
    r.verdict = report.code == batch::kDiffer ? Verdict::Fail : Verdict::Error;
    r.code = report.code == batch::kDiffer ? kExpectationFailed : report.code;
    for (const std::string& e : report.errors) r.message += (r.message.empty() ? "" : "; ") + e;
    if (r.message.empty() && report.code == batch::kDiffer) r.message = "the snapshots differ";
}

void Runner::expect(const Instruction& in, StepResult& r) {
    r.check = true;
    const unsigned reg = valueOf(in.address);
    const ByteOutcome o = device_->ReadRegister(static_cast<int>(reg));
    if (refusedOrFailed(o, r)) return;
    const unsigned mask = valueOf(in.mask), expected = valueOf(in.value);
    const auto read = static_cast<unsigned>(o.value) & 0xFF;
    if (((read ^ expected) & mask) == 0) return;
    r.verdict = Verdict::Fail;
    r.code = kExpectationFailed;
    r.message = mismatchText("register " + byteText(reg) + "h", expected, read, mask);
}

void Runner::expectEeprom(const Instruction& in, StepResult& r) {
    r.check = true;
    const unsigned address = valueOf(in.address);
    const eeprom::Run run = eeprom::read(*device_, address, 1, eeprom::Speed::Bytes);
    if (run.refused()) {
        Outcome o = Outcome::refusedBy(run.refusal, run.busRefusal);
        refusedOrFailed(o, r);
        return;
    }
    const eeprom::Step& s = run.steps.front();
    if (!s.ok()) {
        r.verdict = Verdict::Error;
        r.code = run.portFailed ? batch::kNoPort : batch::kBusFault;
        r.message = s.problem;
        return;
    }
    const unsigned mask = valueOf(in.mask), expected = valueOf(in.value);
    const auto read = static_cast<unsigned>(s.value) & 0xFF;
    if (((read ^ expected) & mask) == 0) return;
    r.verdict = Verdict::Fail;
    r.code = kExpectationFailed;
    r.message = mismatchText("EEPROM " + text::addressText(address) + "h", expected, read, mask);
}

void Runner::poll(const Instruction& in, StepResult& r) {
    r.check = true;
    const unsigned reg = valueOf(in.address);
    const unsigned mask = valueOf(in.mask), expected = valueOf(in.value);
    const double timeout = valueOf(in.ms), every = valueOf(in.every);
    const double start = hooks_.nowMs();
    unsigned reads = 0;
    for (;;) {
        const ByteOutcome o = device_->ReadRegister(static_cast<int>(reg));
        ++reads;
        if (refusedOrFailed(o, r)) return;
        const auto read = static_cast<unsigned>(o.value) & 0xFF;
        if (((read ^ expected) & mask) == 0) return;
        const double elapsed = hooks_.nowMs() - start;
        if (elapsed >= timeout) {
            r.verdict = Verdict::Fail;
            r.code = kExpectationFailed;
            r.message = mismatchText("register " + byteText(reg) + "h", expected, read, mask) +
                        "; " + std::to_string(reads) + " reads in " +
                        std::to_string(static_cast<long>(elapsed)) + " ms, timeout " +
                        std::to_string(static_cast<long>(timeout)) + " ms";
            return;
        }
        const double pause = std::min(every, timeout - elapsed);
        if (!hooks_.sleep(static_cast<unsigned>(pause < 1 ? 1 : pause))) return stoppedIn(r);
    }
}

void Runner::logStep(const Instruction& in, StepResult& r) {
    std::string line = in.label;
    for (const Operand& op : in.registers) {
        const unsigned reg = valueOf(op);
        const ByteOutcome o = device_->ReadRegister(static_cast<int>(reg));
        if (refusedOrFailed(o, r)) return;
        const auto value = static_cast<unsigned>(o.value) & 0xFF;
        log_.push_back({hooks_.wallMs(), in.label, reg, value});
        line += " " + byteText(reg) + "h=" + byteText(value) + "h";
    }
    r.output = line + "\n";
}

}  // namespace kestrel::script
