#pragma once

#include <cstdint>

#include "simulator/smbus_slave.h"

namespace kestrel::sim {

// A PLOVER analog switch: one byte, set by a two-byte write (address, switch
// byte) and read back by a read of its address.
class PloverModel final : public SmbusSlave {
  public:
    explicit PloverModel(std::uint8_t address) : address_(address & 0xFE) {}

    std::uint8_t address() const { return address_; }
    std::uint8_t switches() const { return switches_; }
    void setSwitches(std::uint8_t value) { switches_ = value; }
    // How many switch bytes it has received.
    int writes() const { return writes_; }

  protected:
    bool respondsTo(std::uint8_t addressByte) const override { return addressByte == address_; }
    bool onAddressed(std::uint8_t, bool repeated) override {
        if (!repeated) received_ = 0;
        return true;
    }
    bool onByteWritten(std::uint8_t byte) override {
        if (received_++ == 0) pending_ = byte;
        return true;
    }
    std::uint8_t nextByteToSend() override { return switches_; }
    void onStopCondition() override {
        if (received_ == 1) {
            switches_ = pending_;
            ++writes_;
        }
        received_ = 0;
    }

  private:
    std::uint8_t address_;
    std::uint8_t switches_ = 0;
    std::uint8_t pending_ = 0;
    int received_ = 0;
    int writes_ = 0;
};

}  // namespace kestrel::sim
