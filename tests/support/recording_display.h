#pragma once

#include <string>

#include "device/device_display.h"

namespace kestrel::testing {

// Keeps what the transactions show, as the main window's controls would.
class RecordingDisplay final : public DeviceDisplay {
  public:
    void showRamBits(std::uint8_t value) override { ramBits = bits(value); }
    void showEEBits(std::uint8_t value) override { eeBits = bits(value); }
    void setPecCaption(const std::string& text) override { pec = text; }
    void setEEByteData(const std::string& text) override { eeByteData = text; }
    void setPecEECaption(const std::string& text) override { pecEE = text; }

    // Captions from bit 7 down to bit 0, e.g. "00000100".
    std::string ramBits = "00000000";
    std::string eeBits = "00000000";
    std::string pec = "-";
    std::string eeByteData = "00";
    std::string pecEE = "-";

  private:
    static std::string bits(std::uint8_t v) {
        std::string s;
        for (int i = 7; i >= 0; --i) s += ((v >> i) & 1) ? '1' : '0';
        return s;
    }
};

}  // namespace kestrel::testing
