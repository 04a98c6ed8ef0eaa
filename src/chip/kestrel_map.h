#pragma once

#include <array>
#include <cstdint>

// The KESTREL controller and its evaluation board by the numbers: one map
// that the device layer, the windows, batch mode and the simulated chip all
// use. Data only, so every floor may include it.
namespace kestrel::chip {

// The chip's own slave address byte (write phase); AEh reaches every KESTREL.
inline constexpr int kBroadcastAddress = 0xAE;

// RAM registers 00h..1Dh.
inline constexpr int kRamRegisterCount = 30;
inline constexpr int kIdRegister = 0x1C;
inline constexpr int kRevisionRegister = 0x1D;
// The live status registers and their latched copies.
inline constexpr std::array<int, 6> kStatusRegisters = {0x00, 0x01, 0x02, 0x2A, 0x2B, 0x2C};

// PS ON: register 0Eh, off 00h, on 04h.
inline constexpr int kPsOnRegister = 0x0E;
inline constexpr int kPsOnOff = 0x00;
inline constexpr int kPsOnOn = 0x04;

// The 512-byte EEPROM: 8000h..81FFh, sixteen pages of 32 bytes. Its
// address goes as two bytes, high first, in place of a register byte; a high
// byte below 80h names a register instead.
inline constexpr unsigned kEepromFirst = 0x8000;
inline constexpr unsigned kEepromSize = 512;
inline constexpr unsigned kEepromEnd = kEepromFirst + kEepromSize;  // one past the last
inline constexpr unsigned kEepromPageSize = 32;
inline constexpr int kEepromAddressHighMin = 0x80;

// EEPROM commands: page erase A2h, address, FFh (the confirmation); block
// read A1h from the address pointer, 20h bytes and a PEC.
inline constexpr int kPageEraseCommand = 0xA2;
inline constexpr int kEraseConfirm = 0xFF;
inline constexpr int kBlockReadCommand = 0xA1;
inline constexpr int kBlockReadCount = 0x20;
// An erase or zero-write holds the bus this long before its STOP.
inline constexpr int kEepromHoldMs = 30;

// The PLOVER analog switches of the board, and the setting start-up writes.
inline constexpr int kPloverAddress = 0x90;
inline constexpr int kSecondPloverAddress = 0x98;
inline constexpr int kPloverStartSetting = 0x06;

}  // namespace kestrel::chip
