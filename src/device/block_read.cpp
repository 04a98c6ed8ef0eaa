#include "device/block_read.h"

namespace kestrel {

std::optional<BlockReadResult> blockRead(Device& device, unsigned base) {
    Bus& bus = device.bus();
    Globals& g = device.globals();
    base &= 0xFFFFu;
    // The pointer write AEh, high, low would be a register write below 8000h.
    if ((base >> 8) < kEepromAddressHighMin) return std::nullopt;
    auto tx = bus.begin();
    if (!tx) return std::nullopt;
    g.EEAddrHigh = static_cast<std::int16_t>(base >> 8);
    g.EEAddrLow = static_cast<std::int16_t>(base & 0xFF);
    const int writeAddress = g.SlaveAddr & 0xFE;
    auto sendAck = [&bus](int byte) {
        bus.I2CSendByte(byte);
        bus.I2CAckClock();
    };

    bus.I2CStart();
    sendAck(writeAddress);
    sendAck(g.EEAddrHigh);
    sendAck(g.EEAddrLow);
    bus.describe("Address Pointer", static_cast<int>(base), 4);
    bus.I2CStop();

    BlockReadResult r;
    bus.I2CStart();
    sendAck(writeAddress);
    sendAck(kBlockReadCommand);
    bus.I2CStart();
    sendAck(g.SlaveAddr | 0x01);
    r.count = bus.I2CReadByte();
    bus.I2CMasterAck();
    for (int& d : r.data) {
        d = bus.I2CReadByte();
        bus.I2CMasterAck();
    }
    r.pec = bus.I2CReadByte();
    bus.I2CAckClock();
    bus.describe("Block Read", static_cast<int>(base), 4);
    bus.checkPec();
    r.pecOk = !bus.record().pecMismatch();
    bus.I2CStop();
    return r;
}

}  // namespace kestrel
