#include "production/station.h"

#include <algorithm>
#include <ctime>

#include "chip/kestrel_map.h"
#include "chip/register_bits.h"
#include "device/eeprom.h"
#include "device/text_rules.h"
#include "files/backup_folder.h"
#include "files/eeprom_backup.h"
#include "files/snapshot_board.h"
#include "production/serial.h"

namespace kestrel::production {

namespace {

constexpr unsigned kPage = chip::kEepromPageSize;
// The registers the station reads: every one that takes a write, the ID
// and the revision; not the status.
constexpr int kFirstRegister = 0x03;

// "10h 16h".
std::string registerList(const std::vector<int>& registers) {
    std::string s;
    for (int reg : registers) s += (s.empty() ? "" : " ") + text::suffixedByteText(reg);
    return s;
}

// "8020h 8100h".
std::string pageList(const std::vector<unsigned>& pages) {
    std::string s;
    for (unsigned page : pages) s += (s.empty() ? "" : " ") + text::suffixedAddressText(page);
    return s;
}

// The registers a write changes: those that take writes and differ in a bit
// the chip stores.
std::vector<int> differingRegisters(const snapshot::Snapshot& target,
                                    const snapshot::Snapshot& board) {
    std::vector<int> registers;
    for (int reg = kFirstRegister; reg < snapshot::kRegisterCount; ++reg) {
        const std::size_t k = static_cast<std::size_t>(reg);
        if (((target.registers[k].value ^ board.registers[k].value) & chip::writableBits(reg)) != 0)
            registers.push_back(reg);
    }
    return registers;
}

// The page bases where the two images differ.
std::vector<unsigned> differingPages(const snapshot::EepromImage& a,
                                     const snapshot::EepromImage& b) {
    std::vector<unsigned> pages;
    for (unsigned offset = 0; offset < chip::kEepromSize; offset += kPage)
        if (!std::equal(a.begin() + offset, a.begin() + offset + kPage, b.begin() + offset))
            pages.push_back(chip::kEepromFirst + offset);
    return pages;
}

// Why the board is not the chip the golden image was taken from; empty
// when it is.
std::string identityProblem(const snapshot::Snapshot& board, const snapshot::Snapshot& golden,
                            bool allowRevision) {
    struct Check {
        int reg;
        const char* name;
    };
    for (const Check c :
         {Check{chip::kIdRegister, "chip ID"}, Check{chip::kRevisionRegister, "revision"}}) {
        if (c.reg == chip::kRevisionRegister && allowRevision) continue;
        const int on = board.registers[static_cast<std::size_t>(c.reg)].value;
        const int want = golden.registers[static_cast<std::size_t>(c.reg)].value;
        if (on != want)
            return std::string(c.name) + " (register " + text::suffixedByteText(c.reg) +
                   ") reads " + text::suffixedByteText(static_cast<unsigned>(on)) +
                   ", the golden image holds " +
                   text::suffixedByteText(static_cast<unsigned>(want)) +
                   (c.reg == chip::kRevisionRegister ? " (not allowed)" : "");
    }
    return {};
}

struct ReadBack {
    bool refused = false;
    std::vector<std::string> failures;
};

// Each register and each page that was written, read back (the pages at
// block speed) and compared with the target.
ReadBack readBack(Device& device, const snapshot::Snapshot& target, const std::vector<int>& regs,
                  const std::vector<unsigned>& pages) {
    ReadBack r;
    for (int reg : regs) {
        const ByteOutcome o = device.ReadRegister(reg);
        if (o.refused()) {
            r.refused = true;
            return r;
        }
        std::string problem = o.problem();
        if (problem.empty() && !o.pecOk()) problem = "No PEC read";
        const int want = target.registers[static_cast<std::size_t>(reg)].value & 0xFF;
        if (!problem.empty())
            r.failures.push_back("register " + text::suffixedByteText(reg) +
                                 " not read back: " + eeprom::inSentence(problem));
        else if (((o.value ^ want) & chip::writableBits(reg)) != 0)
            r.failures.push_back("register " + text::suffixedByteText(reg) + " reads back " +
                                 text::byteText(static_cast<unsigned>(o.value & 0xFF)) +
                                 "h, the snapshot holds " +
                                 text::byteText(static_cast<unsigned>(want)) + "h");
    }
    for (unsigned page : pages) {
        const eeprom::Run run = eeprom::read(device, page, kPage, eeprom::Speed::Blocks);
        if (run.refused()) {
            r.refused = true;
            return r;
        }
        for (const eeprom::Step& b : run.steps) {
            const std::uint8_t want = target.eeprom[b.address - chip::kEepromFirst];
            if (!b.ok())
                r.failures.push_back("EEPROM byte " + text::suffixedAddressText(b.address) +
                                     " not read back: " + eeprom::inSentence(b.problem));
            else if (b.value != want)
                r.failures.push_back("EEPROM byte " + text::suffixedAddressText(b.address) +
                                     " reads back " +
                                     text::byteText(static_cast<unsigned>(b.value)) +
                                     "h, the snapshot holds " + text::byteText(want) + "h");
        }
    }
    return r;
}

}  // namespace

std::string utcText(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(when.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(ms % 1000));
    return text;
}

const char* verdictText(Verdict v) {
    return v == Verdict::Pass ? "PASS" : "FAIL";
}

BoardRead readBoard(Device& device) {
    BoardRead r;
    snapshot::Snapshot& s = r.board;
    s.slave = static_cast<unsigned>(device.globals().SlaveAddr & 0xFE);
    auto refused = [&] {
        r.refused = true;
        r.error = device.refusal();
        if (r.error.empty()) r.error = "The bus refused the transaction.";
        return r;
    };
    if (!device.available()) return refused();
    for (int reg = kFirstRegister; reg < snapshot::kRegisterCount; ++reg) {
        const ByteOutcome o = device.ReadRegister(reg);
        if (o.refused()) return refused();
        std::string problem = o.problem();
        if (problem.empty() && !o.pecOk()) problem = "No PEC read";
        if (!problem.empty()) {
            r.error = "register " + text::suffixedByteText(reg) +
                      " not read: " + eeprom::inSentence(problem);
            return r;
        }
        s.registers[static_cast<std::size_t>(reg)] = {o.value, true};
    }
    eeprom::Run run;
    const auto image = eeprom::readAll(device, run);
    if (run.refused()) return refused();
    if (!image) {
        r.error = "EEPROM " + run.failedAddresses() +
                  " not read: " + eeprom::inSentence(run.firstFailure()->problem);
        return r;
    }
    s.eeprom = *image;
    return r;
}

BoardResult programBoard(Device& device, const Golden& golden, const std::string& serial,
                         const StationSettings& settings, Records& records,
                         const StationClock& clock) {
    BoardResult r;
    const auto wallStart = clock.wall();
    const auto steadyStart = clock.steady();
    Attempt& a = r.attempt;
    a.serial = serial;
    a.started = utcText(wallStart);
    a.station = settings.station;
    a.operatorName = settings.operatorName;
    a.goldenName = golden.name;
    a.goldenSha256 = golden.sha256;
    std::optional<long long> row;   // the unfinished row, once stored
    std::vector<unsigned> counted;  // pages whose count was raised before their erase
    auto elapsedMs = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(clock.steady() - steadyStart)
            .count();
    };

