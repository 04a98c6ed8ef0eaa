#include "remote/chip_commands.h"

#include <chrono>
#include <ctime>
#include <sstream>

#include "batch/batch_commands.h"
#include "batch/batch_session.h"
#include "bus/port_check.h"
#include "chip/kestrel_map.h"
#include "chip/register_fields.h"
#include "chip/status_registers.h"
#include "connection/connection.h"
#include "device/eeprom.h"
#include "device/text_rules.h"
#include "files/snapshot.h"
#include "files/snapshot_board.h"
#include "script/runner.h"
#include "script/script.h"

#ifndef KESTREL_VERSION
#define KESTREL_VERSION "unknown"
#endif

namespace kestrel::remote {

namespace {

// The bus's words to an error code.
int codeOf(const std::string& problem) {
    if (problem.find("PEC mismatch") != std::string::npos) return code::kPecMismatch;
    return code::kNoAcknowledge;
}

Error runError(const eeprom::Run& run, const std::string& where) {
    if (run.refused()) return {code::kRefused, run.refusal + where};
    const eeprom::Step* bad = run.firstFailure();
    const std::string problem = bad != nullptr ? bad->problem : std::string("not done");
    if (run.portFailed) return {code::kPortError, problem + where};
    const std::string at =
        bad != nullptr ? " at " + text::suffixedAddressText(bad->address) : std::string();
    return {codeOf(problem), problem + at + where};
}

std::string stringParameter(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        out.push_back(c);
        if (c == '"') out.push_back('"');
    }
    return out + "\"";
}

// The text of a field without separators an answer could be cut at.
std::string plain(std::string text) {
    for (char& c : text)
        if (c == ',' || c == ';' || c == '"' || c == '\n' || c == '\r') c = ' ';
    return text;
}

std::optional<int> readRegister(Device& d, int reg, const std::string& where, BusReply& r) {
    const ByteOutcome o = d.ReadRegister(reg);
    if (!o.ok()) {
        r.errors.push_back(outcomeError(o, where));
        return std::nullopt;
    }
    return o.value & 0xFF;
}

bool wrote(const Outcome& o, const std::string& where, BusReply& r) {
    if (o.ok()) return true;
    r.errors.push_back(outcomeError(o, where));
    return false;
}

// The slave the connection talks to now (the windows' choice, or --slave).
unsigned slaveOf(JobControl& c) {
    return static_cast<unsigned>(c.connection().globals().SlaveAddr) & 0xFEu;
}

// The EEPROM saved once per client, before its first change.
bool backUp(JobControl& c, const BusTask& t, BusReply& r) {
    if (!t.backupWanted) return true;
    batch::Options options;
    options.slave = slaveOf(c);
    std::ostringstream err;
    batch::Session session(c.connection(), options, err);
    session.setJob(&c);
    batch::Report report;
    std::string saved;
    if (!batch::backUpEeprom(session, options.slave, t.backupFolder, std::time(nullptr), report,
                             saved)) {
        r.errors.push_back({code::kBackupFailed, report.errors.empty()
                                                     ? std::string("nothing changed")
                                                     : report.errors.back()});
        return false;
    }
    r.backedUp = true;
    return true;
}

void identify(JobControl& c, BusReply& r) {
    Device& d = c.device();
    const auto id = readRegister(d, chip::kIdRegister, " (*IDN? chip ID)", r);
    const auto rev =
        id ? readRegister(d, chip::kRevisionRegister, " (*IDN? revision)", r) : std::nullopt;
    const std::string chipText = id && rev ? "ID " + text::byteText(static_cast<unsigned>(*id)) +
                                                 "h rev " +
                                                 text::byteText(static_cast<unsigned>(*rev)) + "h"
                                           : std::string("chip not read");
    // An instrument answers *IDN? whatever: the chip's part says it was not read.
    r.response = identity(c.connection().description(), chipText);
}

void selfTest(JobControl& c, BusReply& r) {
    r.response = "1";
    Bus* bus = c.connection().lineBus();
    if (bus == nullptr) {
        r.errors.push_back(
            {code::kRefused,
             "the port test needs the parallel port's lines; an I2C adapter has none"});
        return;
    }
    if (const std::string why = c.device().refusal(); !why.empty()) {
        r.errors.push_back({code::kRefused, why + " (*TST?)"});
        return;
    }
    const port_check::PortTest test = port_check::portTest(*bus);
    if (test.result == port_check::SdaResult::Follows) {
        r.response = "0";
        return;
    }
    r.errors.push_back({code::kPortError, "port test: " + test.text});
}

void registerAll(JobControl& c, BusReply& r) {
    std::string values;
    for (int reg = 0; reg < chip::kRamRegisterCount; ++reg) {
        const auto v = readRegister(
            c.device(), reg,
            " (REG:ALL? register " + text::byteText(static_cast<unsigned>(reg)) + "h)", r);
        if (!v) return;
        if (reg != 0) values += ',';
        values += std::to_string(*v);
    }
    r.response = values;
}

// The setting whose bits the field holds, or the bits themselves ("011b").
std::string settingOf(const BusTask& t, int value) {
    std::string bits;
    for (int b = t.highBit; b >= t.lowBit; --b) bits.push_back((value >> b) & 1 ? '1' : '0');
    for (const chip::RegisterFields& rf : chip::registerFields()) {
        if (rf.reg != t.reg) continue;
        for (const chip::Field& f : rf.fields) {
            if (f.highBit != t.highBit || f.lowBit != t.lowBit) continue;
            for (const chip::FieldSetting& s : f.settings)
                if (s.pattern == bits) return std::string(s.name);
        }
    }
    return bits + "b";
}

void fieldQuery(JobControl& c, const BusTask& t, BusReply& r) {
    const auto v = readRegister(c.device(), t.reg, " (REG:FIELD?)", r);
    if (v) r.response = stringParameter(settingOf(t, *v));
}

void field(JobControl& c, const BusTask& t, BusReply& r) {
    Device& d = c.device();
    const auto v = readRegister(d, t.reg, " (REG:FIELD, reading the register)", r);
    if (!v) return;
    int bits = 0;
    for (char ch : t.pattern) bits = bits * 2 + (ch == '1' ? 1 : 0);
    const int width = t.highBit - t.lowBit + 1;
    const int mask = ((1 << width) - 1) << t.lowBit;
    const int value = (*v & ~mask) | (bits << t.lowBit);
    if (!wrote(d.WriteRegister(t.reg, value), " (REG:FIELD)", r)) return;
    const auto back = readRegister(d, t.reg, " (REG:FIELD, reading back)", r);
    if (back && (*back & mask) != (value & mask))
        r.errors.push_back({code::kVerifyFailed,
                            "register " + text::byteText(static_cast<unsigned>(t.reg)) +
                                "h reads back " + text::byteText(static_cast<unsigned>(*back)) +
                                "h, not " + settingOf(t, value)});
}

void chipStatus(JobControl& c, BusReply& r) {
    std::string values, names;
    for (int k = 0; k < 3; ++k) {
        const int reg = status::kRegisters[static_cast<std::size_t>(k)];
        const auto v = readRegister(
            c.device(), reg,
            " (STAT:CHIP? register " + text::byteText(static_cast<unsigned>(reg)) + "h)", r);
        if (!v) return;
        std::string set;
        for (int bit = 7; bit >= 0; --bit)
            if ((*v >> bit) & 1) {
                if (!set.empty()) set += ' ';
                set += status::bitName(k, bit);
            }
        if (k != 0) values += ',';
        values += std::to_string(*v);
        names += ',';
        names += stringParameter(set);
    }
    r.response = values + names;
}

void eepromQuery(JobControl& c, const Call& call, BusReply& r) {
    const auto base = static_cast<unsigned>(call.numbers[0]);
    const auto count = static_cast<unsigned>(call.numbers[1]);
    const eeprom::Run read = eeprom::read(c.device(), base, count, eeprom::Speed::Blocks);
    if (!read.ok()) {
        r.errors.push_back(runError(read, " (EEPROM:DATA?)"));
        return;
    }
    std::string bytes;
    for (int v : read.values()) bytes.push_back(static_cast<char>(v & 0xFF));
    r.response = definiteBlock(bytes);
}

void eepromWrite(JobControl& c, const BusTask& t, BusReply& r) {
    const auto base = static_cast<unsigned>(t.call.numbers[0]);
    const std::string& bytes = t.call.texts[0];
    if (!backUp(c, t, r)) return;
    const eeprom::Run erased =
        eeprom::erasePages(c.device(), base, static_cast<unsigned>(bytes.size()));
    if (!erased.ok()) {
        r.errors.push_back(runError(erased, " (EEPROM:DATA erase; nothing was written)"));
        return;
    }
    std::vector<int> data(bytes.begin(), bytes.end());
    for (int& v : data) v &= 0xFF;
    const eeprom::Run writes = eeprom::writeBlock(c.device(), base, data);
    if (!writes.ok()) {
        const std::string failed = eeprom::writeFailureText(writes);
        r.errors.push_back(writes.refused() || writes.portFailed || failed.empty()
                               ? runError(writes, " (EEPROM:DATA)")
                               : Error{code::kNoAcknowledge, "block write failed: " + failed});
    }
}

void eepromErase(JobControl& c, const BusTask& t, BusReply& r) {
    if (!backUp(c, t, r)) return;
    const eeprom::Run erased = eeprom::erasePages(
        c.device(), static_cast<unsigned>(t.call.numbers[0]), chip::kEepromPageSize);
    if (!erased.ok()) r.errors.push_back(runError(erased, " (EEPROM:ERASe)"));
}

void eepromVerify(JobControl& c, const Call& call, BusReply& r) {
    const std::string& bytes = call.texts[0];
    std::vector<int> expected(bytes.begin(), bytes.end());
    for (int& v : expected) v &= 0xFF;
    const eeprom::Verify v = eeprom::verify(c.device(), static_cast<unsigned>(call.numbers[0]),
                                            expected, eeprom::Speed::Blocks);
    if (v.run.refused() || v.run.portFailed) {
        r.errors.push_back(runError(v.run, " (EEPROM:VERify?)"));
        return;
    }
    r.response = v.passed() ? "1" : "0";
    if (!v.failures.empty())
        r.errors.push_back({code::kVerifyFailed,
                            v.failures.front().text() +
                                (v.failures.size() > 1
                                     ? " (" + std::to_string(v.failures.size()) + " of " +
                                           std::to_string(expected.size()) + " bytes not verified)"
                                     : std::string())});
}

void snapshotData(JobControl& c, BusReply& r) {
    snapshot::Taken taken = snapshot::takeSnapshot(c.device(), std::time(nullptr));
    if (!taken.snapshot) {
        r.errors.push_back({taken.refused ? code::kRefused : codeOf(taken.error), taken.error});
        return;
    }
    std::string error;
    const auto text = snapshot::snapshotText(*taken.snapshot, error);
    if (!text) {
        r.errors.push_back({code::kNoAcknowledge, error});
        return;
    }
    r.response = definiteBlock(*text);
}

void snapshotApply(JobControl& c, const BusTask& t, BusReply& r) {
    if (!backUp(c, t, r)) return;
    const snapshot::ApplyResult a = snapshot::applySnapshot(c.device(), *t.snapshot, {});
    if (a.refused) {
        r.errors.push_back({code::kRefused, c.device().refusal() + " (SNAPshot:APPLy)"});
        return;
    }
    constexpr std::size_t kNamed = 8;
    for (std::size_t k = 0; k < a.failures.size() && k < kNamed; ++k) {
        const std::string& f = a.failures[k];
        r.errors.push_back(
            {f.find("differ") != std::string::npos || f.find("reads back") != std::string::npos
                 ? code::kVerifyFailed
                 : codeOf(f),
             f});
    }
    if (a.failures.size() > kNamed)
        r.errors.push_back(
            {code::kVerifyFailed, std::to_string(a.failures.size() - kNamed) + " more failures"});
}

std::string stepLine(const script::Script& s, const script::StepResult& step) {
    std::string output = step.output;
    while (!output.empty() && output.back() == '\n') output.pop_back();
    for (char& ch : output)
        if (ch == '\n') ch = '|';
    const std::string text = step.text.empty() ? s.program[step.instruction].text() : step.text;
    return std::to_string(step.line) + "," + script::verdictName(step.verdict) + "," +
           stringParameter(text) + "," + stringParameter(step.message) + "," +
           stringParameter(output);
}

void scriptRun(JobControl& c, const BusTask& t, BusReply& r) {
    batch::Options options;
    options.slave = slaveOf(c);
    std::ostringstream err;
    batch::Session session(c.connection(), options, err);
    session.setJob(&c);
    script::RunSettings settings;
    settings.slave = options.slave;
    settings.backup = t.backupWanted;
    const std::string folder = t.backupFolder;
    settings.backupFolder = [folder] { return folder; };
    script::Hooks hooks;
    hooks.stopRequested = [&c] { return c.stopRequested(); };
    hooks.sleep = [&c](unsigned ms) { return c.sleep(ms); };
    const auto start = std::chrono::steady_clock::now();
    hooks.nowMs = [start] {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
    };
    script::Runner runner(*t.script, session, settings, hooks);
    runner.runAll();
    std::vector<std::string> steps;
    for (const script::StepResult& step : runner.results())
        steps.push_back(stepLine(*t.script, step));
    r.steps = std::move(steps);
    r.backedUp = !runner.notes().empty();
    const int exit = runner.exitCode();
    if (exit == 0) return;
    std::string first;
    for (const script::StepResult& step : runner.results())
        if (step.verdict != script::Verdict::Pass) {
            first = "line " + std::to_string(step.line) + ": " + step.message;
            break;
        }
    if (first.empty()) first = runner.endedEarly();
    r.errors.push_back({code::kScriptFailed, "exit " + std::to_string(exit) + ", " +
                                                 std::to_string(runner.results().size()) +
                                                 " steps; " + first});
}

}  // namespace

