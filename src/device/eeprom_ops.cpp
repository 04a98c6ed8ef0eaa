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

}  // namespace kestrel::eeprom