    auto finish = [&](Verdict verdict, std::string cause) -> BoardResult& {
        r.verdict = verdict;
        r.cause = std::move(cause);
        a.result = verdictText(verdict);
        a.firstFailure = r.cause;
        a.registersWritten = registerList(r.registersWritten);
        a.pagesWritten = pageList(r.pagesWritten);
        a.durationMs = elapsedMs();
        a.finished = true;
        std::string error;
        r.recorded = row ? records.complete(*row, a, counted, error) : records.record(a, error);
        if (!r.recorded) {
            r.verdict = Verdict::Error;
            r.cause = (r.cause.empty() ? "" : r.cause + "; ") +
                      (row ? "the board was written, but its record stays unfinished: "
                           : "the record was not stored: ") +
                      error;
        }
        return r;
    };

    if (const std::string problem = serialProblem(serial); !problem.empty())
        return finish(Verdict::Refused, problem);
    if (settings.serialAt) {
        if (const std::string p = serialPlaceProblem(serial, *settings.serialAt); !p.empty())
            return finish(Verdict::Refused, p);
    }

    // 1. The board as it is, read once: what is written is what differs
    // from this, and when nothing differs this read is the verification.
    const BoardRead read = readBoard(device);
    if (!read.error.empty())
        return finish(Verdict::Fail, read.refused ? read.error + " The board is unfinished."
                                                  : read.error + "; nothing was written");
    const snapshot::Snapshot& board = read.board;

