#include "remote/client_session.h"

#include <algorithm>
#include <filesystem>

#include "chip/register_fields.h"
#include "files/snapshot.h"
#include "remote/chip_commands.h"
#include "remote/limits.h"
#include "script/run_script.h"
#include "script/script.h"

namespace kestrel::remote {

namespace {

namespace fs = std::filesystem;

// Event status register bits (IEEE 488.2).
constexpr std::uint8_t kOperationComplete = 0x01;
constexpr std::uint8_t kQueryError = 0x04;
constexpr std::uint8_t kDeviceError = 0x08;
constexpr std::uint8_t kExecutionError = 0x10;
constexpr std::uint8_t kCommandErrorBit = 0x20;
// Status byte bits.
constexpr std::uint8_t kErrorAvailable = 0x04;
constexpr std::uint8_t kEventSummary = 0x20;
constexpr std::uint8_t kMasterSummary = 0x40;

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// Script lines that change the board, refused whole by --read-only.
bool writes(const script::Instruction& in) {
    if (in.op != script::Op::Command || in.words.empty()) return false;
    const std::string& w = in.words[0].text;
    if (w == "write" || w == "switch") return true;
    if (in.words.size() < 2) return false;
    const std::string& sub = in.words[1].text;
    if (w == "eeprom")
        return sub == "write" || sub == "write-byte" || sub == "erase" || sub == "zero" ||
               sub == "restore" || sub == "backup";
    return w == "snapshot" && (sub == "apply" || sub == "save");
}

// A file a script names from the network: only inside the --files folder.
std::string fileProblem(const std::string& folder, const std::string& path) {
    if (folder.empty())
        return "a script from the network names no file unless the server was given --files DIR";
    std::error_code ec;
    const fs::path root = fs::weakly_canonical(folder, ec);
    const fs::path where = fs::weakly_canonical(fs::path(path), ec);
    if (ec) return "cannot be resolved inside " + folder;
    const auto [r, w] = std::mismatch(root.begin(), root.end(), where.begin(), where.end());
    if (r != root.end() || w == where.end()) return "is not inside " + folder + " (--files)";
    return {};
}

}  // namespace

void MonitorLines::transactionEnded(const TransactionRecord& record) {
    std::string line = script::monitorLine(record);
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(std::move(line));
    if (lines_.size() > kMonitorRecords) lines_.pop_front();
}

std::vector<std::string> MonitorLines::last(std::size_t n) const {
    std::lock_guard<std::mutex> lock(mutex_);
    n = std::min(n, lines_.size());
    return {lines_.end() - static_cast<std::ptrdiff_t>(n), lines_.end()};
}

ClientSession::ClientSession(std::uint64_t id, Shared& shared, BusRunner& runner,
                             std::function<void(const std::string&)> write)
    : id_(id), shared_(shared), runner_(runner), write_(std::move(write)) {}

ClientSession::~ClientSession() {
    *alive_ = false;
    if (shared_.lockHolder == id_) shared_.lockHolder = 0;
}

void ClientSession::pushError(Error e) {
    if (e.code <= -100 && e.code > -200)
        esr_ |= kCommandErrorBit;
    else if (e.code <= -200 && e.code > -300)
        esr_ |= kExecutionError;
    else if (e.code <= -400)
        esr_ |= kQueryError;
    else
        esr_ |= kDeviceError;
    if (errors_.size() < kErrorQueueLength) {
        errors_.push_back(std::move(e));
    } else if (errors_.back().code != code::kQueueOverflow) {
        errors_.back() = {code::kQueueOverflow, "more than " + std::to_string(kErrorQueueLength) +
                                                    " errors; the later ones were lost"};
    }
}

std::uint8_t ClientSession::statusByte() const {
    std::uint8_t stb = 0;
    if (!errors_.empty()) stb |= kErrorAvailable;
    if ((esr_ & ese_) != 0) stb |= kEventSummary;
    if ((stb & sre_ & ~kMasterSummary) != 0) stb |= kMasterSummary;
    return stb;
}

std::optional<Error> ClientSession::prepare(Prepared& p) const {
    const Call& c = p.call;
    const ServerSettings& settings = shared_.settings;
    if (settings.readOnly && (c.flags() & kWrites) != 0)
        return Error{code::kProtected,
                     shortForm(*c.row) + ": the server is read-only (--read-only)"};
    if (c.is(CommandId::EepromData) && (c.numbers[0] % chip::kEepromPageSize != 0 ||
                                        c.texts[0].size() % chip::kEepromPageSize != 0))
        return Error{code::kOutOfRange,
                     "EEPROM:DATA erases what it writes, so it writes whole pages: an address that "
                     "is a multiple of 32 and a block of 32, 64, ... 512 bytes"};
    if (c.is(CommandId::FieldQuery) || c.is(CommandId::Field)) {
        const std::string name = lower(c.texts[0]);
        std::string known;
        for (const chip::RegisterFields& rf : chip::registerFields()) {
            for (const chip::Field& f : rf.fields) {
                known += (known.empty() ? "" : ", ") + std::string(f.name);
                if (lower(f.name) != name) continue;
                p.reg = rf.reg;
                p.highBit = f.highBit;
                p.lowBit = f.lowBit;
                if (c.is(CommandId::FieldQuery)) return std::nullopt;
                std::string settingsList;
                for (const chip::FieldSetting& s : f.settings) {
                    settingsList += (settingsList.empty() ? "" : ", ") + std::string(s.name);
                    if (lower(s.name) == lower(c.texts[1])) {
                        p.pattern = std::string(s.pattern);
                        return std::nullopt;
                    }
                }
                return Error{code::kIllegalValue, std::string(f.name) + " has no setting '" +
                                                      remote::quoted(c.texts[1]) +
                                                      "': " + settingsList};
            }
        }
        return Error{code::kIllegalValue,
                     "no field named '" + remote::quoted(c.texts[0]) + "': " + known};
    }
    if (c.is(CommandId::SnapshotApply)) {
        std::string error;
        auto s = snapshot::parseSnapshot(c.texts[0], "the snapshot block", error);
        if (!s) return Error{code::kIllegalValue, error};
        p.snapshot = std::make_shared<const snapshot::Snapshot>(std::move(*s));
    }
    if (c.is(CommandId::ScriptRun)) {
        const std::string folder = settings.filesDir;
        std::vector<script::ParseError> errors;
        auto s = script::parseScript(
            c.texts[0], folder.empty() ? std::string("remote") : folder + "/remote", errors,
            [folder](const std::string& path) { return fileProblem(folder, path); });
        if (!s) return Error{code::kIllegalValue, errors.empty() ? "not a script" : errors[0].text};
        if (settings.readOnly)
            for (const script::Instruction& in : s->program)
                if (writes(in))
                    return Error{code::kProtected, "script line " + std::to_string(in.line) +
                                                       " writes; the server is read-only"};
        p.script = std::make_shared<const script::Script>(std::move(*s));
    }
    return std::nullopt;
}

void ClientSession::receive(std::string_view bytes) {
    std::vector<Framer::Framed> framed;
    framer_.feed(bytes, framed);
    for (Framer::Framed& f : framed) {
        Pending m;
        m.serial = ++serials_;
        if (f.error) {
            m.error = std::move(f.error);
        } else {
            const Resolved r = resolve(parseMessage(f.text));
            if (r.error) {
                m.error = r.error;
            } else {
                bool reset = false;
                for (const Call& c : r.calls) {
                    Prepared p;
                    p.call = c;
                    if (auto e = prepare(p)) {
                        m.error = std::move(e);
                        m.calls.clear();
                        break;
                    }
                    reset = reset || c.is(CommandId::Reset);
                    m.calls.push_back(std::move(p));
                }
                // *RST acts as it comes: the job under way is stopped at its
                // next transaction boundary and what waited is dropped.
                if (reset && !m.error) this->reset();
            }
            lastCommand_ = quoted(f.text, 60);
        }
        if (m.error || !m.calls.empty()) queue_.push_back(std::move(m));
    }
    pump();
}

void ClientSession::reset() {
    if (job_ != 0) runner_.stop(job_);
    // The message whose job runs stays, for its job to come back to; its
    // remaining commands and every later message go.
    if (!queue_.empty() && job_ != 0) {
        queue_.front().calls.resize(queue_.front().next);
        queue_.erase(queue_.begin() + 1, queue_.end());
    } else {
        queue_.clear();
    }
}

void ClientSession::pump() {
    while (job_ == 0 && !queue_.empty()) {
        Pending& m = queue_.front();
        if (m.error) {
            pushError(*m.error);
            queue_.pop_front();
            continue;
        }
        while (m.next < m.calls.size()) {
            const Prepared& p = m.calls[m.next++];
            if ((p.call.flags() & kBus) == 0) {
                immediate(p, m);
                continue;
            }
            if (shared_.lockHolder != 0 && shared_.lockHolder != id_) {
                pushError({code::kProtected, shortForm(*p.call.row) +
                                                 ": another client holds the bus (SYSTem:LOCK)"});
                continue;
            }
            if (p.call.is(CommandId::EepromData) && !eraseAuto_) {
                pushError({code::kSettingsConflict,
                           "EEPROM:DATA erases the pages it writes: give EEPROM:ERASe:AUTO ON "
                           "first"});
                continue;
            }
            if (submit(p)) return;
        }
        if (!m.responses.empty()) {
            std::string line;
            for (const std::string& r : m.responses) line += (line.empty() ? "" : ";") + r;
            write_(line + "\n");
        }
        queue_.pop_front();
    }
}

bool ClientSession::submit(const Prepared& p) {
    BusTask task;
    task.call = p.call;
    task.script = p.script;
    task.snapshot = p.snapshot;
    task.reg = p.reg;
    task.highBit = p.highBit;
    task.lowBit = p.lowBit;
    task.pattern = p.pattern;
    const bool changes =
        (p.call.flags() & kChangesEeprom) != 0 || (p.script != nullptr && p.script->changesEeprom);
    task.backupWanted = changes && !backedUp_ && !shared_.settings.noBackup;
    if (task.backupWanted && shared_.settings.backupFolder)
        task.backupFolder = shared_.settings.backupFolder();
    const std::uint64_t serial = queue_.front().serial;
    const auto alive = alive_;
    job_ = runner_.run([task](JobControl& c) { return runOnBus(c, task); },
                       [this, serial, alive](BusReply& reply) {
                           if (*alive) finished(serial, reply);
                       });
    if (job_ != 0) return true;
    pushError({code::kRefused, "the program is ending; nothing was sent"});
    return false;
}

void ClientSession::finished(std::uint64_t serial, BusReply& reply) {
    job_ = 0;
    if (reply.backedUp) backedUp_ = true;
    if (reply.steps) steps_ = std::move(*reply.steps);
    for (Error& e : reply.errors) pushError(std::move(e));
    if (!queue_.empty() && queue_.front().serial == serial && reply.response)
        queue_.front().responses.push_back(std::move(*reply.response));
    pump();
}

void ClientSession::immediate(const Prepared& p, Pending& m) {
    const Call& c = p.call;
    auto answer = [&m](std::string s) { m.responses.push_back(std::move(s)); };
    switch (c.row->id) {
        case CommandId::Reset:
            eraseAuto_ = false;
            break;
        case CommandId::Clear:
            errors_.clear();
            esr_ = 0;
            break;
        case CommandId::EventStatus:
            answer(std::to_string(esr_));
            esr_ = 0;
            break;
        case CommandId::EventEnable:
            ese_ = static_cast<std::uint8_t>(c.numbers[0]);
            break;
        case CommandId::EventEnableQuery:
            answer(std::to_string(ese_));
            break;
        case CommandId::RequestEnable:
            sre_ = static_cast<std::uint8_t>(c.numbers[0]);
            break;
        case CommandId::RequestEnableQuery:
            answer(std::to_string(sre_));
            break;
        case CommandId::StatusByte:
            answer(std::to_string(statusByte()));
            break;
        case CommandId::OperationComplete:
            esr_ |= kOperationComplete;
            break;
        case CommandId::OperationCompleteQuery:
            answer("1");
            break;
        case CommandId::Wait:
            break;
        case CommandId::ErrorNext:
            if (errors_.empty()) {
                answer(errorText({0, {}}));
            } else {
                answer(errorText(errors_.front()));
                errors_.pop_front();
            }
            break;
        case CommandId::ErrorCount:
            answer(std::to_string(errors_.size()));
            break;
        case CommandId::Version:
            answer("1999.0");
            break;
        case CommandId::LockRequest:
            if (shared_.lockHolder == 0) shared_.lockHolder = id_;
            answer(shared_.lockHolder == id_ ? "1" : "0");
            break;
        case CommandId::LockRelease:
            if (shared_.lockHolder == id_) shared_.lockHolder = 0;
            break;
        case CommandId::EraseAuto:
            eraseAuto_ = c.numbers[0] != 0;
            break;
        case CommandId::EraseAutoQuery:
            answer(eraseAuto_ ? "1" : "0");
            break;
        case CommandId::ScriptResult: {
            std::string text;
            for (const std::string& line : steps_) text += line + "\n";
            answer(definiteBlock(text));
            break;
        }
        case CommandId::BusMonitor: {
            std::string list;
            for (const std::string& line :
                 shared_.monitor.last(static_cast<std::size_t>(c.numbers[0]))) {
                std::string q = "\"";
                for (char ch : line) q += ch == '"' ? std::string("\"\"") : std::string(1, ch);
                list += (list.empty() ? "" : ",") + q + "\"";
            }
            answer(list.empty() ? "\"\"" : list);
            break;
        }
        default:
            break;
    }
}

}  // namespace kestrel::remote
