#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bus/kernel_calls.h"
#include "bus/lpt_discovery.h"
#include "bus/port_access.h"

namespace kestrel {

// A real PC parallel port, reached only through the kernel: the ports the
// kernel lists (/proc/sys/dev/parport) and its ppdev driver (/dev/parportN:
// exclusive claim, write data, read status, release). No raw I/O, no guessed
// address, even as root. The port is opened (and a claim tried) when the
// program connects to it, and claimed from the first access of a
// transaction to DisablePorts, so other programs can use it between
// transactions. A call that fails leaves the port failed until it is opened
// again: it sends nothing more and says why (fault()).
class ParallelPort final : public PortAccess {
  public:
    // `notice` receives the longer explanation of what the user must do when
    // a port cannot be opened; each explanation is told once. `system` answers the system
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
    std::string open(std::uint16_t base) override;
    const std::string& fault() const override { return fault_; }

  private:
    struct Slot {
        LptSlot info;
        std::string node;  // "/dev/parport0"
        int fd = -1;
        bool claimed = false;
    };
    // The slot whose register block holds `address`, or nullptr.
    Slot* slotFor(std::uint16_t address);
    // That slot claimed for this transaction, or nullptr when access is not
    // open, the address is no port's, or the port failed.
    Slot* claimedSlotFor(std::uint16_t address);
    void close(Slot& slot);
    // Keeps the first failure of a port call.
    void fail(const Slot& slot, const std::string& what);
    std::string name(const Slot& slot) const;
    void explainOpenFailure(const Slot& slot, int error, bool claiming);

    std::function<void(const std::string&)> notice_;
    std::unique_ptr<KernelCalls> system_;
    std::array<Slot, 3> slots_{};
    std::uint32_t lastState_ = 0;
    std::string fault_;
    std::vector<std::string> explained_;  // the explanations already told
    bool enabled_ = false;
};

}  // namespace kestrel
