#include "device/eeprom_ops.h"

#include "device/text_rules.h"

namespace kestrel::eeprom {

std::optional<int> readByteAt(Device& device, unsigned address) {
    Globals& g = device.globals();
    address &= 0xFFFFu;
    g.EEAddrHigh = static_cast<std::int16_t>(address >> 8);
    g.EEAddrLow = static_cast<std::int16_t>(address & 0xFF);
    return device.EEPROMReadByte(g.EEAddrHigh, g.EEAddrLow);
}

bool writeZerosToPage(Device& device, unsigned page) {
    if (!device.bus().available()) return false;
    for (unsigned i = 0; i < 32; ++i)
        if (!device.EEPROMWriteZero(text::addressText(page + i))) return false;
    return true;
}

bool eraseBlockPages(Device& device, unsigned base, int count) {
    const unsigned last = base + static_cast<unsigned>(count) - 1;
    if (!device.EEPROMPageErase(text::addressText(base))) return false;
    if (last / 0x20 != base / 0x20 && !device.EEPROMPageErase(text::addressText(last)))
        return false;
    return true;
}

bool writeBlock(Device& device, unsigned base, const std::vector<int>& data) {
    Globals& g = device.globals();
    for (std::size_t i = 0; i < data.size(); ++i) {
        const unsigned address = (base + static_cast<unsigned>(i)) & 0xFFFFu;
        g.EEAddrHigh = static_cast<std::int16_t>(address >> 8);
        g.EEAddrLow = static_cast<std::int16_t>(address & 0xFF);
        if (!device.EEPROMWriteByte(g.EEAddrHigh, g.EEAddrLow, data[i])) return false;
    }
    return true;
}

std::vector<Mismatch> verify(Device& device, unsigned base, const std::vector<int>& expected,
                             bool& complete) {
    std::vector<Mismatch> out;
    complete = false;
    Bus& bus = device.bus();
    if (!bus.available()) return out;
    bus.openAccess();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const unsigned address = (base + static_cast<unsigned>(i)) & 0xFFFFu;
        const auto d = readByteAt(device, address);
        if (!d) {
            bus.closeAccess();
            return out;
        }
        if (*d != (expected[i] & 0xFF)) out.push_back({address, expected[i] & 0xFF, *d});
    }
    bus.closeAccess();
    complete = true;
    return out;
}

}  // namespace kestrel::eeprom
