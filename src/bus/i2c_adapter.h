#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bus/kernel_calls.h"
#include "bus/transfer.h"

namespace kestrel {

// An I2C adapter the kernel offers as /dev/i2c-N, with its name from sysfs.
struct I2cAdapterInfo {
    int number = 0;
    std::string path;  // "/dev/i2c-3"
    std::string name;  // "CP2112 SMBus Bridge on hidraw0"
};

// The adapters under /sys/class/i2c-dev, by number.
std::vector<I2cAdapterInfo> listI2cAdapters(KernelCalls& calls);

// "/dev/i2c-3" from "3" or "/dev/i2c-3"; empty when it is neither.
std::string i2cAdapterPath(const std::string& argument);

// Runs transactions through a kernel I2C adapter (i2c-dev): each transfer
// is one I2C_RDWR ioctl of at most one write message and one read message
// joined by a repeated START, the form that common USB bridges accept. The
// PEC is checked here on what came back; a missing acknowledge (ENXIO,
// EREMOTEIO, EIO) shows as the address byte not acknowledged; the chip's
// EEPROM cycle becomes a pause after the STOP. The lines themselves are out
// of reach: no port test, bus clear, line trace or waveform.
class I2cAdapterExecutor final : public TransferExecutor {
  public:
    using Pause = std::function<void(int ms)>;
    I2cAdapterExecutor(KernelCalls& calls, std::string path, Pause pause);
    ~I2cAdapterExecutor() override;
    I2cAdapterExecutor(const I2cAdapterExecutor&) = delete;
    I2cAdapterExecutor& operator=(const I2cAdapterExecutor&) = delete;

    // Opens the adapter and checks what it can carry. Empty on success,
    // otherwise what the user must do (load a module, join a group).
    std::string open();
    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }
    // Why the adapter refuses every transaction since one failed in the
    // kernel (the bridge unplugged, an I/O error); empty while it works.
    // Opening it again starts afresh.
    const std::string& failure() const { return failure_; }
    // Told after the reason a failed adapter refuses a transaction.
    void setRetryHint(std::string hint) { retryHint_ = std::move(hint); }

    std::string refusal() override;
    std::optional<std::vector<TransactionRecord>> runHeld(std::span<const Transfer> transfers,
                                                          Origin origin, bool stopAtFault) override;
    bool hasLineAccess() const override { return false; }
    // With I2C_M_IGNORE_NAK on the message whose slots the master takes.
    bool takesAcknowledgeSlots() const override;
    void shutDown() noexcept override { shutDown_ = true; }

  private:
    TransactionRecord runOne(const Transfer& t);
    // A probe (address byte alone): the SMBus quick command where the adapter
    // has it, otherwise a one-byte read, as i2cdetect does.
    TransactionRecord probe(const Transfer& t);

    KernelCalls& calls_;
    std::string path_;
    void noteFailure(int error);

    Pause pause_;
    std::string failure_;
    std::string retryHint_;
    int fd_ = -1;
    unsigned long functions_ = 0;
    std::uint64_t sequence_ = 0;
    std::chrono::steady_clock::time_point epoch_;  // the first transaction's start
    bool started_ = false;
    bool busy_ = false;  // a transaction or its EEPROM-cycle pause is under way
    bool shutDown_ = false;
};

}  // namespace kestrel