    // 2. Its EEPROM, kept before anything changes.
    std::string error;
    if (!backup::saveNew(settings.backupFolder, fileNameOf(serial) + ".dat",
                         eeprom::imageText(board.eeprom), r.backupPath, error))
        return finish(Verdict::Error, "EEPROM not backed up, nothing was written: " + error);

    // 3. The chip the golden image was taken from, and the board the serial
    // belongs to.
    if (const std::string p = identityProblem(board, golden.snapshot, settings.allowRevision);
        !p.empty())
        return finish(Verdict::Refused, p + "; nothing was written");
    snapshot::Snapshot target = golden.snapshot;
    if (settings.serialAt) {
        const SerialArea carried = serialIn(board.eeprom, *settings.serialAt);
        if (carried.kind == SerialArea::Serial && carried.serial != serial)
            return finish(Verdict::Fail, "the board carries serial " + carried.serial +
                                             ", scanned " + serial + "; nothing was written");
        if (carried.kind == SerialArea::Unreadable)
            r.notes.push_back("the serial area at " + text::suffixedAddressText(*settings.serialAt) +
                              " held no readable serial (" + carried.bytes + "); written over");
        placeSerial(target.eeprom, serial, *settings.serialAt);
    }

    const std::vector<int> registers = differingRegisters(target, board);
    const std::vector<unsigned> pages = differingPages(target.eeprom, board.eeprom);
    if (registers.empty() && pages.empty() && !settings.verifyAll)
        return finish(Verdict::Pass, {});

    if (!registers.empty() || !pages.empty()) {
        // 4. The erase count of every page that will be erased, checked.
        if (!pages.empty()) {
            const auto counts = records.eraseCounts(serial, error);
            if (!counts) return finish(Verdict::Error, "erase counts not read: " + error);
            for (unsigned page : pages) {
                const auto found = counts->find(page);
                const long long done = found == counts->end() ? 0 : found->second;
                if (done + 1 > settings.eraseLimit)
                    return finish(Verdict::Refused,
                                  "page " + text::suffixedAddressText(page) + " of " + serial +
                                      " has been erased " + std::to_string(done) +
                                      " times, the limit is " +
                                      std::to_string(settings.eraseLimit) +
                                      "; nothing was written");
            }
        }
        // 5. The record first: the row, unfinished, and the erase counts
        // raised, in one transaction before the first write. A database
        // that cannot take it leaves the board as it was.
        Attempt unfinished = a;
        unfinished.result = verdictText(Verdict::Fail);
        unfinished.durationMs = elapsedMs();
        unfinished.firstFailure = "unfinished: the station stopped before the end of the board (a "
                                  "kill, a crash or a power cut) while writing" +
                                  (registers.empty() ? "" : " registers " + registerList(registers)) +
                                  (registers.empty() || pages.empty() ? "" : " and") +
                                  (pages.empty() ? "" : " pages " + pageList(pages));
        row = records.begin(unfinished, pages, error);
        if (!row)
            return finish(Verdict::Error,
                          "the record could not be stored, so nothing was written: " + error);
        counted = pages;
    }

    // 6. Only what differs; then what was written read back (or, asked
    // for, everything).
    snapshot::ApplyOptions options;
    options.present = &board;
    options.verify = settings.verifyAll;
    const snapshot::ApplyResult applied = snapshot::applySnapshot(device, target, options);
    r.registersWritten = applied.registersWritten;
    r.pagesWritten = applied.pagesWritten;
    for (unsigned page : applied.pagesErased)
        counted.erase(std::remove(counted.begin(), counted.end(), page), counted.end());
    auto stopped = [&] {
        // A stop (Stop, Quit, a signal) or a port that failed: say which.
        const std::string why = device.refusal();
        return finish(Verdict::Fail,
                      (why.empty() ? std::string("The bus refused the transaction.") : why) +
                          " The board is unfinished.");
    };
    if (applied.refused) return stopped();
    if (!applied.failures.empty()) return finish(Verdict::Fail, applied.failures.front());
    if (!settings.verifyAll) {
        const ReadBack back = readBack(device, target, r.registersWritten, r.pagesWritten);
        if (back.refused) return stopped();
        if (!back.failures.empty()) return finish(Verdict::Fail, back.failures.front());
    }
    return finish(Verdict::Pass, {});
}

}  // namespace kestrel::production
