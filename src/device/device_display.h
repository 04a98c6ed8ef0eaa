#pragma once

#include <cstdint>
#include <string>

namespace kestrel {

// The main window's controls that every transaction writes, whichever window
// called it, so the main window always shows the last bus transaction.
class DeviceDisplay {
  public:
    virtual ~DeviceDisplay() = default;
    // `Read_Data` bit labels: bit i of `value` as "1" or "0".
    virtual void showRamBits(std::uint8_t value) = 0;
    // `Read_DataEE` bit labels.
    virtual void showEEBits(std::uint8_t value) = 0;
    // `PEC` label of the register section.
    virtual void setPecCaption(const std::string& text) = 0;
    // `EEByteData` text box.
    virtual void setEEByteData(const std::string& text) = 0;
    // `PEC_EE` label of the EEPROM section.
    virtual void setPecEECaption(const std::string& text) = 0;
};

// Shows nothing: for command-line use and until a window takes over.
class NoDisplay final : public DeviceDisplay {
  public:
    void showRamBits(std::uint8_t) override {}
    void showEEBits(std::uint8_t) override {}
    void setPecCaption(const std::string&) override {}
    void setEEByteData(const std::string&) override {}
    void setPecEECaption(const std::string&) override {}
};

}  // namespace kestrel
