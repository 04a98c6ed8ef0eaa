#include "device/device.h"

#include "device/diagnostics.h"
#include "device/text_rules.h"

namespace kestrel {

BusTransaction Device::begin(Origin origin) {
    lastRan_ = false;
    lastProblem_.clear();
    return bus_.begin(origin);
}

void Device::stop() {
    lastProblem_ = diagnose(bus_.record());
    lastRan_ = true;
    bus_.I2CStop();
}

bool Device::inRegisterSpace(int addrHigh) {
    if ((addrHigh & 0xFF) >= kEepromAddressHighMin) return false;
    lastRan_ = false;
    lastProblem_ = "EEPROM address below 8000h refused";
    return true;
}

bool Device::WriteRegister(int reg, int data, Origin origin) {
    auto tx = begin(origin);
    if (!tx) return false;
    ShowRamBits(data);
    g_.CommandCode = static_cast<std::int16_t>(reg);
    bus_.I2CStart();
    sendAck(writeAddress());
    sendAck(g_.CommandCode);
    sendAck(data);
    bus_.describe("Write Byte", g_.CommandCode & 0xFF);
    stop();
    display_->setPecCaption("");
    return true;
}

std::optional<int> Device::ReadRegister(int reg, Origin origin) {
    auto tx = begin(origin);
    if (!tx) return std::nullopt;
    g_.CommandCode = static_cast<std::int16_t>(reg);
    bus_.I2CStart();
    sendAck(writeAddress());
    sendAck(g_.CommandCode);
    bus_.I2CStart();
    sendAck(readAddress());
    const int data = bus_.I2CReadByte();
    bus_.I2CMasterAck();
    const int pec = bus_.I2CReadByte();
    bus_.I2CAckClock();
    bus_.describe("Read Byte", g_.CommandCode & 0xFF);
    bus_.checkPec();
    stop();
    display_->setPecCaption(text::hexText(static_cast<unsigned>(pec)));
    return data;
}

bool Device::WriteSwitch(int address, int data, Origin origin) {
    auto tx = begin(origin);
    if (!tx) return false;
    ShowRamBits(data);
    bus_.I2CStart();
    sendAck(address & 0xFE);
    sendAck(data);
    bus_.describe("Switch Write");
    stop();
    display_->setPecCaption("");
    return true;
}

std::optional<int> Device::EEPROMReadByte(int addrHigh, int addrLow) {
    if (inRegisterSpace(addrHigh)) return std::nullopt;
    auto tx = begin();
    if (!tx) return std::nullopt;
    bus_.I2CStart();
    sendAck(writeAddress());
    // The address bytes are clocked out with the master holding SDA low in
    // the acknowledge slot, as the chip's EEPROM read expects.
    bus_.I2CSendByte(addrHigh);
    bus_.I2CMasterAck();
    bus_.I2CSendByte(addrLow);
    bus_.I2CMasterAck();
    bus_.I2CStart();
    sendAck(readAddress());
    const int data = bus_.I2CReadByte();
    bus_.I2CMasterAck();
    const int pec = bus_.I2CReadByte();
    bus_.I2CAckClock();
    bus_.describe("EEPROM Read", ((addrHigh & 0xFF) << 8) | (addrLow & 0xFF), 4);
    bus_.checkPec();
    stop();
    display_->setEEByteData(text::hexText(static_cast<unsigned>(data)));
    display_->setPecEECaption(text::hexText(static_cast<unsigned>(pec)));
    return data;
}

bool Device::EEPROMWriteByte(int addrHigh, int addrLow, int data) {
    if (inRegisterSpace(addrHigh)) return false;
    auto tx = begin();
    if (!tx) return false;
    bus_.I2CStart();
    sendAck(writeAddress());
    sendAck(addrHigh);
    sendAck(addrLow);
    sendAck(data);
    bus_.describe("EEPROM Write", ((addrHigh & 0xFF) << 8) | (addrLow & 0xFF), 4);
    stop();
    display_->setPecEECaption("");
    return true;
}

void Device::holdThenStop(const char* kind) {
    bus_.describe(kind, ((g_.EEAddrHigh & 0xFF) << 8) | (g_.EEAddrLow & 0xFF), 4);
    const std::int32_t handles[1] = {0};
    bus_.WaitMilliseconds(30, handles, 0);
    stop();
}

void Device::setAddressFromText(std::string_view addressText) {
    const auto address = text::splitAddressText(addressText);
    g_.EEAddrHigh = address.high;
    g_.EEAddrLow = address.low;
}

bool Device::EEPROMPageErase(std::string_view page) {
    if (inRegisterSpace(text::splitAddressText(page).high)) return false;
    auto tx = begin();
    if (!tx) return false;
    setAddressFromText(page);
    bus_.I2CStart();
    sendAck(writeAddress());
    sendAck(kPageEraseCommand);
    sendAck(g_.EEAddrHigh);
    sendAck(g_.EEAddrLow);
    sendAck(0xFF);
    holdThenStop("Page Erase");
    return true;
}

bool Device::EEPROMWriteZero(std::string_view addressText) {
    if (inRegisterSpace(text::splitAddressText(addressText).high)) return false;
    auto tx = begin();
    if (!tx) return false;
    setAddressFromText(addressText);
    bus_.I2CStart();
    sendAck(writeAddress());
    sendAck(g_.EEAddrHigh);
    sendAck(g_.EEAddrLow);
    sendAck(0x00);
    holdThenStop("Zero Write");
    return true;
}

}  // namespace kestrel
