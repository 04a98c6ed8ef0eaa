#include "files/snapshot_compare.h"

#include <algorithm>

#include "chip/register_bits.h"
#include "device/field_settings.h"
#include "device/register_map.h"
#include "device/text_rules.h"

namespace kestrel::snapshot {

namespace {

std::string registerName(int reg) {
    if (reg < kRegisterCount)
        return std::string(kRegisterMap.at(static_cast<std::size_t>(reg)).name);
    return "Latched Status" + std::to_string(reg - kLatchedFirst + 1);
}

std::string onAOnB(const std::string& a, const std::string& b) {
    return a + " on A, " + b + " on B";
}

RegisterComparison compareRegister(int reg, int a, int b) {
    RegisterComparison r{reg, a & 0xFF, b & 0xFF, false, false, {}};
    const int stored = chip::writableBits(reg);
    if (stored == 0) {
        r.informationDiffers = r.a != r.b;
        return r;
    }
    r.differs = ((r.a ^ r.b) & stored) != 0;
    if (!r.differs) return r;
    const auto sa = fields::settingsOf(reg, r.a);
    const auto sb = fields::settingsOf(reg, r.b);
    for (std::size_t i = 0; i < sa.size() && i < sb.size(); ++i)
        if (sa[i].setting != sb[i].setting)
            r.fields.push_back({sa[i].field, sa[i].setting, sb[i].setting});
    return r;
}

}  // namespace

int Comparison::registerDifferences() const {
    return static_cast<int>(std::count_if(registers.begin(), registers.end(),
                                          [](const RegisterComparison& r) { return r.differs; }));
}

int Comparison::writableRegisters() const {
    return static_cast<int>(
        std::count_if(registers.begin(), registers.end(),
                      [](const RegisterComparison& r) { return chip::isWritable(r.reg); }));
}

bool Comparison::identical() const {
    return registerDifferences() == 0 && eeprom.empty();
}

Comparison compare(const Snapshot& a, const Snapshot& b) {
    Comparison c;
    for (int reg = 0; reg < kRegisterCount; ++reg) {
        const auto i = static_cast<std::size_t>(reg);
        c.registers.push_back(compareRegister(reg, a.registers[i].value, b.registers[i].value));
    }
    for (int k = 0; k < kLatchedCount; ++k) {
        const auto i = static_cast<std::size_t>(k);
        c.registers.push_back(
            compareRegister(kLatchedFirst + k, a.latched[i].value, b.latched[i].value));
    }
    for (unsigned k = 0; k < a.eeprom.size(); ++k)
        if (a.eeprom[k] != b.eeprom[k])
            c.eeprom.push_back({chip::kEepromFirst + k, a.eeprom[k], b.eeprom[k]});
    return c;
}

std::string registerLine(const RegisterComparison& r) {
    const bool latched = r.reg >= kLatchedFirst;
    std::string line = std::string(latched ? "status " : "register ") +
                       text::byteText(static_cast<unsigned>(r.reg)) + "h " + registerName(r.reg) +
                       ": " + onAOnB(text::suffixedByteText(r.a), text::suffixedByteText(r.b));
    for (const FieldChange& f : r.fields) line += "  " + f.field + ": " + onAOnB(f.a, f.b);
    return line;
}

std::string eepromLine(const EepromDifference& d) {
    return "EEPROM " + text::addressText(d.address) +
           "h: " + onAOnB(text::suffixedByteText(d.a), text::suffixedByteText(d.b));
}

std::string summaryLine(const Comparison& c) {
    const int writable = c.writableRegisters();
    const int eepromBytes = static_cast<int>(chip::kEepromSize);
    return "identical: " + std::to_string(writable - c.registerDifferences()) + " of " +
           std::to_string(writable) + " writable registers, " +
           std::to_string(eepromBytes - static_cast<int>(c.eeprom.size())) + " of " +
           std::to_string(eepromBytes) + " EEPROM bytes";
}

std::vector<std::string> reportLines(const Comparison& c) {
    std::vector<std::string> lines;
    for (const RegisterComparison& r : c.registers)
        if (r.differs) lines.push_back(registerLine(r));
    for (const EepromDifference& d : c.eeprom) lines.push_back(eepromLine(d));
    lines.push_back(summaryLine(c));
    for (const RegisterComparison& r : c.registers) {
        if (r.informationDiffers) lines.push_back("for information: " + registerLine(r));
        // Bits the chip does not store read 0 on a board; a file may hold them set.
        if (!r.differs && r.a != r.b && chip::isWritable(r.reg))
            lines.push_back("for information: " + registerLine(r) +
                            " (only in bits the chip does not store)");
    }
    return lines;
}

}  // namespace kestrel::snapshot
