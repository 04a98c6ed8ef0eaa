#pragma once

#include <span>
#include <string>

#include "bus/port_access.h"
#include "bus/transfer.h"
#include "chip/kestrel_map.h"
#include "chip/transaction_kinds.h"
#include "device/globals.h"
#include "device/outcome.h"

namespace kestrel {

// Complete bus transactions on the KESTREL and the PLOVER, each from START
// to STOP. Every operation returns one Outcome: refused (nothing sent, and
// why), or the record of what went on the wire. Observers of the executor
// (the main window's captions, the monitor, the status bar) see each record
// as its transaction ends.
class Device {
  public:
    Device(Globals& globals, TransferExecutor& executor) : g_(globals), executor_(executor) {}

    // What runs the transactions: observers attach here.
    TransferExecutor& executor() { return executor_; }
    Globals& globals() { return g_; }

    // The parallel ports the system offers, LPT1..3: an I/O address (0 when
    // absent) and the state of the look-up (non-zero: it failed).
    struct LptSlot {
        std::uint16_t address = 0;
        std::uint32_t state = 0;
    };
    void setPortDirectory(PortAccess& ports) { ports_ = &ports; }
    LptSlot lptSlot(int n) {
        if (ports_ == nullptr) return {};
        const std::uint16_t address = ports_->GetLPTPortAddress(n);
        return {address, ports_->GetLastState(0)};
    }

    // Whether a transaction would be granted now. Lets a run be refused
    // whole before its first step; refusal() says why not.
    bool available(Origin origin = Origin::User) { return executor_.available(origin); }
    std::string refusal() { return executor_.refusal(); }
    // The outcome of a transaction the executor refused, with its reason.
    Outcome refusedByBus();

    // Runs one transaction, or several in one hold of the bus (with
    // `stopAtFault` the run ends after the first that went wrong).
    Outcome transfer(const Transfer& t, Origin origin = Origin::User);
    Outcome transferHeld(std::span<const Transfer> transfers, bool stopAtFault);

    // The address bytes of the selected slave.
    std::uint8_t writeAddress() const { return static_cast<std::uint8_t>(g_.SlaveAddr & 0xFE); }
    std::uint8_t readAddress() const { return static_cast<std::uint8_t>(g_.SlaveAddr | 0x01); }

    // SMBus Write Byte: slave address (write), register, data.
    Outcome WriteRegister(int reg, int data, Origin origin = Origin::User);
    // SMBus Read Byte with PEC: address (write), register, repeated START,
    // address (read), data (acknowledged), PEC (not acknowledged).
    ByteOutcome ReadRegister(int reg, Origin origin = Origin::User);
    // Two-byte write to a PLOVER switch: address, data.
    Outcome WriteSwitch(int address, int data, Origin origin = Origin::User);

    // The EEPROM transactions, at a 16-bit address (high byte first on the
    // wire). An address whose high byte is below 80h is refused with nothing
    // sent: the chip would take it as a register address (0E00h would
    // switch PS ON off).
    // Where the executor cannot take the address bytes' acknowledge slots
    // (an I2C adapter without protocol mangling), the byte comes from a
    // block read of the 32-byte block that holds it, its PEC checked.
    ByteOutcome EEPROMReadByte(unsigned address);
    // Whether byte reads go through block reads on this executor.
    bool eepromReadsByBlock() const { return !executor_.takesAcknowledgeSlots(); }
    // How the records name such a block read.
    static constexpr const char* kByteReadsByBlock = chip::kEepromReadByBlock;
    Outcome EEPROMWriteByte(unsigned address, int data);
    // Erases the 32-byte page holding `address`; the address itself goes on
    // the wire, then FFh, then 30 ms with SCL held low before the STOP.
    Outcome EEPROMPageErase(unsigned address);
    // Writes 00h to one address, holding the bus 30 ms before the STOP.
    Outcome EEPROMWriteZero(unsigned address);

  private:
    Outcome writeWithHold(const char* kind, unsigned address, std::vector<std::uint8_t> bytes);

    Globals& g_;
    TransferExecutor& executor_;
    PortAccess* ports_ = nullptr;
};

// The refusal for a run of EEPROM addresses `first` .. `first + count - 1`
// (modulo 10000h) when one of them has its high byte below 80h, naming the
// first; empty when none has.
std::string registerSpaceRefusal(unsigned first, unsigned count = 1);

using chip::kBlockReadCommand;
using chip::kEepromAddressHighMin;
using chip::kPageEraseCommand;

}  // namespace kestrel
