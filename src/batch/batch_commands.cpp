#include "batch/batch_commands.h"

#include <algorithm>
#include <map>

#include "batch/batch_files.h"
#include "batch/status_watch.h"
#include "chip/kestrel_map.h"
#include "device/block_read.h"
#include "device/bus_probe.h"
#include "device/eeprom.h"
#include "device/register_map.h"
#include "device/text_rules.h"
#include "files/backup_folder.h"
#include "files/image_file.h"

namespace kestrel::batch {

namespace {

using ByteRead = eeprom::Step;
using text::addressText;
using text::byteText;

constexpr unsigned kEepromBase = chip::kEepromFirst;
constexpr unsigned kEepromSize = chip::kEepromSize;
constexpr unsigned kPage = chip::kEepromPageSize;
// Failed bytes named one by one; past this many only their number is given.
void refused(Report& r) {
    r.fail("the bus refused the transaction; nothing more was sent", kNoPort);
}

void refused(Report& r, const std::string& why, bool byBus) {
    if (byBus && why.empty())
        refused(r);
    else
        r.fail(why, byBus ? kNoPort : kUsage);
}

std::string plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// One line per kind of failure among `reads`: "512 reads not acknowledged by
// AEh", "3 reads with a PEC mismatch, first at 8100h".
std::vector<std::string> summarize(const std::vector<ByteRead>& reads, bool registers) {
    struct Group {
        std::size_t count = 0;
        unsigned first = 0;
        bool nameFirst = true;
    };
    std::vector<std::string> order;
    std::map<std::string, Group> groups;
    for (const ByteRead& b : reads) {
        if (b.ok()) continue;
        std::string phrase;
        bool nameFirst = true;
        const std::string& p = b.problem;
        if (p.rfind("No acknowledge from ", 0) == 0) {
            phrase = "not acknowledged by " + p.substr(20);
            nameFirst = false;
        } else if (p.rfind("PEC mismatch", 0) == 0) {
            phrase = "with a PEC mismatch";
        } else if (p == "SDA stuck low") {
            phrase = "with SDA stuck low";
            nameFirst = false;
        } else if (p.find("not acknowledged") != std::string::npos) {
            phrase = "with a byte not acknowledged";
        } else {
            phrase = "failed (" + eeprom::inSentence(p) + ")";
        }
        auto [it, added] = groups.try_emplace(phrase);
        if (added) {
            order.push_back(phrase);
            it->second.first = b.address;
            it->second.nameFirst = nameFirst;
        }
        ++it->second.count;
    }
    std::vector<std::string> lines;
    for (const std::string& phrase : order) {
        const Group& g = groups[phrase];
        std::string line = plural(g.count, "read ", "reads ") + phrase;
        if (g.nameFirst)
            line += ", first at " + (registers ? byteText(g.first) : addressText(g.first)) + "h";
        lines.push_back(line);
    }
    return lines;
}

std::string byteJson(const char* key, const ByteRead& b, bool registers) {
    json::Object o;
    o.text(key, registers ? byteText(b.address) : addressText(b.address));
    o.raw("value", b.ok() ? json::quote(byteText(static_cast<unsigned>(b.value))) : "null");
    o.flag("ack", b.acknowledged);
    o.flag("pec", b.pecOk);
    if (!b.ok()) o.text("error", b.problem);
    return o.str();
}

std::vector<std::string> bytesJson(const std::vector<ByteRead>& bytes, bool registers) {
    std::vector<std::string> items;
    items.reserve(bytes.size());
    for (const ByteRead& b : bytes)
        items.push_back(byteJson(registers ? "register" : "address", b, registers));
    return items;
}

// A register read with its outcome, as an EEPROM byte is kept; nothing
// (with the reason in the report) when it was refused.
std::optional<ByteRead> readRegisterChecked(Session& s, int reg, Report& r) {
    const ByteOutcome o = s.device().ReadRegister(reg);
    if (!r.ran(o)) return std::nullopt;
    return ByteRead{static_cast<unsigned>(reg), o.value, o.acknowledged(), o.pecOk(), o.problem()};
}

void readRegister(Session& s, unsigned reg, Report& r) {
    const ByteOutcome o = s.device().ReadRegister(static_cast<int>(reg));
    if (!r.ran(o)) return;
    // A port that failed gave no value at all (the session names the fault).
    if (o.portFailed()) return;
    // Otherwise the value read is printed all the same; the fault is named.
    if (!o.ok()) r.fail(o.problem());
    r.text = byteText(static_cast<unsigned>(o.value)) + "\n";
    r.json.text("register", byteText(reg))
        .text("value", byteText(static_cast<unsigned>(o.value)))
        .flag("ack", o.acknowledged())
        .flag("pec", o.pecOk());
}

// A write that ran, and whether all of it was acknowledged.
void wrote(const Outcome& o, Report& r) {
    // A port that failed is named by the session.
    if (!o.ok() && !o.portFailed()) r.fail(o.problem());
    r.json.flag("ack", o.acknowledged());
}

void writeRegister(Session& s, unsigned reg, unsigned data, Report& r) {
    const Outcome o = s.device().WriteRegister(static_cast<int>(reg), static_cast<int>(data));
    if (!r.ran(o)) return;
    r.json.text("register", byteText(reg)).text("value", byteText(data));
    wrote(o, r);
}

// "REG VALUE NAME" per line, "XX" for a read that failed.
void readRegisterList(Session& s, const std::vector<std::pair<int, std::string>>& regs, Report& r) {
    std::vector<ByteRead> reads;
    for (const auto& [reg, name] : regs) {
        const auto b = readRegisterChecked(s, reg, r);
        if (!b) return;
        r.text += byteText(static_cast<unsigned>(reg)) + ' ' +
                  (b->ok() ? byteText(static_cast<unsigned>(b->value)) : std::string("XX")) + ' ' +
                  name + '\n';
        reads.push_back(*b);
    }
    for (const std::string& line : summarize(reads, true)) r.fail(line);
    auto items = bytesJson(reads, true);
    for (std::size_t i = 0; i < items.size(); ++i)
        items[i].insert(items[i].size() - 1, ",\"name\":" + json::quote(regs[i].second));
    r.json.raw("registers", json::array(items));
}

void dumpRegisters(Session& s, Report& r) {
    std::vector<std::pair<int, std::string>> regs;
    for (std::size_t i = 0; i < kRegisterMap.size(); ++i)
        regs.emplace_back(static_cast<int>(i), kRegisterMap[i].name);
    for (int i = 0; i < 3; ++i)
        regs.emplace_back(0x2A + i, "Latched Status" + std::to_string(i + 1));
    readRegisterList(s, regs, r);
}

void status(Session& s, Report& r) {
    readRegisterList(s,
                     {{0x00, "Status1"},
                      {0x01, "Status2"},
                      {0x02, "Status3"},
                      {0x2A, "Latched Status1"},
                      {0x2B, "Latched Status2"},
                      {0x2C, "Latched Status3"}},
                     r);
}

void writeSwitch(Session& s, unsigned address, unsigned data, Report& r) {
    const Outcome o = s.device().WriteSwitch(static_cast<int>(address), static_cast<int>(data));
    if (!r.ran(o)) return;
    r.json.text("address", byteText(address)).text("value", byteText(data));
    wrote(o, r);
}

// A grid of the even address bytes, as i2cdetect draws 7-bit addresses:
// "--" where nothing answered, blank where nothing was probed.
void detect(Session& s, Report& r) {
    const auto scan = scanAddresses(s.device());
    if (!scan) return refused(r);
    std::string grid = "    ";
    for (int c = 0; c < 16; c += 2) grid += "  " + text::hexText(static_cast<unsigned>(c));
    grid += '\n';
    for (int row = 0; row < 0x100; row += 0x10) {
        grid += byteText(static_cast<unsigned>(row)) + ':';
        for (int a = row; a < row + 0x10; a += 2) {
            const bool probed = a >= kFirstProbedAddress && a <= kLastProbedAddress;
            const auto in = [a](const std::vector<int>& v) {
                return std::find(v.begin(), v.end(), a) != v.end();
            };
            grid += in(scan->acknowledged) ? " " + byteText(static_cast<unsigned>(a))
                    : in(scan->failed)     ? " XX"
                    : probed               ? " --"
                                           : "   ";
        }
        grid.erase(grid.find_last_not_of(' ') + 1);
        grid += '\n';
    }
    std::vector<std::string> found;
    for (int a : scan->acknowledged)
        found.push_back(json::quote(byteText(static_cast<unsigned>(a))));
    r.json.raw("acknowledged", json::array(found));
    if (scan->sdaStuckLow) {
        r.fail("SDA stuck low: no address can be probed");
        return;
    }
    r.text = grid;
    // An address whose probe did not run is not known to be silent.
    if (!scan->failed.empty())
        r.fail(plural(scan->failed.size(), "probe", "probes") + " did not run (XX), first at " +
               byteText(static_cast<unsigned>(scan->failed.front())) + "h: " + scan->firstProblem);
}

// The 34 lines of the block read window.
void blockReadCommand(Session& s, unsigned base, Report& r) {
    const BlockReadResult result = blockRead(s.device(), base);
    if (!r.ran(result.outcome)) return;
    const BlockReadResult* b = &result;
    if (!b->outcome.ok())
        r.fail(b->outcome.problem(), b->outcome.portFailed() ? kNoPort : kBusFault);
    r.text = "Bytes: " + byteText(static_cast<unsigned>(b->count)) + "h\n";
    std::vector<std::string> data;
    for (int i = 0; i < 32; ++i) {
        const auto d = static_cast<unsigned>(b->data[static_cast<std::size_t>(i)]);
        r.text += text::imageLine(base + static_cast<unsigned>(i), d) + '\n';
        data.push_back(json::quote(byteText(d)));
    }
    r.text += "PEC: " + byteText(static_cast<unsigned>(b->pec)) + "h\n";
    // The count line says what the chip sent; a count other than 20h is a
    // block that cannot be trusted.
    if (b->count != chip::kBlockReadCount)
        r.fail("Block count " + byteText(static_cast<unsigned>(b->count)) + "h at " +
               addressText(base) + "h, expected 20h");
    const bool acknowledged = b->outcome.acknowledged();
    r.json.text("base", addressText(base))
        .text("count", byteText(static_cast<unsigned>(b->count)))
        .raw("data", json::array(data))
        .text("pec_byte", byteText(static_cast<unsigned>(b->pec)))
        .flag("ack", acknowledged)
        .flag("pec", b->outcome.pecOk());
}

// Reads with the block read, names every block that fell back and sums up
// every byte that failed. Nothing when the bus refused.
std::optional<eeprom::Run> readEeprom(Session& s, unsigned base, unsigned count, Report& r) {
    eeprom::Run read = eeprom::read(s.device(), base, count, eeprom::Speed::Blocks);
    if (!r.ran(read)) return std::nullopt;
    const auto failures = summarize(read.steps, false);
    // A block that was read again byte by byte without fault is worth a
    // remark; one whose bytes failed too is summed up with them.
    if (!read.fallbacks.empty() && failures.empty())
        r.notes.push_back(plural(read.fallbacks.size(), "block read", "block reads") +
                          " failed and were read again byte by byte; first: " +
                          eeprom::inSentence(read.fallbacks[0]));
    for (const std::string& line : failures) r.fail(line);
    return read;
}

void eepromRead(Session& s, unsigned base, unsigned count, OutputFile* output,
                std::ostream& standardOutput, Report& r) {
    const auto read = readEeprom(s, base, count, r);
    if (!read) return;
    r.json.raw("bytes", json::array(bytesJson(read->steps, false)));
    if (output != nullptr) {
        if (!read->ok()) {
            r.fail("image file not written: " + read->failedAddresses() + " not read");
            return;
        }
        std::string error;
        if (!output->commit(image_file::imageLines(base, read->values()), standardOutput, error))
            r.fail(error, kUsage);
        return;
    }
    for (const ByteRead& b : read->steps)
        r.text += b.ok() ? text::imageLine(b.address, static_cast<unsigned>(b.value)) + '\n'
                         : addressText(b.address) + "h: XXh\n";
}

// All 512 bytes, sixteen to a row under a column header, "XX" where a read
// failed, as register-dump tools print them.
void eepromDump(Session& s, Report& r) {
    const auto read = readEeprom(s, kEepromBase, kEepromSize, r);
    if (!read) return;
    const std::vector<ByteRead>& bytes = read->steps;
    r.text = "     ";
    for (unsigned c = 0; c < 16; ++c) r.text += ' ' + byteText(c);
    r.text += '\n';
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const ByteRead& b = bytes[i];
        if (i % 16 == 0) r.text += addressText(b.address) + ':';
        r.text += ' ' + (b.ok() ? byteText(static_cast<unsigned>(b.value)) : std::string("XX"));
        if (i % 16 == 15) r.text += '\n';
    }
    r.json.raw("bytes", json::array(bytesJson(bytes, false)));
}

// Erases the pages `count` bytes from `base` touch; false (with the reason)
// when the chip did not acknowledge it all.
bool erasePages(Session& s, unsigned base, unsigned count, Report& r) {
    const eeprom::Run run = eeprom::erasePages(s.device(), base, count);
    if (!r.ran(run)) return false;
    const ByteRead* bad = run.firstFailure();
    if (bad == nullptr) return true;
    r.fail("page erase at " + addressText(bad->address & ~(kPage - 1)) +
               "h failed: " + eeprom::inSentence(bad->problem),
           run.portFailed ? kNoPort : kBusFault);
    return false;
}

// Writes the bytes; false (with how many failed) when not all were acknowledged.
bool writeChecked(Session& s, unsigned base, const std::vector<int>& data, Report& r,
                  std::vector<std::string>& writtenJson) {
    eeprom::Run writes = eeprom::writeBlock(s.device(), base, data);
    // A write cut short by the port went nowhere; the session names the port's fault.
    if (writes.portFailed) writes.steps.pop_back();
    for (const ByteRead& w : writes.steps) {
        json::Object o;
        o.text("address", addressText(w.address))
            .text("value", byteText(static_cast<unsigned>(w.value)));
        o.flag("ack", w.acknowledged);
        writtenJson.push_back(o.str());
    }
    const std::string failure = eeprom::writeFailureText(writes);
    if (!failure.empty()) r.fail("block write failed: " + failure);
    if (writes.steps.size() < data.size() && (writes.refused() || writes.portFailed))
        r.fail("block write stopped after " + std::to_string(writes.steps.size()) + " of " +
                   std::to_string(data.size()) + " bytes",
               kNoPort);
    if (!r.ran(writes)) return false;
    return failure.empty() && writes.steps.size() == data.size();
}

void verifyChecked(Session& s, unsigned base, const std::vector<int>& data, Report& r) {
    const eeprom::Verify v = eeprom::verify(s.device(), base, data, eeprom::Speed::Blocks);
    if (!r.ran(v.run)) return;
    for (std::size_t i = 0; i < v.failures.size() && i < Report::kNamedFailures; ++i)
        r.fail(v.failures[i].text());
    if (v.failures.size() > 1)
        r.fail(std::to_string(v.failures.size()) + " of " + std::to_string(data.size()) +
               " bytes not verified");
    std::vector<std::string> items;
    for (std::size_t i = 0; i < v.run.steps.size(); ++i) {
        const ByteRead& b = v.run.steps[i];
        std::string item = byteJson("address", b, false);
        item.insert(item.size() - 1,
                    ",\"expected\":" + json::quote(byteText(static_cast<unsigned>(data[i]))) +
                        ",\"match\":" + json::boolean(b.ok() && b.value == (data[i] & 0xFF)));
        items.push_back(item);
    }
    r.json.raw("verify", json::array(items)).flag("verified", v.passed());
}

void eepromWrite(Session& s, const Invocation& inv, const std::vector<int>& data, Report& r) {
    const unsigned base = inv.numbers[0];
    r.json.text("base", addressText(base));
    if (inv.erase && !erasePages(s, base, static_cast<unsigned>(data.size()), r)) {
        r.errors.push_back("nothing was written");
        return;
    }
    std::vector<std::string> written;
    writeChecked(s, base, data, r, written);
    r.json.raw("written", json::array(written));
    // Asked for, the verify runs even after a write failed: it tells what the
    // block now holds.
    if (inv.verify && r.code != kNoPort) verifyChecked(s, base, data, r);
}

void eepromWriteByte(Session& s, unsigned address, unsigned data, Report& r) {
    std::vector<std::string> written;
    writeChecked(s, address, {static_cast<int>(data)}, r, written);
    r.json.raw("written", json::array(written));
}

void eepromErase(Session& s, unsigned page, Report& r) {
    const bool erased = erasePages(s, page, 1, r);
    r.json.text("page", addressText(page)).flag("ack", erased);
}

// 00h into each byte of the page, one zero-write (30 ms) each.
void eepromZero(Session& s, unsigned page, Report& r) {
    const eeprom::Run zeros = eeprom::zeroFill(s.device(), page);
    if (!r.ran(zeros)) return;
    r.json.text("page", addressText(page)).flag("ack", zeros.ok());
    const ByteRead* bad = zeros.firstFailure();
    if (bad == nullptr) return;
    r.fail(std::to_string(zeros.failed()) + " of 32 zero-writes not acknowledged; first at " +
               addressText(bad->address) + "h: " + eeprom::inSentence(bad->problem),
           zeros.portFailed ? kNoPort : kBusFault);
}

void eepromBackup(Session& s, OutputFile& output, std::ostream& standardOutput, Report& r) {
    const auto read = readEeprom(s, kEepromBase, kEepromSize, r);
    if (!read) return;
    r.json.raw("bytes", json::array(bytesJson(read->steps, false)));
    if (!read->ok()) {
        r.fail("backup not written: " + read->failedAddresses() + " not read");
        return;
    }
    std::string error;
    if (!output.commit(image_file::imageLines(kEepromBase, read->values()), standardOutput, error))
        r.fail(error, kUsage);
}

// Page by page: erase, then write its 32 bytes. Stops at the first page that fails.
void eepromRestore(Session& s, const Invocation& inv, const std::vector<int>& data, Report& r) {
    std::vector<std::string> written;
    bool ok = true;
    for (unsigned page = 0; page < kEepromSize / kPage && ok; ++page) {
        const unsigned base = kEepromBase + page * kPage;
        const std::vector<int> bytes(data.begin() + page * kPage,
                                     data.begin() + (page + 1) * kPage);
        ok = erasePages(s, base, kPage, r) && writeChecked(s, base, bytes, r, written);
        if (!ok && s.stopRequested())
            r.errors.push_back(
                "restore stopped at page " + addressText(base) + "h; " +
                (page == 0
                     ? std::string()
                     : addressText(kEepromBase) + "h-" + addressText(base - 1) + "h restored, ") +
                addressText(base) + "h-" + addressText(kEepromBase + kEepromSize - 1) +
                "h not written in full");
        else if (!ok && r.code != kNoPort)
            r.errors.push_back("restore stopped at page " + addressText(base) + "h");
    }
    r.json.raw("written", json::array(written));
    if (ok && inv.verify) verifyChecked(s, kEepromBase, data, r);
}

}  // namespace

