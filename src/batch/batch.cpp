#include "batch/batch.h"

#include <cstdlib>
#include <iostream>
#include <ostream>

#include "batch/batch_commands.h"
#include "batch/batch_files.h"
#include "batch/batch_session.h"
#include "batch/command_line.h"
#include "batch/decode_command.h"
#include "batch/json.h"
#include "batch/signal_stop.h"
#include "batch/snapshot_commands.h"
#include "chip/kestrel_map.h"
#include "device/text_rules.h"
#include "files/backup_folder.h"
#include "files/image_file.h"

namespace kestrel::batch {

namespace {

constexpr std::size_t kImageLines = 32;
constexpr std::size_t kEepromLines = 512;

void printErrors(const Report& r, std::ostream& err) {
    for (const std::string& line : r.notes) err << "kestrel-eval: " << line << '\n';
    for (const std::string& line : r.errors) err << "kestrel-eval: " << line << '\n';
}

// The one JSON object of a run: what was asked, how it ended, and the
// command's own members.
std::string jsonResult(const Invocation& inv, const Report& r, const std::string& backup) {
    json::Object o;
    if (!inv.name.empty()) o.text("command", inv.name);
    o.text("slave", text::byteText(inv.options.slave));
    o.flag("ok", r.code == kOk).number("exit", r.code);
    std::vector<std::string> errors;
    for (const std::string& e : r.errors) errors.push_back(json::quote(e));
    o.raw("errors", json::array(errors));
    if (!backup.empty()) o.text("backup", backup);
    std::string text = o.str();
    if (!r.json.empty()) text.insert(text.size() - 1, "," + r.json.members());
    return text + "\n";
}

int finishRun(const Invocation& inv, Report& r, const std::string& backup, std::ostream& out,
              std::ostream& err) {
    printErrors(r, err);
    if (inv.options.json && inv.watch)
        ;  // status --watch printed a JSON line per pass
    else if (inv.options.json)
        out << jsonResult(inv, r, backup);
    else
        out << r.text;
    out.flush();
    return r.code;
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return run(args, Environment{}, out, err);
}

int run(const std::vector<std::string>& args, const Environment& environment, std::ostream& out,
        std::ostream& err) {
    // Before anything starts a thread: the signals are taken here only.
    SignalStop endBySignal;
    Invocation inv = parseCommandLine(args);
    switch (inv.mode) {
        case Mode::Help:
            out << helpText(inv.name);
            return kOk;
        case Mode::Version:
            out << versionText();
            return kOk;
        case Mode::Gui:
            inv.mode = Mode::Error;
            inv.error = "no command given";
            inv.hint = "Try 'kestrel-eval --help' for more information.";
            break;
        case Mode::Error:
        case Mode::Batch:
            break;
    }
    Report report;
    if (inv.mode == Mode::Error) {
        err << "kestrel-eval: " << inv.error << '\n' << inv.hint << '\n';
        report.code = kUsage;
        report.errors.push_back(inv.error);
        if (inv.options.json) out << jsonResult(inv, report, {});
        return kUsage;
    }

    // Scripts run in the script runner, which the program calls for 'run'.
    if (inv.command == Command::Run || inv.command == Command::ProductionRun ||
        inv.command == Command::ProductionReport || inv.command == Command::Serve) {
        report.fail("'" + inv.name + "' is not available here", kUsage);
        return finishRun(inv, report, {}, out, err);
    }
    // Input and output files first: a file that cannot be used ends the run
    // before the bus is touched.
    std::vector<int> input;
    if (inv.command == Command::EepromWrite || inv.command == Command::EepromRestore) {
        const bool whole = inv.command == Command::EepromRestore;
        std::string text, error;
        const std::string name = inv.file == "-" ? "standard input" : inv.file;
        std::optional<std::vector<int>> data;
        if (readInput(inv.file, environment.in ? *environment.in : std::cin, text, error))
            data = image_file::parseImageLines(
                text, name, whole ? kEepromLines : kImageLines,
                whole ? std::optional<unsigned>(chip::kEepromFirst) : std::nullopt, error);
        if (!data) {
            report.code = kUsage;
            report.errors.push_back(error);
            return finishRun(inv, report, {}, out, err);
        }
        input = std::move(*data);
    }
    SnapshotInputs snapshots;
    if (isSnapshotCommand(inv.command) &&
        !readSnapshotInputs(inv, environment.in ? *environment.in : std::cin, snapshots, report))
        return finishRun(inv, report, {}, out, err);
    // A capture is decoded without a board.
    if (inv.command == Command::Decode) {
        decodeCommand(inv, report);
        return finishRun(inv, report, {}, out, err);
    }
    // Two files are compared without a board.
    if (inv.command == Command::SnapshotDiff && snapshots.b) {
        diffFiles(inv, snapshots, report);
        return finishRun(inv, report, {}, out, err);
    }
    OutputFile output;
    const bool fileIsOutput =
        inv.command == Command::EepromBackup || inv.command == Command::SnapshotSave;
    const std::string outputPath = fileIsOutput ? inv.file : inv.out;
    if (!outputPath.empty()) {
        std::string error;
        if (!output.prepare(outputPath, error)) {
            report.code = kUsage;
            report.errors.push_back(error);
            return finishRun(inv, report, {}, out, err);
        }
    }

    Session session(inv.options, environment, err);
    if (!session.ready()) {
        report.code = session.failureCode();
        return finishRun(inv, report, {}, out, err);
    }

    std::string backup;
    const std::time_t when = environment.now ? environment.now() : std::time(nullptr);
    OutputFile* outputFile = outputPath.empty() ? nullptr : &output;
    // The command is one job on the bus owner's thread; this thread takes
    // the signals meanwhile.
    TerminalProgress terminal(err, inv.name);
    endBySignal.run(
        session.connection().owner(),
        [&](JobControl& c) {
            session.setJob(&c);
            bool go = true;
            if (changesEeprom(inv) && !inv.options.noBackup) {
                const auto getenv = environment.getenv
                                        ? environment.getenv
                                        : std::function<const char*(const char*)>(
                                              [](const char* name) { return std::getenv(name); });
                go = backUpEeprom(session, inv.options.slave, backup::folder(getenv), when, report,
                                  backup);
                if (go) report.notes.push_back("EEPROM saved to " + backup + " before the change");
            }
            if (go && isSnapshotCommand(inv.command))
                runSnapshotCommand(session, inv, snapshots, outputFile, when, out, report);
            else if (go)
                runCommand(session, inv, input, outputFile, out, report);
            session.setJob(nullptr);
        },
        terminal.reporter());
    // A port that failed under a command is no usable port, whatever the
    // command made of it: exit 3, the port's own words first.
    if (const std::string failed = session.portError(); !failed.empty()) {
        report.errors.insert(report.errors.begin(), failed);
        report.code = kNoPort;
    }
    if (endBySignal.signal() != 0) {
        report.code = kStoppedBySignal;
        report.errors.push_back("stopped by " + SignalStop::name(endBySignal.signal()) + " " +
                                session.whereStopped());
    }
    if (!session.finish() && report.code == kOk) report.code = kUsage;
    return finishRun(inv, report, backup, out, err);
}

}  // namespace kestrel::batch
