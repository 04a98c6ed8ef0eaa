#include "device/device.h"

#include "device/diagnostics.h"
#include "device/text_rules.h"

namespace kestrel {

namespace {

std::uint8_t byte(int value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}

int eepromTarget(int high, int low) {
    return ((high & 0xFF) << 8) | (low & 0xFF);
}

}  // namespace

std::optional<TransactionRecord> Device::transfer(const Transfer& t, Origin origin) {
    lastRan_ = false;
    lastProblem_.clear();
    auto record = executor_.run(t, origin);
    if (!record) return std::nullopt;
    lastProblem_ = diagnose(*record);
    lastRan_ = true;
    return record;
}

std::optional<std::vector<TransactionRecord>> Device::transferHeld(
    std::span<const Transfer> transfers, bool stopAtFault) {
    lastRan_ = false;
    lastProblem_.clear();
    auto records = executor_.runHeld(transfers, Origin::User, stopAtFault);
    if (!records) return std::nullopt;
    lastRan_ = true;
    if (!records->empty()) lastProblem_ = diagnose(records->back());
    return records;
}

bool Device::inRegisterSpace(int addrHigh) {
    if ((addrHigh & 0xFF) >= kEepromAddressHighMin) return false;
    lastRan_ = false;
    lastProblem_ = "EEPROM address below 8000h refused";
    return true;
}

bool Device::WriteRegister(int reg, int data, Origin origin) {
    if (!executor_.available(origin)) return false;
    ShowRamBits(data);
    g_.CommandCode = static_cast<std::int16_t>(reg);
    Transfer t;
    t.messages = {{writeAddress(), {byte(g_.CommandCode), byte(data)}}};
    t.kind = "Write Byte";
    t.target = g_.CommandCode & 0xFF;
    if (!transfer(t, origin)) return false;
    display_->setPecCaption("");
    return true;
}

std::optional<int> Device::ReadRegister(int reg, Origin origin) {
    if (!executor_.available(origin)) return std::nullopt;
    g_.CommandCode = static_cast<std::int16_t>(reg);
    Transfer t;
    t.messages = {{writeAddress(), {byte(g_.CommandCode)}},
                  {.address = readAddress(), .write = {}, .read = 2}};
    t.kind = "Read Byte";
    t.target = g_.CommandCode & 0xFF;
    t.endsWithPec = true;
    const auto r = transfer(t, origin);
    if (!r || r->received.size() < 2) return std::nullopt;
    display_->setPecCaption(text::hexText(r->received[1]));
    return r->received[0];
}

bool Device::WriteSwitch(int address, int data, Origin origin) {
    if (!executor_.available(origin)) return false;
    ShowRamBits(data);
    Transfer t;
    t.messages = {{byte(address & 0xFE), {byte(data)}}};
    t.kind = "Switch Write";
    if (!transfer(t, origin)) return false;
    display_->setPecCaption("");
    return true;
}

std::optional<int> Device::EEPROMReadByte(int addrHigh, int addrLow) {
    if (inRegisterSpace(addrHigh)) return std::nullopt;
    Transfer t;
    // The address bytes are clocked out with the master holding SDA low in
    // the acknowledge slot, as the chip's EEPROM read expects.
    t.messages = {{.address = writeAddress(),
                   .write = {byte(addrHigh), byte(addrLow)},
                   .masterHoldsWriteAcks = true},
                  {.address = readAddress(), .write = {}, .read = 2}};
    t.kind = "EEPROM Read";
    t.target = eepromTarget(addrHigh, addrLow);
    t.targetDigits = 4;
    t.endsWithPec = true;
    const auto r = transfer(t);
    if (!r || r->received.size() < 2) return std::nullopt;
    display_->setEEByteData(text::hexText(r->received[0]));
    display_->setPecEECaption(text::hexText(r->received[1]));
    return r->received[0];
}

bool Device::EEPROMWriteByte(int addrHigh, int addrLow, int data) {
    if (inRegisterSpace(addrHigh)) return false;
    Transfer t;
    t.messages = {{writeAddress(), {byte(addrHigh), byte(addrLow), byte(data)}}};
    t.kind = "EEPROM Write";
    t.target = eepromTarget(addrHigh, addrLow);
    t.targetDigits = 4;
    if (!transfer(t)) return false;
    display_->setPecEECaption("");
    return true;
}

bool Device::writeWithHold(const char* kind, std::vector<std::uint8_t> bytes) {
    Transfer t;
    t.messages = {{writeAddress(), std::move(bytes)}};
    t.kind = kind;
    t.target = eepromTarget(g_.EEAddrHigh, g_.EEAddrLow);
    t.targetDigits = 4;
    t.holdMs = chip::kEepromHoldMs;
    return transfer(t).has_value();
}

void Device::setAddressFromText(std::string_view addressText) {
    const auto address = text::splitAddressText(addressText);
    g_.EEAddrHigh = address.high;
    g_.EEAddrLow = address.low;
}

bool Device::EEPROMPageErase(std::string_view page) {
    if (inRegisterSpace(text::splitAddressText(page).high)) return false;
    if (!executor_.available()) return false;
    setAddressFromText(page);
    return writeWithHold("Page Erase", {byte(kPageEraseCommand), byte(g_.EEAddrHigh),
                                        byte(g_.EEAddrLow), byte(chip::kEraseConfirm)});
}

bool Device::EEPROMWriteZero(std::string_view addressText) {
    if (inRegisterSpace(text::splitAddressText(addressText).high)) return false;
    if (!executor_.available()) return false;
    setAddressFromText(addressText);
    return writeWithHold("Zero Write", {byte(g_.EEAddrHigh), byte(g_.EEAddrLow), 0x00});
}

}  // namespace kestrel