bool Report::ran(const Outcome& o) {
    if (!o.refused()) return true;
    refused(*this, o.refusal, o.busRefusal);
    return false;
}

bool Report::ran(const eeprom::Run& run) {
    if (run.portFailed && code != kNoPort) code = kNoPort;
    if (!run.refused()) return true;
    refused(*this, run.refusal, run.busRefusal);
    return false;
}

void runCommand(Session& s, const Invocation& inv, const std::vector<int>& input,
                OutputFile* output, std::ostream& standardOutput, Report& report) {
    const auto& n = inv.numbers;
    switch (inv.command) {
        case Command::Read:
            return readRegister(s, n[0], report);
        case Command::Write:
            return writeRegister(s, n[0], n[1], report);
        case Command::Dump:
            return dumpRegisters(s, report);
        case Command::Status:
            if (inv.watch) return statusWatch(s, inv, standardOutput, report);
            return status(s, report);
        case Command::Switch:
            return writeSwitch(s, n[0], n[1], report);
        case Command::Detect:
            return detect(s, report);
        case Command::BlockRead:
            return blockReadCommand(s, n[0], report);
        case Command::EepromRead:
            return eepromRead(s, n[0], n[1], output, standardOutput, report);
        case Command::EepromDump:
            return eepromDump(s, report);
        case Command::EepromWrite:
            return eepromWrite(s, inv, input, report);
        case Command::EepromWriteByte:
            return eepromWriteByte(s, n[0], n[1], report);
        case Command::EepromErase:
            return eepromErase(s, n[0], report);
        case Command::EepromZero:
            return eepromZero(s, n[0], report);
        case Command::EepromBackup:
            return eepromBackup(s, *output, standardOutput, report);
        case Command::EepromRestore:
            return eepromRestore(s, inv, input, report);
        case Command::SnapshotSave:
        case Command::SnapshotDiff:
        case Command::SnapshotApply:  // snapshot_commands.h
        case Command::Decode:         // decode_command.h, without a board
        case Command::Run:            // the script runner
        case Command::ProductionRun:  // production_command.h
        case Command::ProductionReport:
        case Command::Serve:  // serve_command.h
        case Command::None:
            break;
    }
}

