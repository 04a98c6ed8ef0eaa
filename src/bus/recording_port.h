#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "bus/port_access.h"
#include "bus/vcd_writer.h"

namespace kestrel {

// Something that happened at the port, in order.
struct PortEvent {
    enum class Kind { Write, Read, Enable, Disable };
    Kind kind;
    std::uint16_t value;  // value written or read; `first` for Enable/Disable
};

// Wraps any port and keeps what passes through it: every data write and
// status read in order (for tests), and optionally the line history as a VCD
// trace streamed to a file (for a whole session, without growing in memory).
class RecordingPort final : public PortAccess {
  public:
    explicit RecordingPort(PortAccess& inner, bool keepEvents = true)
        : inner_(inner), keep_(keepEvents) {}

    // Records the lines into `trace`: the wire's own levels where the port
    // can see them, otherwise what the program drives, corrected by its samples.
    void attachTrace(std::unique_ptr<VcdWriter> trace) {
        trace_ = std::move(trace);
        bool scl, sda;
        sees_ = inner_.wireLevels(&scl, &sda);
    }
    VcdWriter* trace() const { return trace_.get(); }

    void Outport(std::uint16_t port, std::uint8_t value) override;
    std::uint16_t Inport(std::uint16_t port) override;
    void EnablePorts(std::int16_t first, std::int16_t last) override;
    void DisablePorts(std::int16_t first, std::int16_t last) override;
    std::uint16_t GetLPTPortAddress(int n) override { return inner_.GetLPTPortAddress(n); }
    std::uint32_t GetLastState(int unused) override { return inner_.GetLastState(unused); }
    bool wireLevels(bool* scl, bool* sda) override { return inner_.wireLevels(scl, sda); }
    std::string open(std::uint16_t base) override { return inner_.open(base); }
    const std::string& fault() const override { return inner_.fault(); }

    const std::vector<PortEvent>& events() const { return events_; }
    // Just the data-register writes, in order.
    std::vector<int> writes() const;
    void clear() { events_.clear(); }

  private:
    void keep(PortEvent::Kind kind, std::uint16_t value) {
        if (keep_) events_.push_back({kind, value});
    }

    PortAccess& inner_;
    bool keep_;
    std::vector<PortEvent> events_;
    std::unique_ptr<VcdWriter> trace_;
    bool sees_ = false;  // the inner port shows the wire's levels
};

}  // namespace kestrel
