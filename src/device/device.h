#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "bus/bus.h"
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
    Device(Globals& globals, Bus& bus, DeviceDisplay& display)
        : g_(globals), bus_(bus), display_(&display) {}

    // The main window is built after the device it calls; it takes over the
    // display here.
    void setDisplay(DeviceDisplay& display) { display_ = &display; }

    Bus& bus() { return bus_; }
    Globals& globals() { return g_; }

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
    // Opens the bus for one transaction and forgets the last one's outcome.
    BusTransaction begin(Origin origin = Origin::User);
    // Judges the transaction on the wire, then sends its STOP.
    void stop();
    // True (and nothing may be sent) when an EEPROM address high byte would
    // make the chip take the transaction as a register write.
    bool inRegisterSpace(int addrHigh);
    void sendAck(int byte) {
        bus_.I2CSendByte(byte);
        bus_.I2CAckClock();
    }
    int writeAddress() const { return g_.SlaveAddr & 0xFE; }
    int readAddress() const { return g_.SlaveAddr | 0x01; }
    // Page erase and zero-write: the last byte, then 30 ms with SCL held low,
    // then STOP, so the chip can finish its EEPROM cycle.
    void holdThenStop(const char* kind);
    // EEAddrHigh and EEAddrLow from a four-digit address text, split by position.
    void setAddressFromText(std::string_view addressText);

    Globals& g_;
    Bus& bus_;
    DeviceDisplay* display_;
    std::string lastProblem_;
    bool lastRan_ = false;
};

// The lowest first address byte that the chip takes as an EEPROM address;
// below it, the byte names a register.
inline constexpr int kEepromAddressHighMin = 0x80;

// The page erase command byte and the trailing confirmation byte it takes.
inline constexpr int kPageEraseCommand = 0xA2;
// The block read command (32 bytes from the EEPROM address pointer).
inline constexpr int kBlockReadCommand = 0xA1;

}  // namespace kestrel