bool backUpEeprom(Session& s, unsigned slave, const std::string& directory, std::time_t when,
                  Report& report, std::string& savedTo) {
    std::string error;
    OutputFile file;
    if (directory.empty()) {
        report.fail("no folder for the EEPROM backup (set XDG_STATE_HOME or HOME); nothing changed",
                    kUsage);
        return false;
    }
    if (!backup::makeDirectories(directory, error) ||
        !file.prepare(directory + "/" + backup::fileName(slave, when), error)) {
        report.fail("EEPROM backup: " + error + "; nothing changed", kUsage);
        return false;
    }
    Report read;
    const auto bytes = readEeprom(s, kEepromBase, kEepromSize, read);
    report.notes.insert(report.notes.end(), read.notes.begin(), read.notes.end());
    if (!bytes || !bytes->ok()) {
        for (const std::string& line : read.errors) report.errors.push_back(line);
        report.fail("EEPROM not backed up" +
                        (bytes ? " (" + bytes->failedAddresses() + " not read)" : std::string()) +
                        ", so nothing changed (--no-backup skips the backup)",
                    read.code == kOk ? kBusFault : read.code);
        return false;
    }
    if (!file.commitNew(image_file::imageLines(kEepromBase, bytes->values()), savedTo, error)) {
        report.fail("EEPROM backup: " + error + "; nothing changed", kUsage);
        return false;
    }
    return true;
}

}  // namespace kestrel::batch
