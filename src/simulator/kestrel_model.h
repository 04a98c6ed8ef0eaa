#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "simulator/smbus_slave.h"

namespace kestrel::sim {

// A KESTREL controller as seen from its SMBus pins.
//
// Registers 00h..1Dh and the latched status registers 2Ah..2Ch. The status
// registers 00h..02h change by themselves (a seeded pseudo-random walk, one
// step per bus transaction, so runs repeat exactly); each latched register
// keeps every bit its live register ever had. Read-only: the status
// registers, the ID (1Ch) and revision (1Dh), and the bits the chip does not
// store (they read 0).
//
// EEPROM of 512 bytes at 8000h..81FFh (the first page holds the boot image of
// the trims, the rest is erased), reached with a two-byte address in
// place of the register byte. Writes take effect at STOP. Page erase is
// A2h, address, FFh. The block read A1h sends a count of 20h, 32 bytes from
// the address pointer (set by a write of the address alone) and a PEC.
// Addresses outside the EEPROM are ignored on write and read FFh.
class KestrelModel final : public SmbusSlave {
  public:
    static constexpr int kRegisterSpace = 0x30;
    static constexpr int kEepromBase = 0x8000;
    static constexpr int kEepromSize = 512;
    static constexpr std::uint8_t kBroadcastAddress = 0xAE;

    explicit KestrelModel(std::uint32_t seed = 1);

    // Register file access for tests and the state file (bypasses the bus
    // and its read-only rules).
    std::uint8_t reg(int address) const { return regs_.at(static_cast<std::size_t>(address)); }
    void setReg(int address, std::uint8_t value) {
        regs_.at(static_cast<std::size_t>(address)) = value;
    }
    // Sets a live status register and latches its bits as the chip would.
    void setLiveStatus(int index, std::uint8_t value);
    std::uint8_t eeprom(int address) const;
    void setEeprom(int address, std::uint8_t value);

    // Bits of a register that a write over the bus changes.
    static std::uint8_t writableMask(int address);

    // The strap address besides the broadcast address AEh (A0h by default).
    void setStrapAddress(std::uint8_t address) { strap_ = address & 0xFE; }

    // Faults for tests.
    void setPresent(bool present) { present_ = present; }
    void setCorruptPec(bool corrupt) { corruptPec_ = corrupt; }
    void setBlockCount(std::uint8_t count) { blockCount_ = count; }
    // Stops the status registers from changing by themselves.
    void setStatusActivity(bool on) { activity_ = on; }

    // Completed transactions addressed to this chip.
    std::uint64_t transactions() const { return transactions_; }

  protected:
    bool respondsTo(std::uint8_t addressByte) const override;
    void onAddressed(std::uint8_t addressByte, bool repeated) override;
    bool onByteWritten(std::uint8_t byte) override;
    std::uint8_t nextByteToSend() override;
    void onStopCondition() override;

  private:
    void prepareReply();
    void commitWrite();
    void stepStatus();
    std::uint8_t eepromOrBlank(int address) const;

    std::array<std::uint8_t, kRegisterSpace> regs_{};
    std::array<std::uint8_t, kEepromSize> eeprom_{};
    int pointer_ = kEepromBase;
    std::uint8_t strap_ = 0xA0;
    bool present_ = true;
    bool corruptPec_ = false;
    bool activity_ = true;
    std::uint8_t blockCount_ = 0x20;
    std::uint32_t random_;
    std::uint64_t transactions_ = 0;

    // The transaction in progress.
    std::vector<std::uint8_t> written_;
    bool readPhase_ = false;
    std::uint8_t crc_ = 0;
    std::array<std::uint8_t, 40> reply_{};
    int replyLength_ = 0;
    int replyPos_ = 0;
};

}  // namespace kestrel::sim
