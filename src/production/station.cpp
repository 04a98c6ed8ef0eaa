#include "production/station.h"

#include <algorithm>
#include <ctime>

#include "chip/kestrel_map.h"
#include "device/eeprom.h"
#include "device/text_rules.h"
#include "files/backup_folder.h"
#include "files/eeprom_backup.h"
#include "files/snapshot_board.h"
#include "production/serial.h"

namespace kestrel::production {

namespace {

constexpr unsigned kPage = chip::kEepromPageSize;

std::string join(const std::vector<std::string>& words) {
    std::string s;
    for (const std::string& w : words) s += (s.empty() ? "" : " ") + w;
    return s;
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
    std::vector<unsigned> counted;  // pages whose count was raised before their erase

    auto finish = [&](Verdict verdict, std::string cause) -> BoardResult& {
        r.verdict = verdict;
        r.cause = std::move(cause);
        a.result = verdictText(verdict);
        a.firstFailure = r.cause;
        std::vector<std::string> regs, pages;
        for (int reg : r.registersWritten) regs.push_back(text::suffixedByteText(reg));
        for (unsigned page : r.pagesWritten) pages.push_back(text::suffixedAddressText(page));
        a.registersWritten = join(regs);
        a.pagesWritten = join(pages);
        a.durationMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(clock.steady() - steadyStart)
                .count();
        std::string error;
        r.recorded = records.record(a, counted, error);
        if (!r.recorded) {
            r.verdict = Verdict::Error;
            r.cause =
                (r.cause.empty() ? "" : r.cause + "; ") + "the record was not stored: " + error;
        }
        return r;
    };

    if (const std::string problem = serialProblem(serial); !problem.empty())
        return finish(Verdict::Refused, problem);
    if (settings.serialAt) {
        if (const std::string p = serialPlaceProblem(serial, *settings.serialAt); !p.empty())
            return finish(Verdict::Refused, p);
    }

    // 1. The board as it is: every register and the whole EEPROM.
    const std::time_t now = std::chrono::system_clock::to_time_t(wallStart);
    const snapshot::Taken taken = snapshot::takeSnapshot(device, now);
    if (!taken.snapshot)
        return finish(Verdict::Fail, taken.error.empty() ? "the board was not read" : taken.error);
    const snapshot::Snapshot& board = *taken.snapshot;

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
        const auto carried = serialIn(board.eeprom, *settings.serialAt);
        if (carried && *carried != serial)
            return finish(Verdict::Fail, "the board carries serial " + *carried + ", scanned " +
                                             serial + "; nothing was written");
        placeSerial(target.eeprom, serial, *settings.serialAt);
    }

    // 4. The erase count of every page that will be erased, checked and
    // raised before the first erase: a kill after it never under-counts.
    const std::vector<unsigned> pages = differingPages(target.eeprom, board.eeprom);
    if (!pages.empty()) {
        const auto counts = records.eraseCounts(serial, error);
        if (!counts) return finish(Verdict::Error, "erase counts not read: " + error);
        for (unsigned page : pages) {
            const auto found = counts->find(page);
            const long long done = found == counts->end() ? 0 : found->second;
            if (done + 1 > settings.eraseLimit)
                return finish(Verdict::Refused, "page " + text::suffixedAddressText(page) + " of " +
                                                    serial + " has been erased " +
                                                    std::to_string(done) + " times, the limit is " +
                                                    std::to_string(settings.eraseLimit) +
                                                    "; nothing was written");
        }
        if (!records.addErases(serial, pages, 1, error))
            return finish(Verdict::Error, "erase counts not stored, nothing was written: " + error);
        counted = pages;
    }

    // 5. Only what differs, then everything read back.
    snapshot::ApplyOptions options;
    options.present = &board;
    const snapshot::ApplyResult applied = snapshot::applySnapshot(device, target, options);
    r.registersWritten = applied.registersWritten;
    r.pagesWritten = applied.pagesWritten;
    for (unsigned page : applied.pagesErased)
        counted.erase(std::remove(counted.begin(), counted.end(), page), counted.end());
    if (applied.refused) {
        // A stop (Stop, Quit, a signal) or a port that failed: say which.
        const std::string why = device.refusal();
        return finish(Verdict::Fail,
                      (why.empty() ? std::string("The bus refused the transaction.") : why) +
                          " The board is unfinished.");
    }
    if (!applied.failures.empty()) return finish(Verdict::Fail, applied.failures.front());

    // 6. The serial, read back on its own.
    if (settings.serialAt) {
        const eeprom::Run run =
            eeprom::read(device, *settings.serialAt, static_cast<unsigned>(serial.size() + 1),
                         eeprom::Speed::Bytes);
        std::string back;
        const bool clean = run.ok();
        for (std::size_t k = 0; clean && k < serial.size(); ++k)
            back += static_cast<char>(run.steps[k].value);
        if (!clean || back != serial || run.steps.back().value != 0)
            return finish(Verdict::Fail, "serial read back as '" + back + "', scanned " + serial);
    }
    return finish(Verdict::Pass, {});
}

}  // namespace kestrel::production
