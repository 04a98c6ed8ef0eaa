#include "batch/production_command.h"

#include <poll.h>
#include <pwd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <istream>
#include <map>
#include <memory>
#include <ostream>

#include "batch/batch_session.h"
#include "batch/command_line.h"
#include "batch/signal_stop.h"
#include "batch/strict_number.h"
#include "device/diagnostics.h"
#include "device/eeprom.h"
#include "files/backup_folder.h"
#include "production/golden.h"
#include "production/records.h"
#include "production/report.h"
#include "production/serial.h"
#include "production/station.h"

namespace kestrel::batch {

namespace {

constexpr const char* kRunUsage =
    "Usage: kestrel-eval production run --golden FILE --serial TEXT [--serial-at ADDR] "
    "[--station NAME] [--database URL] [--erase-limit N] [--allow-revision] [--boards N "
    "[--step N] [--same-board]] [--verify-all] [--backups DIR]";
constexpr const char* kReportUsage =
    "Usage: kestrel-eval production report [--since DATE] [--csv FILE] [--database URL]";

// The production options as the command line gave them (command_line.cpp
// reads them), by name.
struct Parsed {
    std::map<std::string, std::string> given;
};

std::string operatorName() {
    if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_name != nullptr)
        return pw->pw_name;
    const char* user = std::getenv("USER");
    return user != nullptr ? user : "unknown";
}

std::string hostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "station";
    return name;
}

bool readCount(const std::string& text, long long most, long long& value) {
    if (text.empty() || text.size() > 12) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    value = std::stoll(text);
    return value >= 1 && value <= most;
}

int usage(const std::string& error, const char* synopsis, std::ostream& err) {
    err << "kestrel-eval: " << error << '\n' << synopsis << '\n';
    return kUsage;
}

std::string databaseOf(const Parsed& p, const Environment& environment) {
    const auto given = p.given.find("--database");
    if (given != p.given.end()) return given->second;
    auto getenv =
        environment.getenv
            ? environment.getenv
            : std::function<const char*(const char*)>([](const char* n) { return std::getenv(n); });
    return production::defaultDatabase(getenv("XDG_DATA_HOME"), getenv("HOME"));
}

// A date of the calendar written YYYY-MM-DD: 2026-02-29 and 2026-99-99 are none.
bool isDate(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    for (std::size_t k : {0, 1, 2, 3, 5, 6, 8, 9})
        if (text[k] < '0' || text[k] > '9') return false;
    const int year = std::stoi(text.substr(0, 4)), month = std::stoi(text.substr(5, 2)),
              day = std::stoi(text.substr(8, 2));
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int days[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month >= 1 && month <= 12 && day >= 1 && day <= days[month - 1];
}

// Between boards of a run: the operator inserts the next board and presses
// Enter (or, with the serial's place known, the station sees the board
// change by itself).
class BoardWait {
  public:
    enum Outcome { Go, Stopped, InputEnded };
    BoardWait(std::istream* in, std::optional<unsigned> serialAt, std::ostream& err)
        : in_(in), serialAt_(serialAt), err_(err) {}

    // Before board `n` (from 1) of `total`; `lastSerial` is the serial of the
    // board before it.
    Outcome before(JobControl& c, long long n, long long total, const std::string& lastSerial) {
        const bool watch = serialAt_ && n > 1;
        err_ << "insert board " << n << " of " << total << ", then press Enter"
             << (watch ? " (or just change the board: a changed serial starts it)" : "") << '\n';
        err_.flush();
        const unsigned count = static_cast<unsigned>(lastSerial.size() + 1);
        std::optional<std::vector<int>> was;
        if (watch) was = area(c, count);
        bool absent = watch && !was;
        for (;;) {
            if (c.stopRequested()) return Stopped;
            if (!ended_) {
                if (line(c)) return Go;
                if (c.stopRequested()) return Stopped;
            }
            if (ended_ && !watch) return InputEnded;
            if (watch) {
                const auto now = area(c, count);
                if (c.stopRequested()) return Stopped;
                if (!now) {
                    absent = true;  // no board, or one that does not answer yet
                } else if (absent || now != was) {
                    return Go;
                }
            }
            // Standard input ended, or one that never waits (a test's): the
            // board is looked at four times a second.
            if ((ended_ || in_ != nullptr) && !c.sleep(250)) return Stopped;
        }
    }

  private:
    // The bytes where the serial goes; nothing when they were not read cleanly.
    std::optional<std::vector<int>> area(JobControl& c, unsigned count) {
        const eeprom::Run run = eeprom::read(c.device(), *serialAt_, count, eeprom::Speed::Bytes);
        if (!run.ok()) return std::nullopt;
        return run.values();
    }
    // A line from the operator within a quarter of a second; `ended_` once
    // standard input has no more.
    bool line(JobControl& c) {
        if (in_ != nullptr) {
            std::string text;
            if (std::getline(*in_, text)) return true;
            ended_ = true;
            return false;
        }
        pollfd p{STDIN_FILENO, POLLIN, 0};
        if (::poll(&p, 1, 250) <= 0) return false;
        for (;;) {
            char ch = 0;
            const ssize_t got = ::read(STDIN_FILENO, &ch, 1);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                ended_ = true;
                return false;
            }
            if (ch == '\n') return true;
            // The rest of a line typed: a stop is still looked at meanwhile.
            while (::poll(&p, 1, 250) == 0)
                if (c.stopRequested()) return false;
        }
    }

    std::istream* in_;
    std::optional<unsigned> serialAt_;
    std::ostream& err_;
    bool ended_ = false;
};

