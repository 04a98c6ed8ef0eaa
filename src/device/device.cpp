#include "device/device.h"

#include "device/block_read.h"
#include "device/text_rules.h"

namespace kestrel {

namespace {

constexpr const char* kBusRefused = "The bus refused the transaction; nothing was sent.";

std::uint8_t byte(int value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}

std::uint8_t high(unsigned address) {
    return static_cast<std::uint8_t>((address >> 8) & 0xFF);
}

std::uint8_t low(unsigned address) {
    return static_cast<std::uint8_t>(address & 0xFF);
}

Transfer eepromTransfer(const char* kind, unsigned address) {
    Transfer t;
    t.kind = kind;
    t.target = static_cast<int>(address & 0xFFFFu);
    t.targetDigits = 4;
    return t;
}

}  // namespace

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

Outcome Device::refusedByBus() {
    std::string why = executor_.refusal();
    return Outcome::refusedBy(why.empty() ? std::string(kBusRefused) : std::move(why), true);
}

Outcome Device::transfer(const Transfer& t, Origin origin) {
    auto record = executor_.run(t, origin);
    if (!record) return refusedByBus();
    Outcome o;
    o.records.push_back(std::move(*record));
    return o;
}

Outcome Device::transferHeld(std::span<const Transfer> transfers, bool stopAtFault) {
    auto records = executor_.runHeld(transfers, Origin::User, stopAtFault);
    if (!records) return refusedByBus();
    Outcome o;
    o.records = std::move(*records);
    return o;
}

Outcome Device::WriteRegister(int reg, int data, Origin origin) {
    g_.CommandCode = static_cast<std::int16_t>(reg);
    Transfer t;
    t.messages = {{writeAddress(), {byte(g_.CommandCode), byte(data)}}};
    t.kind = chip::kWriteByte;
    t.target = g_.CommandCode & 0xFF;
    return transfer(t, origin);
}

ByteOutcome Device::ReadRegister(int reg, Origin origin) {
    g_.CommandCode = static_cast<std::int16_t>(reg);
    Transfer t;
    t.messages = {{writeAddress(), {byte(g_.CommandCode)}},
                  {.address = readAddress(), .write = {}, .read = 2}};
    t.kind = chip::kReadByte;
    t.target = g_.CommandCode & 0xFF;
    t.endsWithPec = true;
    ByteOutcome o{transfer(t, origin)};
    if (o.refused()) return o;
    if (o.received().size() < 2)
        o.fault =
            "Read of register " + text::suffixedByteText(g_.CommandCode & 0xFF) + " cut short";
    else
        o.value = o.received()[0];
    return o;
}

Outcome Device::WriteSwitch(int address, int data, Origin origin) {
    Transfer t;
    t.messages = {{byte(address & 0xFE), {byte(data)}}};
    t.kind = chip::kSwitchWrite;
    return transfer(t, origin);
}

ByteOutcome Device::EEPROMReadByte(unsigned address) {
    address &= 0xFFFFu;
    if (std::string why = registerSpaceRefusal(address); !why.empty())
        return {Outcome::refusedBy(std::move(why), false)};
    if (eepromReadsByBlock()) {
        const unsigned start = address & ~(chip::kEepromPageSize - 1);
        const auto transfers = blockReadTransfers(*this, start, false, kByteReadsByBlock);
        ByteOutcome o{transferHeld(transfers, true)};
        if (o.refused()) return o;
        const std::vector<std::uint8_t>& r = o.received();
        // What the line gave, as for a byte read; trusted only when ok().
        if (o.records.size() != 2 || r.size() != 2 + chip::kEepromPageSize) {
            o.fault = "Block read at " + text::suffixedAddressText(start) + " cut short";
            return o;
        }
        o.value = r[1 + (address - start)];
        if (r.front() != chip::kBlockReadCount)
            o.fault = "Block count " + text::byteText(r.front()) + "h at " +
                      text::suffixedAddressText(start) + ", expected 20h";
        return o;
    }
    Transfer t = eepromTransfer(chip::kEepromRead, address);
    // The address bytes are clocked out with the master holding SDA low in
    // the acknowledge slot, as the chip's EEPROM read expects.
    t.messages = {{.address = writeAddress(),
                   .write = {high(address), low(address)},
                   .masterHoldsWriteAcks = true},
                  {.address = readAddress(), .write = {}, .read = 2}};
    t.endsWithPec = true;
    ByteOutcome o{transfer(t)};
    if (o.refused()) return o;
    if (o.received().size() < 2)
        o.fault = "EEPROM read at " + text::suffixedAddressText(address) + " cut short";
    else
        o.value = o.received()[0];
    return o;
}

Outcome Device::EEPROMWriteByte(unsigned address, int data) {
    address &= 0xFFFFu;
    if (std::string why = registerSpaceRefusal(address); !why.empty())
        return Outcome::refusedBy(std::move(why), false);
    Transfer t = eepromTransfer(chip::kEepromWrite, address);
    t.messages = {{writeAddress(), {high(address), low(address), byte(data)}}};
    return transfer(t);
}

Outcome Device::writeWithHold(const char* kind, unsigned address, std::vector<std::uint8_t> bytes) {
    if (std::string why = registerSpaceRefusal(address); !why.empty())
        return Outcome::refusedBy(std::move(why), false);
    g_.EEAddrHigh = high(address);
    g_.EEAddrLow = low(address);
    Transfer t = eepromTransfer(kind, address);
    t.messages = {{writeAddress(), std::move(bytes)}};
    t.holdMs = chip::kEepromHoldMs;
    return transfer(t);
}

Outcome Device::EEPROMPageErase(unsigned address) {
    address &= 0xFFFFu;
    return writeWithHold(
        chip::kPageErase, address,
        {byte(kPageEraseCommand), high(address), low(address), byte(chip::kEraseConfirm)});
}

Outcome Device::EEPROMWriteZero(unsigned address) {
    address &= 0xFFFFu;
    return writeWithHold(chip::kZeroWrite, address, {high(address), low(address), 0x00});
}

}  // namespace kestrel
