#include "batch/snapshot_commands.h"

#include "batch/batch_files.h"
#include "files/snapshot_board.h"
#include "files/snapshot_compare.h"
#include "device/text_rules.h"

namespace kestrel::batch {

namespace {

// Failures named one by one; past this many only their number is given.

std::optional<snapshot::Snapshot> readOne(const std::string& path, std::istream& standardInput,
                                          Report& report) {
    std::string text, error;
    std::optional<snapshot::Snapshot> s;
    if (readInput(path, standardInput, text, error))
        s = snapshot::parseSnapshot(text, path == "-" ? "standard input" : path, error);
    if (!s) report.fail(error, kUsage);
    return s;
}

std::string describe(const std::string& path, const snapshot::Snapshot& s) {
    return (path == "-" ? std::string("standard input") : path) + ", slave " +
           text::suffixedByteText(s.slave) + ", taken " + snapshot::timeText(s.taken) +
           " by kestrel-eval " + s.tool;
}

// The comparison as text lines and JSON members; code 4 when they differ.
void reportComparison(const snapshot::Comparison& c, const std::string& aName,
                      const std::string& bName, Report& r) {
    r.text = "A: " + aName + "\nB: " + bName + "\n";
    for (const std::string& line : snapshot::reportLines(c)) r.text += line + "\n";
    std::vector<std::string> items;
    for (const snapshot::RegisterComparison& reg : c.registers) {
        if (!reg.differs) continue;
        json::Object o;
        o.text("register", text::suffixedByteText(reg.reg))
            .text("a", text::suffixedByteText(reg.a))
            .text("b", text::suffixedByteText(reg.b));
        std::vector<std::string> fields;
        for (const snapshot::FieldChange& f : reg.fields) {
            json::Object fo;
            fo.text("field", f.field).text("a", f.a).text("b", f.b);
            fields.push_back(fo.str());
        }
        o.raw("fields", json::array(fields));
        items.push_back(o.str());
    }
    for (const snapshot::EepromDifference& d : c.eeprom) {
        json::Object o;
        o.text("address", text::addressText(d.address) + "h")
            .text("a", text::suffixedByteText(d.a))
            .text("b", text::suffixedByteText(d.b));
        items.push_back(o.str());
    }
    r.json.flag("identical", c.identical())
        .raw("differences", json::array(items))
        .text("summary", snapshot::summaryLine(c));
    if (!c.identical() && r.code == kOk) r.code = kDiffer;
}

// Takes the board's snapshot; nothing (with the reason) when a read failed.
std::optional<snapshot::Snapshot> takeBoard(Session& s, std::time_t now, Report& r) {
    snapshot::Taken t = snapshot::takeSnapshot(s.device(), now);
    if (!t.snapshot) r.fail(t.error, t.refused ? kNoPort : kBusFault);
    return std::move(t.snapshot);
}

void save(Session& s, OutputFile& output, std::time_t now, std::ostream& standardOutput,
          Report& r) {
    const auto board = takeBoard(s, now, r);
    if (!board) {
        r.errors.push_back("snapshot not written");
        return;
    }
    std::string error;
    const auto text = snapshot::snapshotText(*board, error);
    if (!text || !output.commit(*text, standardOutput, error)) r.fail(error, kUsage);
    r.json.text("time", snapshot::timeText(board->taken));
}

void apply(Session& s, const Invocation& inv, const snapshot::Snapshot& target, Report& r) {
    const snapshot::ApplyOptions options{!inv.eepromOnly, !inv.registersOnly, inv.verify};
    const snapshot::ApplyResult result = snapshot::applySnapshot(s.device(), target, options);
    std::vector<std::string> regs, pages;
    for (int reg : result.registersWritten) regs.push_back(text::suffixedByteText(reg));
    for (unsigned page : result.pagesWritten) pages.push_back(text::addressText(page) + "h");
    auto join = [](const std::vector<std::string>& items) {
        std::string line;
        for (const std::string& item : items) line += " " + item;
        return line;
    };
    if (regs.empty() && pages.empty() && result.ok())
        r.text += "nothing written: the board already holds the snapshot\n";
    if (!regs.empty()) r.text += "registers written:" + join(regs) + "\n";
    if (!pages.empty()) r.text += "EEPROM pages erased and written:" + join(pages) + "\n";
    if (result.verified) r.text += "verified: the board reads back as the snapshot holds\n";
    std::vector<std::string> quoted;
    for (const std::string& reg : regs) quoted.push_back(json::quote(reg));
    r.json.raw("registers_written", json::array(quoted));
    quoted.clear();
    for (const std::string& page : pages) quoted.push_back(json::quote(page));
    r.json.raw("pages_written", json::array(quoted)).flag("verified", result.verified);

    for (std::size_t i = 0; i < result.failures.size() && i < Report::kNamedFailures; ++i)
        r.fail(result.failures[i]);
    if (result.failures.size() > Report::kNamedFailures)
        r.fail(std::to_string(result.failures.size()) + " failures in all");
    if (result.refused) r.fail("the bus refused the transaction; nothing more was sent", kNoPort);
}

}  // namespace

bool isSnapshotCommand(Command command) {
    return command == Command::SnapshotSave || command == Command::SnapshotDiff ||
           command == Command::SnapshotApply;
}

bool readSnapshotInputs(const Invocation& inv, std::istream& standardInput, SnapshotInputs& inputs,
                        Report& report) {
    if (inv.command == Command::SnapshotSave) return true;
    inputs.a = readOne(inv.file, standardInput, report);
    if (!inputs.a) return false;
    if (inv.secondFile.empty()) return true;
    inputs.b = readOne(inv.secondFile, standardInput, report);
    return inputs.b.has_value();
}

void diffFiles(const Invocation& inv, const SnapshotInputs& inputs, Report& report) {
    reportComparison(snapshot::compare(*inputs.a, *inputs.b), describe(inv.file, *inputs.a),
                     describe(inv.secondFile, *inputs.b), report);
}

void runSnapshotCommand(Session& s, const Invocation& inv, const SnapshotInputs& inputs,
                        OutputFile* output, std::time_t now, std::ostream& standardOutput,
                        Report& report) {
    switch (inv.command) {
        case Command::SnapshotSave:
            return save(s, *output, now, standardOutput, report);
        case Command::SnapshotDiff: {
            const auto board = takeBoard(s, now, report);
            if (!board) return;
            return reportComparison(
                snapshot::compare(*inputs.a, *board), describe(inv.file, *inputs.a),
                "the board, slave " + text::suffixedByteText(board->slave), report);
        }
        case Command::SnapshotApply:
            return apply(s, inv, *inputs.a, report);
        default:
            break;
    }
}

}  // namespace kestrel::batch
