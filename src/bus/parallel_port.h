#pragma once

#include <array>
#include <functional>
#include <string>

#include "bus/lpt_discovery.h"
#include "bus/port_access.h"

struct parport;
struct parport_list;

namespace kestrel {

// A real PC parallel port, reached through libieee1284 and the kernel's ppdev
// driver (no root, no raw I/O). The port whose base address a transaction
// drives is opened on first use and claimed from EnablePorts to DisablePorts,
// so other programs (a printer daemon) can use it between transactions.
class ParallelPort final : public PortAccess {
  public:
    // `notice` receives what the user must do when a port cannot be opened;
    // it is told once, not on every transaction.
    explicit ParallelPort(std::function<void(const std::string&)> notice);
    ~ParallelPort() override;
    ParallelPort(const ParallelPort&) = delete;
    ParallelPort& operator=(const ParallelPort&) = delete;

    void Outport(std::uint16_t port, std::uint8_t value) override;
    std::uint16_t Inport(std::uint16_t port) override;
    void EnablePorts(std::int16_t first, std::int16_t last) override;
    void DisablePorts(std::int16_t first, std::int16_t last) override;
    std::uint16_t GetLPTPortAddress(int n) override;
    std::uint32_t GetLastState(int) override { return lastState_; }

  private:
    struct Slot {
        LptSlot info;
        ::parport* port = nullptr;
        bool opened = false;
        bool claimed = false;
        bool failed = false;  // opening failed once; not tried again
    };
    // The slot whose register block holds `address`, claimed for this
    // transaction, or nullptr when access is not open or not possible.
    Slot* claimedSlotFor(std::uint16_t address);
    void explainOpenFailure(const Slot& slot, int error);

    std::function<void(const std::string&)> notice_;
    ::parport_list* list_ = nullptr;
    std::array<Slot, 3> slots_{};
    std::uint32_t lastState_ = 0;
    bool enabled_ = false;
    bool discoveryFailed_ = false;
};

}  // namespace kestrel
