#include "device/eeprom_ops.h"

#include <cctype>

#include "device/text_rules.h"

namespace kestrel::eeprom {

namespace {

void setAddress(Globals& g, unsigned address) {
    g.EEAddrHigh = static_cast<std::int16_t>((address >> 8) & 0xFF);
    g.EEAddrLow = static_cast<std::int16_t>(address & 0xFF);
}

// Counts the transaction just run: `ran` is false when the bus refused it.
void count(RunResult& r, const Device& device, bool ran, unsigned address) {
    if (!ran) {
        r.refused = true;
        return;
    }
    ++r.attempted;
    if (device.lastClean()) return;
    if (r.failed++ == 0) {
        r.firstFailedAddress = address & 0xFFFFu;
        r.firstProblem = device.lastProblem();
    }
}

}  // namespace

std::string inSentence(const std::string& problem) {
    // An ordinary word starts lower case after a colon ("no acknowledge",
    // "byte 12h"); names written in capitals keep them ("PEC", "SDA",
    // "EEPROM", "I2C").
    if (problem.size() > 1 && std::isupper(static_cast<unsigned char>(problem[0])) &&
        std::islower(static_cast<unsigned char>(problem[1])))
        return static_cast<char>(std::tolower(static_cast<unsigned char>(problem[0]))) +
               problem.substr(1);
    return problem;
}

std::string registerSpaceRefusal(unsigned first, unsigned n) {
    for (unsigned i = 0; i < n; ++i) {
        const unsigned address = (first + i) & 0xFFFFu;
        if ((address >> 8) >= kEepromAddressHighMin) continue;
        std::string digits = text::addressText(address);
        digits.insert(0, 4 - digits.size(), '0');
        return "EEPROM address " + digits +
               "h is below 8000h: the chip would take it as a register write. Nothing was sent.";
    }
    return {};
}

std::optional<int> readByteAt(Device& device, unsigned address) {
    address &= 0xFFFFu;
    setAddress(device.globals(), address);
    return device.EEPROMReadByte(device.globals().EEAddrHigh, device.globals().EEAddrLow);
}

RunResult readEach(Device& device, unsigned base, unsigned n,
                   const std::function<void(unsigned address, int value)>& onByte) {
    RunResult r;
    if (!device.available()) {
        r.refused = true;
        return r;
    }
    const Device::AccessHold hold(device);
    for (unsigned i = 0; i < n && !r.refused; ++i) {
        const unsigned address = (base + i) & 0xFFFFu;
        const auto d = readByteAt(device, address);
        count(r, device, d.has_value(), address);
        if (d) onByte(address, *d);
    }
    return r;
}

RunResult writeZerosToPage(Device& device, unsigned page) {
    RunResult r;
    if (!device.available()) {
        r.refused = true;
        return r;
    }
    for (unsigned i = 0; i < 32; ++i) {
        const unsigned address = page + i;
        count(r, device, device.EEPROMWriteZero(text::addressText(address)), address);
        if (r.refused) break;
    }
    return r;
}

RunResult eraseBlockPages(Device& device, unsigned base, int n) {
    RunResult r;
    const unsigned last = base + static_cast<unsigned>(n) - 1;
    count(r, device, device.EEPROMPageErase(text::addressText(base)), base);
    if (!r.ok() || last / 0x20 == base / 0x20) return r;
    count(r, device, device.EEPROMPageErase(text::addressText(last)), last);
    return r;
}

RunResult writeBlock(Device& device, unsigned base, const std::vector<int>& data) {
    RunResult r;
    Globals& g = device.globals();
    for (std::size_t i = 0; i < data.size(); ++i) {
        const unsigned address = (base + static_cast<unsigned>(i)) & 0xFFFFu;
        setAddress(g, address);
        count(r, device, device.EEPROMWriteByte(g.EEAddrHigh, g.EEAddrLow, data[i]), address);
        if (r.refused) break;
    }
    return r;
}

VerifyResult verify(Device& device, unsigned base, const std::vector<int>& expected) {
    VerifyResult v;
    if (!device.available()) {
        v.run.refused = true;
        return v;
    }
    const Device::AccessHold hold(device);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const unsigned address = (base + static_cast<unsigned>(i)) & 0xFFFFu;
        const auto d = readByteAt(device, address);
        count(v.run, device, d.has_value(), address);
        // A value that was not acknowledged or failed its PEC proves nothing.
        if (!v.run.ok()) break;
        if (*d != (expected[i] & 0xFF)) v.mismatches.push_back({address, expected[i] & 0xFF, *d});
    }
    return v;
}

}  // namespace kestrel::eeprom
