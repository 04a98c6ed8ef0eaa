#pragma once

#include <cstdint>

#include "bus/port_access.h"

namespace kestrel {

// Passes every call on to another port and counts the data-register writes
// and status reads: the cost of a bus operation, whatever the machine.
class CountingPort final : public PortAccess {
  public:
    explicit CountingPort(PortAccess& inner) : inner_(inner) {}

    void Outport(std::uint16_t port, std::uint8_t value) override {
        ++writes;
        inner_.Outport(port, value);
    }
    std::uint16_t Inport(std::uint16_t port) override {
        ++reads;
        return inner_.Inport(port);
    }
    void EnablePorts(std::int16_t first, std::int16_t last) override {
        inner_.EnablePorts(first, last);
    }
    void DisablePorts(std::int16_t first, std::int16_t last) override {
        inner_.DisablePorts(first, last);
    }
    std::uint16_t GetLPTPortAddress(int n) override { return inner_.GetLPTPortAddress(n); }
    std::uint32_t GetLastState(int unused) override { return inner_.GetLastState(unused); }
    std::string open(std::uint16_t base) override { return inner_.open(base); }
    const std::string& fault() const override { return inner_.fault(); }

    std::uint64_t accesses() const { return writes + reads; }
    std::uint64_t writes = 0;
    std::uint64_t reads = 0;

  private:
    PortAccess& inner_;
};

}  // namespace kestrel
