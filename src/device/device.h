#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "bus/port_access.h"
#include "bus/transfer.h"
#include "chip/kestrel_map.h"
#include "device/device_display.h"
#include "device/globals.h"

namespace kestrel {

// Complete bus transactions on the KESTREL and the PLOVER. Each one opens
// port access, runs from START to STOP and closes port access, and shows its
// result in the main window. A transaction the bus refuses (no usable port,
// or another transaction still open) sends nothing, shows nothing and
// returns false or no value.
class Device {
  public:
    Device(Globals& globals, TransferExecutor& executor, DeviceDisplay& display)
        : g_(globals), executor_(executor), display_(&display) {}

    // The main window is built after the device it calls; it takes over the
    // display here.
    void setDisplay(DeviceDisplay& display) { display_ = &display; }

    // What runs the transactions: observers (monitor, status bar, batch)
    // attach here and see every transaction's record.
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

    // Whether a transaction would be granted now, telling the user why not.
    bool available(Origin origin = Origin::User) { return executor_.available(origin); }

    // Keeps access to the bus open while it lives, around a run of
    // transactions (each still brackets itself).
    class AccessHold {
      public:
        explicit AccessHold(Device& device) : executor_(device.executor_) {
            executor_.openAccess();
        }
        ~AccessHold() { executor_.closeAccess(); }
        AccessHold(const AccessHold&) = delete;
        AccessHold& operator=(const AccessHold&) = delete;

      private:
        TransferExecutor& executor_;
    };

    // Runs one transaction (several in one hold of the bus) and keeps the
    // last one's diagnosis for lastProblem(). Nothing when the bus refused.
    std::optional<TransactionRecord> transfer(const Transfer& t, Origin origin = Origin::User);
    std::optional<std::vector<TransactionRecord>> transferHeld(std::span<const Transfer> transfers,
                                                               bool stopAtFault);

    // The address bytes of the selected slave.
    std::uint8_t writeAddress() const { return static_cast<std::uint8_t>(g_.SlaveAddr & 0xFE); }
    std::uint8_t readAddress() const { return static_cast<std::uint8_t>(g_.SlaveAddr | 0x01); }

    // SMBus Write Byte: slave address (write), register, data.
    bool WriteRegister(int reg, int data, Origin origin = Origin::User);
    // SMBus Read Byte with PEC: address (write), register, repeated START,
    // address (read), data (acknowledged), PEC (not acknowledged).
    std::optional<int> ReadRegister(int reg, Origin origin = Origin::User);
    // Two-byte write to a PLOVER switch: address, data.
    bool WriteSwitch(int address, int data, Origin origin = Origin::User);

    // What went wrong on the wire in the last transaction, in the status
    // bar's words ("No acknowledge from AEh"); empty when it went through
    // cleanly. A refused transaction counts as not clean.
    const std::string& lastProblem() const { return lastProblem_; }
    bool lastClean() const { return lastRan_ && lastProblem_.empty(); }

    void ShowRamBits(int value) { display_->showRamBits(static_cast<std::uint8_t>(value & 0xFF)); }
    void ShowEEBits(int value) { display_->showEEBits(static_cast<std::uint8_t>(value & 0xFF)); }

    // EEPROM byte read with PEC at the two-byte address high, low.
    std::optional<int> EEPROMReadByte(int addrHigh, int addrLow);
    bool EEPROMWriteByte(int addrHigh, int addrLow, int data);
    // Erases the 32-byte page named by a four-digit address text ("81E0").
    bool EEPROMPageErase(std::string_view page);
    // Writes 00h to one address, holding the bus 30 ms before the STOP.
    bool EEPROMWriteZero(std::string_view address);

  private:
    // True (and nothing may be sent) when an EEPROM address high byte would
    // make the chip take the transaction as a register write.
    bool inRegisterSpace(int addrHigh);
    // Page erase and zero-write: the bytes, then 30 ms with SCL held low,
    // then STOP, so the chip can finish its EEPROM cycle.
    bool writeWithHold(const char* kind, std::vector<std::uint8_t> bytes);
    // EEAddrHigh and EEAddrLow from a four-digit address text, split by position.
    void setAddressFromText(std::string_view addressText);

    Globals& g_;
    TransferExecutor& executor_;
    DeviceDisplay* display_;
    PortAccess* ports_ = nullptr;
    std::string lastProblem_;
    bool lastRan_ = false;
};

using chip::kBlockReadCommand;
using chip::kEepromAddressHighMin;
using chip::kPageEraseCommand;

}  // namespace kestrel
