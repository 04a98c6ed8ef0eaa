#include "files/snapshot_board.h"

#include <algorithm>

#include "chip/register_bits.h"
#include "device/eeprom.h"
#include "device/text_rules.h"
#include "files/eeprom_backup.h"

#ifndef KESTREL_VERSION
#define KESTREL_VERSION "unknown"
#endif

namespace kestrel::snapshot {

namespace {

constexpr unsigned kPage = chip::kEepromPageSize;

// One register read; nothing when the bus refused. `problem` is empty when
// the read was acknowledged and its PEC matched.
std::optional<int> readRegister(Device& device, int reg, std::string& problem) {
    const ByteOutcome o = device.ReadRegister(reg);
    if (o.refused()) return std::nullopt;
    problem = o.problem();
    if (problem.empty() && !o.pecOk()) problem = "No PEC read";
    return o.value;
}

// The registers the options ask for that take writes.
std::vector<int> writableRegisters() {
    std::vector<int> regs;
    for (int reg = 0; reg < kRegisterCount; ++reg)
        if (chip::isWritable(reg)) regs.push_back(reg);
    return regs;
}

// The register values now on the board; nothing (with the reason) when one
// read failed.
bool readRegisters(Device& device, std::array<int, kRegisterCount>& values, ApplyResult& r) {
    for (int reg : writableRegisters()) {
        std::string problem;
        const auto v = readRegister(device, reg, problem);
        if (!v) {
            r.refused = true;
            return false;
        }
        if (!problem.empty()) {
            r.failures.push_back("register " + text::suffixedByteText(reg) +
                                 " not read: " + eeprom::inSentence(problem));
            return false;
        }
        values[static_cast<std::size_t>(reg)] = *v;
    }
    return true;
}

std::optional<EepromImage> readEeprom(Device& device, ApplyResult& r) {
    eeprom::Run run;
    auto image = eeprom::readAll(device, run);
    if (run.refused())
        r.refused = true;
    else if (const eeprom::Step* bad = run.firstFailure())
        r.failures.push_back("EEPROM " + run.failedAddresses() +
                             " not read: " + eeprom::inSentence(bad->problem));
    return image;
}

bool writeRegisters(Device& device, const Snapshot& target,
                    const std::array<int, kRegisterCount>& present, ApplyResult& r) {
    for (int reg : writableRegisters()) {
        const int stored = chip::writableBits(reg);
        const int want = target.registers[static_cast<std::size_t>(reg)].value & 0xFF;
        const int now = present[static_cast<std::size_t>(reg)];
        if (((want ^ now) & stored) == 0) continue;
        // The bits the chip does not store are written as the chip reads them.
        const int value = (want & stored) | (now & ~stored & 0xFF);
        const Outcome o = device.WriteRegister(reg, value);
        if (o.refused()) {
            r.refused = true;
            return false;
        }
        if (!o.ok()) {
            r.failures.push_back("register " + text::suffixedByteText(reg) + " write of " +
                                 text::byteText(static_cast<unsigned>(value)) +
                                 "h failed: " + eeprom::inSentence(o.problem()));
            return false;
        }
        r.registersWritten.push_back(reg);
    }
    return true;
}

bool writePages(Device& device, const Snapshot& target, const EepromImage& present,
                ApplyResult& r) {
    for (unsigned offset = 0; offset < chip::kEepromSize; offset += kPage) {
        const auto first = target.eeprom.begin() + offset;
        if (std::equal(first, first + kPage, present.begin() + offset)) continue;
        const unsigned base = chip::kEepromFirst + offset;
        eeprom::Run run = eeprom::erasePages(device, base, kPage);
        if (run.refused()) {
            r.refused = true;
            return false;
        }
        r.pagesErased.push_back(base);
        if (const eeprom::Step* bad = run.firstFailure()) {
            r.failures.push_back("page erase at " + text::suffixedAddressText(base) + " failed: " +
                                 eeprom::inSentence(bad->problem) + "; the page was not written");
            return false;
        }
        run = eeprom::writeBlock(device, base, std::vector<int>(first, first + kPage));
        if (run.refused()) {
            r.refused = true;
            return false;
        }
        if (!run.ok()) {
            r.failures.push_back("block write to " + text::suffixedAddressText(base) + "-" +
                                 text::suffixedAddressText(base + kPage - 1) +
                                 " failed: " + eeprom::writeFailureText(run));
            return false;
        }
        r.pagesWritten.push_back(base);
    }
    return true;
}

void verifyRegisters(Device& device, const Snapshot& target, ApplyResult& r) {
    for (int reg : writableRegisters()) {
        std::string problem;
        const auto v = readRegister(device, reg, problem);
        if (!v) {
            r.refused = true;
            return;
        }
        const int stored = chip::writableBits(reg);
        const int want = target.registers[static_cast<std::size_t>(reg)].value & 0xFF;
        if (!problem.empty())
            r.failures.push_back("register " + text::suffixedByteText(reg) +
                                 " not read back: " + eeprom::inSentence(problem));
        else if (((*v ^ want) & stored) != 0)
            r.failures.push_back("register " + text::suffixedByteText(reg) + " reads back " +
                                 text::byteText(static_cast<unsigned>(*v)) +
                                 "h, the snapshot holds " +
                                 text::byteText(static_cast<unsigned>(want)) + "h");
    }
}

void verifyEeprom(Device& device, const Snapshot& target, ApplyResult& r) {
    const eeprom::Run read =
        eeprom::read(device, chip::kEepromFirst, chip::kEepromSize, eeprom::Speed::Blocks);
    if (read.refused()) {
        r.refused = true;
        return;
    }
    for (std::size_t k = 0; k < read.steps.size(); ++k) {
        const eeprom::Step& b = read.steps[k];
        if (!b.ok())
            r.failures.push_back("EEPROM byte " + text::suffixedAddressText(b.address) +
                                 " not read back: " + eeprom::inSentence(b.problem));
        else if (b.value != target.eeprom[k])
            r.failures.push_back("EEPROM byte " + text::suffixedAddressText(b.address) +
                                 " reads back " + text::byteText(static_cast<unsigned>(b.value)) +
                                 "h, the snapshot holds " + text::byteText(target.eeprom[k]) + "h");
    }
}

}  // namespace

Taken takeSnapshot(Device& device, std::time_t now) {
    Taken t;
    if (!device.available()) {
        t.refused = true;
        t.error = device.refusal();
        return t;
    }
    Snapshot s;
    s.tool = KESTREL_VERSION;
    s.slave = static_cast<unsigned>(device.globals().SlaveAddr & 0xFE);
    s.taken = now;
    auto readInto = [&](int reg, ByteValue& into) {
        std::string problem;
        const auto v = readRegister(device, reg, problem);
        if (!v) {
            t.refused = true;
            t.error = device.refusal();
            if (t.error.empty()) t.error = "The bus refused the transaction; no snapshot.";
            return false;
        }
        if (!problem.empty()) {
            t.error = "register " + text::suffixedByteText(reg) +
                      " not read: " + eeprom::inSentence(problem) + "; no snapshot";
            return false;
        }
        into = {*v, true};
        return true;
    };
    for (int reg = 0; reg < kRegisterCount; ++reg)
        if (!readInto(reg, s.registers[static_cast<std::size_t>(reg)])) return t;
    for (int k = 0; k < kLatchedCount; ++k)
        if (!readInto(kLatchedFirst + k, s.latched[static_cast<std::size_t>(k)])) return t;
    eeprom::Run run;
    const auto image = eeprom::readAll(device, run);
    if (!image) {
        t.refused = run.refused();
        t.error = t.refused ? run.refusal
                            : "EEPROM " + run.failedAddresses() +
                                  " not read: " + eeprom::inSentence(run.firstFailure()->problem) +
                                  "; no snapshot";
        return t;
    }
    s.eeprom = *image;
    t.snapshot = s;
    return t;
}

ApplyResult applySnapshot(Device& device, const Snapshot& target, const ApplyOptions& options) {
    ApplyResult r;
    if (!device.available()) {
        r.refused = true;
        return r;
    }
    std::array<int, kRegisterCount> presentRegisters{};
    std::optional<EepromImage> presentEeprom;
    if (options.present != nullptr) {
        for (std::size_t i = 0; i < presentRegisters.size(); ++i)
            presentRegisters[i] = options.present->registers[i].value;
        presentEeprom = options.present->eeprom;
    }
    const bool read = options.present != nullptr ||
                      ((!options.registers || readRegisters(device, presentRegisters, r)) &&
                       (!options.eeprom || (presentEeprom = readEeprom(device, r))));
    if (!read) {
        if (!r.refused)
            r.failures.push_back("the board was not read cleanly, so nothing was written");
        return r;
    }

    const bool written =
        (!options.registers || writeRegisters(device, target, presentRegisters, r)) &&
        (!options.eeprom || writePages(device, target, *presentEeprom, r));
    if (r.refused || !options.verify) return r;
    // Asked for, the read-back runs even after a write failed: it tells what
    // the board now holds.
    if (options.registers) verifyRegisters(device, target, r);
    if (options.eeprom && !r.refused) verifyEeprom(device, target, r);
    r.verified = written && r.ok();
    return r;
}

}  // namespace kestrel::snapshot