// A test's power cut at a chosen point: with KESTREL_TEST_KILL_AFTER=N in
// the environment the station kills itself (SIGKILL) right after its Nth
// step that leaves a trace, each bus transaction and each committed record
// counted, and first says which on standard error. Counted, not timed, so a
// slow machine cuts at the same point as a fast one.
class KillSwitch final : public TransactionObserver {
  public:
    explicit KillSwitch(unsigned long after) : after_(after) {}
    void transactionEnded(const TransactionRecord& record) override {
        const std::string target = targetText(record);
        step("transaction " + record.kind + (target.empty() ? "" : " " + target));
    }
    void committed() { step("record committed"); }

  private:
    void step(const std::string& what) {
        if (after_ == 0 || ++count_ < after_) return;
        const std::string line =
            "kestrel-eval: killed after step " + std::to_string(count_) + ": " + what + "\n";
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
        ::kill(::getpid(), SIGKILL);
    }
    unsigned long after_;
    unsigned long count_ = 0;
};

int runReport(const Parsed& p, const Environment& environment, std::ostream& out,
              std::ostream& err) {
    std::string since;
    if (const auto s = p.given.find("--since"); s != p.given.end()) {
        since = s->second;
        if (!isDate(since))
            return usage("--since '" + since + "': give a date, 2026-12-07", kReportUsage, err);
    }
    std::string error;
    // The records as they are: a database that is not there is said so, and
    // not made.
    const auto records = production::Records::open(databaseOf(p, environment), error,
                                                   production::Records::Mode::ReadOnly);
    if (!records) {
        err << "kestrel-eval: " << error << '\n';
        return kUsage;
    }
    const auto rows = records->attempts(since, error);
    if (!rows) {
        err << "kestrel-eval: records not read: " << error << '\n';
        return kUsage;
    }
    if (const auto csv = p.given.find("--csv"); csv != p.given.end()) {
        const std::string text = production::reportCsv(*rows);
        if (csv->second == "-") {
            out << text;
        } else {
            std::string path;
            const std::size_t slash = csv->second.rfind('/');
            const std::string folder =
                slash == std::string::npos ? "." : csv->second.substr(0, slash);
            const std::string name =
                slash == std::string::npos ? csv->second : csv->second.substr(slash + 1);
            // A new file: an existing one is never replaced.
            if (!backup::saveNew(folder.empty() ? "/" : folder, name, text, path, error)) {
                err << "kestrel-eval: " << csv->second << " not written: " << error << '\n';
                return kUsage;
            }
            if (path != csv->second)
                err << "kestrel-eval: " << csv->second << " exists; saved as " << path << '\n';
        }
        if (csv->second == "-") return kOk;
    }
    out << production::reportText(*rows);
    return kOk;
}

