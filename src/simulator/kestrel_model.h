#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "chip/kestrel_map.h"
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
//
// By default the model is lenient: once addressed it acknowledges every byte,
// answers at once after an erase and lets a byte write set any bit. The chip
// options below (each off by default) make it behave as the real part does.
class KestrelModel final : public SmbusSlave {
  public:
    // How closely the model follows the real chip.
    struct Options {
        // Acknowledge only what the chip implements: registers 00h..1Dh and
        // 2Ah..2Ch, EEPROM address high bytes 80h and 81h, the FFh that
        // confirms a page erase, and no byte past a transaction's end.
        bool strictAck = false;
        // When the master acknowledges the last byte of a read, go on
        // sending the following registers or EEPROM bytes (a 0 bit holds SDA
        // low, through a STOP the master tries to give).
        bool sendPastEnd = false;
        // After a page erase or a zero-write the chip is busy programming for
        // kBusyMicros, counted from the acknowledge of the last byte; it does
        // not acknowledge its address meanwhile.
        bool busyTime = false;
        // EEPROM cells that a byte write can only clear (cell &= data); only a
        // page erase sets them back to FFh.
        bool clearOnlyCells = false;
        // A block count fault moves the PEC: count n sends n data bytes, then
        // the PEC (otherwise the count byte changes and 32 bytes follow).
        bool countMovesPec = false;
        // With busyTime: a byte write of 00h also starts the busy time. On
        // the wire a zero-write is a byte write of 00h whose STOP comes 30 ms
        // later, so this catches a zero-write whose hold is short; but it
        // also fails every block write that holds a 00h byte (the block
        // write sends its bytes back to back), and whether the chip is busy
        // after a plain 00h write is not known. So it is not part of strict.
        bool busyAfterZeroWrite = false;
        // An EEPROM byte read's two address bytes are not acknowledged by
        // the chip: the master clocks those slots with SDA held low itself.
        // A slave cannot tell a read from a write by then; the model is told
        // (expectEepromRead) by whoever knows the whole message list, as the
        // simulated I2C adapter does.
        bool eepromAddressUnacked = false;

        // Every option the chip is known to have, or may have: the model as
        // strict as the chip may be.
        static Options strict() { return {true, true, true, true, true, false, true}; }
        bool operator==(const Options&) const = default;
    };
    static constexpr std::uint64_t kBusyMicros = 30000;

    static constexpr int kRegisterSpace = 0x30;
    static constexpr int kEepromBase = static_cast<int>(chip::kEepromFirst);
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

    void setOptions(const Options& options) { options_ = options; }
    const Options& options() const { return options_; }
    // Microseconds of a monotonic clock, for the busy time (a steady clock
    // unless a test supplies its own).
    void setClock(std::function<std::uint64_t()> micros) { clock_ = std::move(micros); }
    // Whether the chip is busy programming now.
    bool busy() const;

    // Faults for tests.
    void setPresent(bool present) { present_ = present; }
    void setCorruptPec(bool corrupt) { corruptPec_ = corrupt; }
    void setBlockCount(std::uint8_t count) { blockCount_ = count; }
    // Does not acknowledge the n-th byte the master sends in a transaction
    // (the first address byte is byte 1; 0: off), nor any byte after it.
    void setNackByte(int n) { nackByte_ = n; }
    // The transaction that starts next is an EEPROM byte read (address
    // bytes, then a read after a repeated START).
    void expectEepromRead() { eepromReadNext_ = true; }
    // Stops the status registers from changing by themselves.
    void setStatusActivity(bool on) { activity_ = on; }

    // Completed transactions addressed to this chip.
    std::uint64_t transactions() const { return transactions_; }

  protected:
    bool respondsTo(std::uint8_t addressByte) const override;
    bool onAddressed(std::uint8_t addressByte, bool repeated) override;
    bool onByteWritten(std::uint8_t byte) override;
    std::uint8_t nextByteToSend() override;
    void onStopCondition() override;

  private:
    void prepareReply();
    void commitWrite();
    void stepStatus();
    bool byteFitsTransaction(std::uint8_t byte) const;
    bool startsProgramming() const;
    std::uint8_t eepromOrBlank(int address) const;
    std::uint8_t followingByte();
    std::uint64_t now() const;

    std::array<std::uint8_t, kRegisterSpace> regs_{};
    std::array<std::uint8_t, kEepromSize> eeprom_{};
    int pointer_ = kEepromBase;
    std::uint8_t strap_ = 0xA0;
    bool present_ = true;
    bool corruptPec_ = false;
    bool activity_ = true;
    std::uint8_t blockCount_ = 0x20;
    int nackByte_ = 0;
    bool eepromReadNext_ = false;
    bool eepromRead_ = false;  // this transaction is an EEPROM byte read
    Options options_;
    std::function<std::uint64_t()> clock_;
    std::uint64_t busyUntil_ = 0;
    std::uint32_t random_;
    std::uint64_t transactions_ = 0;

    // The transaction in progress.
    std::vector<std::uint8_t> written_;
    bool readPhase_ = false;
    bool rejected_ = false;        // a byte was not acknowledged: nothing is stored
    int masterBytes_ = 0;          // bytes the master sent, address bytes included
    std::uint64_t lastAckAt_ = 0;  // when the last written byte was acknowledged
    std::uint8_t crc_ = 0;
    std::array<std::uint8_t, 258> reply_{};
    int replyLength_ = 0;
    int replyPos_ = 0;
    // What a read goes on with after its last byte: registers or EEPROM.
    enum class Follow { Nothing, Registers, Eeprom };
    Follow follow_ = Follow::Nothing;
    int followAddress_ = 0;
};

}  // namespace kestrel::sim