Error outcomeError(const Outcome& o, const std::string& where) {
    if (o.refused()) return {code::kRefused, o.refusal + where};
    const std::string problem = o.problem();
    if (o.portFailed()) return {code::kPortError, problem + where};
    return {codeOf(problem), problem + where};
}

std::string identity(const std::string& port, const std::string& chip) {
    return "KESTREL-EVAL," + plain(port) + "," + plain(chip) + "," KESTREL_VERSION;
}

BusReply runOnBus(JobControl& c, const BusTask& t) {
    BusReply r;
    const Call& call = t.call;
    Device& d = c.device();
    switch (call.row->id) {
        case CommandId::Idn:
            identify(c, r);
            break;
        case CommandId::SelfTest:
            selfTest(c, r);
            break;
        case CommandId::RegisterQuery: {
            const int reg = static_cast<int>(call.numbers[0]);
            const auto v = readRegister(
                d, reg, " (REG? " + text::byteText(static_cast<unsigned>(reg)) + "h)", r);
            if (v) r.response = std::to_string(*v);
            break;
        }
        case CommandId::Register: {
            const int reg = static_cast<int>(call.numbers[0]);
            wrote(d.WriteRegister(reg, static_cast<int>(call.numbers[1])),
                  " (REG " + text::byteText(static_cast<unsigned>(reg)) + "h)", r);
            break;
        }
        case CommandId::RegisterAll:
            registerAll(c, r);
            break;
        case CommandId::FieldQuery:
            fieldQuery(c, t, r);
            break;
        case CommandId::Field:
            field(c, t, r);
            break;
        case CommandId::ChipStatus:
            chipStatus(c, r);
            break;
        case CommandId::EepromDataQuery:
            eepromQuery(c, call, r);
            break;
        case CommandId::EepromData:
            eepromWrite(c, t, r);
            break;
        case CommandId::EepromErase:
            eepromErase(c, t, r);
            break;
        case CommandId::EepromVerify:
            eepromVerify(c, call, r);
            break;
        case CommandId::Switch: {
            const int address = static_cast<int>(call.numbers[0]);
            wrote(d.WriteSwitch(address, static_cast<int>(call.numbers[1])),
                  " (SWIT " + text::byteText(static_cast<unsigned>(address)) + "h)", r);
            break;
        }
        case CommandId::SnapshotData:
            snapshotData(c, r);
            break;
        case CommandId::SnapshotApply:
            snapshotApply(c, t, r);
            break;
        case CommandId::ScriptRun:
            scriptRun(c, t, r);
            break;
        default:
            break;
    }
    return r;
}

}  // namespace kestrel::remote