int runStation(const Invocation& inv, const Parsed& p, const Environment& environment,
               std::ostream& out, std::ostream& err) {
    for (const char* needed : {"--golden", "--serial"})
        if (p.given.count(needed) == 0)
            return usage(std::string("'production run' needs ") + needed, kRunUsage, err);

    // Before anything starts a thread: the signals are taken here only.
    SignalStop endBySignal;
    production::StationSettings settings;
    settings.operatorName = operatorName();
    settings.station = p.given.count("--station") ? p.given.at("--station") : hostName();
    const std::string serial = p.given.at("--serial");
    if (const std::string problem = production::serialProblem(serial); !problem.empty())
        return usage("--serial '" + serial + "': " + problem, kRunUsage, err);
    if (p.given.count("--serial-at")) {
        std::string error;
        const auto at = readNumber(p.given.at("--serial-at"), NumberKind::EepromAddress, error);
        if (!at) return usage("--serial-at: " + error, kRunUsage, err);
        if (const std::string problem = production::serialPlaceProblem(serial, *at);
            !problem.empty())
            return usage(problem, kRunUsage, err);
        settings.serialAt = *at;
    }
    settings.allowRevision = p.given.count("--allow-revision") != 0;
    if (p.given.count("--erase-limit") &&
        !readCount(p.given.at("--erase-limit"), 1000000000, settings.eraseLimit))
        return usage("--erase-limit: give a number of erases, 1 or more", kRunUsage, err);
    long long boards = 1, step = 1;
    if (p.given.count("--boards") && !readCount(p.given.at("--boards"), 1000000, boards))
        return usage("--boards: give a number of boards, 1 to 1000000", kRunUsage, err);
    if (p.given.count("--step") && !readCount(p.given.at("--step"), 1000000, step))
        return usage("--step: give a number, 1 to 1000000", kRunUsage, err);
    if (boards > 1 && !production::nextSerial(serial, 1))
        return usage("--boards counts the serial on: it must end in a digit", kRunUsage, err);
    const bool sameBoard = p.given.count("--same-board") != 0;
    if (sameBoard && boards < 2) return usage("--same-board goes with --boards N", kRunUsage, err);
    settings.verifyAll = p.given.count("--verify-all") != 0;
    auto getenv =
        environment.getenv
            ? environment.getenv
            : std::function<const char*(const char*)>([](const char* n) { return std::getenv(n); });
    if (p.given.count("--backups")) {
        settings.backupFolder = p.given.at("--backups");
    } else {
        const std::string folder = backup::folder(getenv);
        if (folder.empty()) return usage("no backup folder: give --backups DIR", kRunUsage, err);
        settings.backupFolder = folder + "/production/" + production::fileNameOf(settings.station);
    }

    std::string error;
    // A database the records cannot be kept in is refused before the bus.
    const std::string database = databaseOf(p, environment);
    if (!production::parseLocation(database, error)) return usage(error, kRunUsage, err);
    unsigned long killAfter = 0;
    if (const char* kill = getenv("KESTREL_TEST_KILL_AFTER"); kill != nullptr && kill[0] != '\0')
        killAfter = std::strtoul(kill, nullptr, 10);
    const auto golden = production::loadGolden(p.given.at("--golden"), error);
    if (!golden) {
        err << "kestrel-eval: " << error << '\n';
        return kUsage;
    }
    Session session(inv.options, environment, err);
    if (!session.ready()) return session.failureCode();

    int code = kOk;
    std::string current = serial;
    long long waitingFor = 0;  // the board whose insertion is awaited; 0: none
    KillSwitch killSwitch(killAfter);
    if (killAfter != 0) session.connection().executor().addObserver(&killSwitch);
    TerminalProgress terminal(err, "production");
    endBySignal.run(
        session.connection().owner(),
        [&](JobControl& c) {
            session.setJob(&c);
            // The records' connection belongs to the thread that programs the
            // boards; opened before the first board is touched.
            std::string why;
            const auto records = production::Records::open(database, why);
            if (!records) {
                err << "kestrel-eval: " << why << "; no board was touched\n";
                code = kUsage;
                return;
            }
            if (killAfter != 0) {
                killSwitch.committed();  // the schema's own transaction
                records->onCommit([&killSwitch] { killSwitch.committed(); });
            }
            BoardWait wait(environment.in, settings.serialAt, err);
            for (long long n = 0; n < boards && !c.stopRequested(); ++n) {
                const std::string previous = current;
                if (n > 0) current = *production::nextSerial(current, static_cast<unsigned>(step));
                if (boards > 1 && !sameBoard) {
                    waitingFor = n + 1;
                    const BoardWait::Outcome w = wait.before(c, n + 1, boards, previous);
                    if (w == BoardWait::Stopped) break;
                    if (w == BoardWait::InputEnded) {
                        err << "kestrel-eval: standard input ended before board " << n + 1 << " of "
                            << boards << "; " << n << (n == 1 ? " board" : " boards")
                            << " programmed\n";
                        code = kUsage;
                        break;
                    }
                    waitingFor = 0;
                }
                const production::BoardResult r = production::programBoard(
                    session.device(), *golden, current, settings, *records);
                const int boardCode = r.verdict == production::Verdict::Pass      ? kOk
                                      : r.verdict == production::Verdict::Fail    ? kBusFault
                                      : r.verdict == production::Verdict::Refused ? kRefused
                                                                                  : kUsage;
                // A board whose backup or record could not be stored is no
                // PASS, however its bus work went.
                out << (r.verdict == production::Verdict::Error ? "ERROR" : r.attempt.result) << ' '
                    << current << "  registers written: "
                    << (r.attempt.registersWritten.empty() ? "none" : r.attempt.registersWritten)
                    << ", pages written: "
                    << (r.attempt.pagesWritten.empty() ? "none" : r.attempt.pagesWritten) << ", "
                    << r.attempt.durationMs << " ms\n";
                out.flush();
                for (const std::string& note : r.notes)
                    err << "kestrel-eval: " << current << ": " << note << '\n';
                if (!r.cause.empty()) err << "kestrel-eval: " << current << ": " << r.cause << '\n';
                if (code == kOk) code = boardCode;  // the first board that did not pass
                c.progress(static_cast<std::uint64_t>(n + 1), static_cast<std::uint64_t>(boards));
                if (session.portFailed()) {
                    code = kNoPort;
                    break;
                }
                // A backup or a record that cannot be stored now will not be
                // for the next board either: no board goes without its record.
                if (r.verdict == production::Verdict::Error) {
                    if (n + 1 < boards)
                        err << "kestrel-eval: the run ends here, " << boards - n - 1
                            << (boards - n - 1 == 1 ? " board" : " boards") << " not started\n";
                    code = kUsage;
                    break;
                }
            }
            session.setJob(nullptr);
        },
        terminal.reporter());
    if (killAfter != 0) session.connection().executor().removeObserver(&killSwitch);
    if (endBySignal.signal() != 0) {
        err << "kestrel-eval: stopped by " << SignalStop::name(endBySignal.signal());
        if (waitingFor != 0)
            err << " while waiting for board " << waitingFor << " of " << boards << " (" << current
                << "); nothing of it was sent\n";
        else
            err << " at board " << current << ", " << session.whereStopped() << '\n';
        code = kStoppedBySignal;
    }
    if (!session.finish() && code == kOk) code = kUsage;
    return code;
}

}  // namespace

