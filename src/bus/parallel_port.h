#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "bus/kernel_calls.h"
#include "bus/lpt_discovery.h"
#include "bus/port_access.h"

namespace kestrel {

// A real PC parallel port, reached only through the kernel: the ports the
// kernel lists (/proc/sys/dev/parport) and its ppdev driver (/dev/parportN:
// exclusive claim, write data, read status, release). No raw I/O, no guessed
// address, even as root. The port a transaction drives is opened on first
// use and claimed from EnablePorts to DisablePorts, so other programs can
// use it between transactions.
class ParallelPort final : public PortAccess {
  public:
    // `notice` receives what the user must do when a port cannot be opened;
    // it is told once, not on every transaction. `system` answers the system
    // calls (tests); by default the machine's own.
    explicit ParallelPort(std::function<void(const std::string&)> notice,
                          std::unique_ptr<KernelCalls> system = nullptr);
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
        std::string node;  // "/dev/parport0"
        int fd = -1;
        bool claimed = false;
        bool failed = false;  // opening failed once; not tried again
    };
    // The slot whose register block holds `address`, claimed for this
    // transaction, or nullptr when access is not open or not possible.
    Slot* claimedSlotFor(std::uint16_t address);
    void explainOpenFailure(const Slot& slot, int error);

    std::function<void(const std::string&)> notice_;
    std::unique_ptr<KernelCalls> system_;
    std::array<Slot, 3> slots_{};
    std::uint32_t lastState_ = 0;
    bool enabled_ = false;
};

}  // namespace kestrel
