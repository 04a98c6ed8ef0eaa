#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bus/bus.h"
#include "bus/kernel_calls.h"
#include "bus/port_access.h"
#include "simulator/kestrel_model.h"

namespace kestrel {

// A kernel I2C adapter (/dev/i2c-N) whose calls are answered by a board on
// a simulated wire: each I2C_RDWR message list is clocked onto the wire by
// the bit-banged bus, with the slave acknowledging every byte written and
// the master every byte read but the last, and the bytes read go back in the
// read buffers. A missing acknowledge fails the call with ENXIO (address
// byte) or EREMOTEIO (a later byte), as adapter drivers do, unless the
// message asked to go on (I2C_M_IGNORE_NAK), which it honours only when it
// offers I2C_FUNC_PROTOCOL_MANGLING and refuses otherwise (EOPNOTSUPP), as a
// kernel driver does. Lets the adapter path run on the simulated board, and
// tests count its ioctls.
//
// It tells the simulated KESTREL when a message list is an EEPROM byte read
// (a two-byte address from 80h00h up, then a read), which a chip cannot
// know at the address bytes' acknowledge slots but the adapter does.
class SimulatedI2cAdapter final : public KernelCalls {
  public:
    // `board` is the simulated board's port; the adapter appears as
    // /dev/i2c-`number`.
    SimulatedI2cAdapter(PortAccess& board, int number = 0);

    // What the adapter says it can do (I2C_FUNCS).
    void setFunctions(unsigned long functions) { functions_ = functions; }
    // I2C_SLAVE fails with EBUSY for this 7-bit address, as when a kernel
    // driver owns it; 0 for none.
    void setDriverBound(std::uint16_t address) { driverBound_ = address; }
    // Reports one message fewer than it ran, as an adapter that stopped part way.
    void setStopShort(bool on) { stopShort_ = on; }
    // Every open fails with `error` (EACCES: no permission); 0 opens again.
    void setOpenError(int error) { openError_ = error; }
    // Every ioctl the executor made, by request.
    unsigned ioctlCount(unsigned long request) const;
    unsigned ioctlCount() const { return static_cast<unsigned>(requests_.size()); }
    const std::string& path() const { return path_; }

    std::vector<std::string> listFolder(const std::string& path) override;
    bool readText(const std::string& path, std::string& text) override;
    int openNode(const std::string& path, int& error) override;
    void closeNode(int fd) override;
    int ioctl(int fd, unsigned long request, void* argument, int& error) override;
    bool exists(const std::string& path) override { return path == path_; }
    bool readWritable(const std::string& path) override { return path == path_; }

  private:
    int replay(void* argument, int& error);
    int quick(void* argument, int& error);
    // Fails the call as an adapter driver does when the wire said no.
    static int failure(const TransactionRecord& r, int& error);

    sim::KestrelModel* chip_ = nullptr;  // the simulated board's KESTREL, if `board` is one
    std::atomic<std::int16_t> lptBase_;
    std::atomic<std::int16_t> portEntry_ = 0;
    Bus wire_;
    std::string path_;
    int number_;
    unsigned long functions_;
    std::uint16_t slave_ = 0;  // I2C_SLAVE, for the SMBus quick command
    int opens_ = 0;            // each open is closed once; the node stays open while one is not
    int openError_ = 0;
    bool stopShort_ = false;
    std::uint16_t driverBound_ = 0;
    std::vector<unsigned long> requests_;
};

}  // namespace kestrel