int runProduction(const Invocation& inv, const Environment& environment, std::ostream& out,
                  std::ostream& err) {
    // Qt SQL's drivers are plugins, found through the application object.
    std::unique_ptr<QCoreApplication> app;
    static int argc = 1;
    static char name[] = "kestrel-eval";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr)
        app = std::make_unique<QCoreApplication>(argc, argv);
    const Parsed p{inv.given};
    return inv.command == Command::ProductionReport ? runReport(p, environment, out, err)
                                                    : runStation(inv, p, environment, out, err);
}

int runProduction(const std::vector<std::string>& args, const Environment& environment,
                  std::ostream& out, std::ostream& err) {
    const Invocation inv = parseCommandLine(args);
    if (inv.mode == Mode::Help) {
        out << helpText(inv.name.empty() ? "production" : inv.name);
        return kOk;
    }
    if (inv.mode == Mode::Error) {
        err << "kestrel-eval: " << inv.error << '\n' << inv.hint << '\n';
        return kUsage;
    }
    if (inv.mode != Mode::Batch ||
        (inv.command != Command::ProductionRun && inv.command != Command::ProductionReport))
        return usage("'production' needs one of: run, report", kRunUsage, err);
    return runProduction(inv, environment, out, err);
}

}  // namespace kestrel::batch
