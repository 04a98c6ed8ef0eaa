#include "script/run_script.h"

#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <ostream>

#include "batch/batch_files.h"
#include "batch/batch_session.h"
#include "batch/signal_stop.h"
#include "batch/strict_number.h"
#include "bus/record_export.h"
#include "device/diagnostics.h"
#include "device/text_rules.h"
#include "files/snapshot_board.h"
#include "script/dry_run_board.h"
#include "script/reports.h"

namespace kestrel::script {

namespace {

// Prints each transaction of a dry run as it ends.
class TransactionPrinter final : public TransactionObserver {
  public:
    explicit TransactionPrinter(std::ostream& out) : out_(out) {}
    void transactionEnded(const TransactionRecord& record) override {
        out_ << "  > " << monitorLine(record) << '\n';
    }

  private:
    std::ostream& out_;
};

// Whether two names are one file: the same device and inode when both
// exist, otherwise the same path once made absolute (links followed).
bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    std::error_code ea, eb;
    const auto pa = std::filesystem::weakly_canonical(a, ea);
    const auto pb = std::filesystem::weakly_canonical(b, eb);
    return !ea && !eb && pa == pb;
}

// The files of a run that must be different, as one that is written would
// replace another (a report over the script, two reports in one file, a
// report over the board's state); empty when they are.
std::string sameFiles(const batch::Invocation& inv) {
    struct Named {
        std::string what;
        std::string path;
        bool written;
    };
    const std::vector<Named> files = {
        {"the script", inv.file, false},
        {"--from", inv.from, false},
        {"--sim-state", inv.options.connection.simStatePath, true},
        {"--trace", inv.options.connection.tracePath, true},
        {"--junit", inv.junit, true},
        {"--csv", inv.csvFile, true},
    };
    for (std::size_t i = 0; i < files.size(); ++i)
        for (std::size_t j = i + 1; j < files.size(); ++j) {
            const Named &a = files[i], &b = files[j];
            if (a.path.empty() || b.path.empty() || (!a.written && !b.written)) continue;
            if (a.path == "-" || b.path == "-") {
                if (a.path == b.path && a.written && b.written)
                    return a.what + " and " + b.what + " would both go to standard output";
                continue;
            }
            if (sameFile(a.path, b.path))
                return b.what + " names the same file as " + a.what + " (" +
                       batch::printable(b.path) +
                       "): the script, the state file and each report must be different files";
        }
    return {};
}

std::int64_t unixMsNow() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

std::string monitorLine(const TransactionRecord& r) {
    std::string line = r.kind.empty() ? std::string("Transaction") : r.kind;
    if (!r.sent.empty()) line += "  " + text::byteText(r.sent[0].value & 0xFEu) + "h";
    const std::string target = targetText(r);
    if (!target.empty()) line += "  " + target;
    line += "  " + record_export::bytesText(r);
    if (r.pecReceived >= 0)
        line += "  PEC " + text::byteText(static_cast<unsigned>(r.pecReceived)) +
                (r.pecMismatch()
                     ? " (expected " + text::byteText(static_cast<unsigned>(r.pecExpected)) + ")"
                     : " ok");
    const std::string problem = diagnose(r);
    return line + "  " + (problem.empty() ? std::string("ok") : problem);
}

int runScript(const batch::Invocation& inv, const batch::Environment& environment,
              std::ostream& out, std::ostream& err, const Hooks* hooks) {
    // From the start, before anything starts a thread: a signal while the
    // script is read ends the run before its first step instead of killing
    // the program half-way.
    batch::SignalStop endBySignal;
    if (const std::string clash = sameFiles(inv); !clash.empty()) {
        err << "kestrel-eval: " << clash << "; nothing was sent\n";
        return batch::kUsage;
    }
    std::vector<ParseError> errors;
    const std::optional<Script> script =
        loadScript(inv.file, environment.in ? *environment.in : std::cin, errors);
    if (!script) {
        for (const ParseError& e : errors) err << "kestrel-eval: " << e.text << '\n';
        err << "kestrel-eval: nothing was sent\n";
        return batch::kUsage;
    }
    // The reports' files first: one that cannot be written ends the run
    // before the bus is touched.
    batch::OutputFile junit, csv;
    std::string error;
    if ((!inv.junit.empty() && !junit.prepare(inv.junit, error)) ||
        (!inv.csvFile.empty() && !csv.prepare(inv.csvFile, error))) {
        err << "kestrel-eval: " << error << '\n';
        return batch::kUsage;
    }
    const std::time_t now = environment.now ? environment.now() : std::time(nullptr);

    std::unique_ptr<sim::SimulatedBoard> copy;
    batch::Options options = inv.options;
    batch::Environment env = environment;
    if (inv.dryRun) {
        std::optional<snapshot::Snapshot> start;
        if (!inv.from.empty()) {
            start = snapshot::loadSnapshot(inv.from, error);
            if (!start) {
                err << "kestrel-eval: " << error << '\n';
                return batch::kUsage;
            }
        } else {
            // Read-only traffic: the snapshot's register and EEPROM reads.
            batch::Session board(inv.options, environment, err);
            if (!board.ready()) return board.failureCode();
            snapshot::Taken taken;
            endBySignal.run(board.connection().owner(), [&](JobControl& c) {
                taken = snapshot::takeSnapshot(c.device(), now);
            });
            board.finish();
            if (endBySignal.signal() != 0) {
                err << "kestrel-eval: stopped by " << batch::SignalStop::name(endBySignal.signal())
                    << " while the board was read for the dry run; nothing was run\n";
                return kStopped;
            }
            if (!taken.snapshot) {
                err << "kestrel-eval: the board could not be read for the dry run: " << taken.error
                    << '\n';
                return taken.refused || board.portFailed() ? batch::kNoPort : batch::kBusFault;
            }
            start = std::move(taken.snapshot);
        }
        copy = std::make_unique<sim::SimulatedBoard>();
        loadSnapshotIntoBoard(*start, *copy);
        options.connection = ConnectionOptions{};
        options.slave = start->slave;
        env.port = copy.get();
        env.kernel = nullptr;
        out << "Dry run on a simulated copy of the board"
            << (inv.from.empty() ? std::string(" as read from it")
                                 : " from " + batch::printable(inv.from))
            << "; nothing is written to the board.\n";
    }

    batch::Session session(options, env, err);
    if (!session.ready()) return session.failureCode();
    TransactionPrinter printer(out);
    if (inv.dryRun) session.connection().executor().addObserver(&printer);

    Hooks h;
    if (hooks != nullptr) h = *hooks;
    const auto stepDone = h.stepDone;
    h.stepDone = [&](const StepResult& r) {
        out << r.output;
        if (r.verdict != Verdict::Pass) {
            const Instruction& in = script->program[r.instruction];
            out << verdictName(r.verdict) << ' ' << script->file << ':' << r.line << ": "
                << (r.text.empty() ? in.text() : r.text) << ": " << r.message << '\n';
        }
        if (stepDone) stepDone(r);
    };
    RunSettings settings;
    settings.slave = options.slave;
    settings.backup = !inv.options.noBackup && !inv.dryRun;
    settings.getenv = environment.getenv;
    settings.now = environment.now;
    const double started = h.nowMs ? h.nowMs() : 0;
    const std::int64_t startedUnix = h.wallMs ? h.wallMs() : unixMsNow();
    const auto clock = [&h] { return h.nowMs ? h.nowMs() : static_cast<double>(unixMsNow()); };
    const double begin = h.nowMs ? started : clock();
    std::optional<Runner> runner;
    batch::TerminalProgress terminal(err, "run");
    // The run is one job on the bus owner's thread; a signal stops it at its
    // next transaction boundary (or ends its wait at once).
    endBySignal.run(
        session.connection().owner(),
        [&](JobControl& c) {
            Hooks job = h;
            const auto stop = h.stopRequested;
            job.stopRequested = [&c, stop] { return c.stopRequested() || (stop && stop()); };
            if (!h.sleep) job.sleep = [&c](unsigned ms) { return c.sleep(ms); };
            std::uint64_t steps = 0;
            const auto stepDone = job.stepDone;
            job.stepDone = [&](const StepResult& r) {
                if (stepDone) stepDone(r);
                c.progress(++steps, script->steps);
            };
            runner.emplace(*script, session, settings, job);
            runner->runAll();
        },
        terminal.reporter());
    const double total = clock() - begin;
    if (inv.dryRun) session.connection().executor().removeObserver(&printer);

    for (const std::string& note : runner->notes()) err << "kestrel-eval: " << note << '\n';
    if (endBySignal.signal() != 0)
        err << "kestrel-eval: stopped by " << batch::SignalStop::name(endBySignal.signal()) << ' '
            << session.whereStopped()
            << (runner->endedEarly().empty() ? std::string() : "; " + runner->endedEarly()) << '\n';
    out << summary(*runner);
    out.flush();
    int code = runner->exitCode();
    if (session.portFailed() && code != kStopped) code = batch::kNoPort;
    if (endBySignal.signal() != 0) code = kStopped;
    // Complete reports, even of a run that was stopped: each replaces its
    // file only once it is whole.
    if (!inv.junit.empty() && !junit.commit(junitXml(*runner, total, startedUnix), out, error)) {
        err << "kestrel-eval: " << error << '\n';
        if (code == 0) code = batch::kUsage;
    }
    if (!inv.csvFile.empty() && !csv.commit(logCsv(*runner), out, error)) {
        err << "kestrel-eval: " << error << '\n';
        if (code == 0) code = batch::kUsage;
    }
    if (!session.finish() && code == 0) code = batch::kUsage;
    return code;
}

}  // namespace kestrel::script
