#pragma once

#include "bus/port_access.h"

namespace kestrel {

// A port that accepts every write and always reads back the same status.
// Used to measure the software cost of the bus code without hardware.
class NullPort final : public PortAccess {
  public:
    explicit NullPort(std::uint16_t base = 0x378, std::uint16_t status = 0) noexcept
        : base_(base), status_(status) {}

    void Outport(std::uint16_t, std::uint8_t value) override { last_ = value; }
    std::uint16_t Inport(std::uint16_t) override { return status_; }
    void EnablePorts(std::int16_t, std::int16_t) override {}
    void DisablePorts(std::int16_t, std::int16_t) override {}
    std::uint16_t GetLPTPortAddress(int n) override { return n == 1 ? base_ : 0; }
    std::uint32_t GetLastState(int) override { return 0; }

    std::uint8_t lastWritten() const noexcept { return last_; }

  private:
    std::uint16_t base_;
    std::uint16_t status_;
    std::uint8_t last_ = 0;
};

}  // namespace kestrel
