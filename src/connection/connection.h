#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bus/bus.h"
#include "bus/i2c_adapter.h"
#include "bus/kernel_calls.h"
#include "connection/bus_owner.h"
#include "connection/executor_switch.h"
#include "connection/job_gate.h"
#include "connection/port_stack.h"
#include "device/device.h"
#include "device/globals.h"

namespace kestrel {

class SimulatedI2cAdapter;

// How the program reaches the chip; the one set of options the windows and
// batch mode share.
struct ConnectionOptions {
    bool simulate = true;      // the simulated board instead of the real hardware
    std::uint32_t seed = 1;    // of the simulated board's status activity
    std::string simStatePath;  // keeps the simulated board in this file ("" for none)
    // A state file that does not load ends the run (batch mode) instead of
    // leaving a fresh board to the windows.
    bool badStateEndsRun = false;
    std::string tracePath;  // records every line change as VCD ("" for none)
    // An I2C adapter ("/dev/i2c-3" or "3") instead of the parallel port; with
    // `simulate`, the simulated board is reached through an adapter whose
    // calls the simulated wire answers.
    std::string i2cAdapter;
    PortAccess* port = nullptr;          // a caller's port instead of the assembled one (tests)
    KernelCalls* kernel = nullptr;       // a caller's kernel calls for the adapter (tests)
    std::optional<WaitHooks> waitHooks;  // the EEPROM holds and job sleeps; default: a plain sleep
    std::function<void(const std::string&)> notice;  // what the user must be told

    // The real hardware: the parallel port, or the adapter named.
    static ConnectionOptions realHardware() {
        ConnectionOptions o;
        o.simulate = false;
        return o;
    }
};

// The program's connection to the chip, assembled once from its options:
// the shared state, the port (simulated or real, with the trace around it),
// the executor that runs transactions on it (the bit-banged bus or an I2C
// adapter) and the device layer on top.
class Connection {
  public:
    explicit Connection(ConnectionOptions options);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    Globals& globals() { return globals_; }
    Device& device() { return *device_; }
    // What the device layer runs its transactions on: observers attach here.
    TransferExecutor& executor() { return *gate_; }
    // The thread that runs every job on this connection's bus.
    BusOwner& owner() { return *owner_; }
    const WaitHooks& waitHooks() const { return hooks_; }
    // The bit-banged bus on the parallel port, for what needs the lines
    // themselves (port test, bus clear); nullptr on an I2C adapter.
    Bus* lineBus() { return onAdapter() ? nullptr : bus_.get(); }
    bool onAdapter() const { return adapter_ && &switch_->current() == adapter_.get(); }

    // What the user can choose to reach the chip through: the parallel port
    // (or the simulated board on it), then every I2C adapter the kernel lists.
    struct Choice {
        std::string label;        // "Simulated board", "I2C /dev/i2c-3: CP2112 ..."
        std::string adapterPath;  // empty: the parallel port
    };
    std::vector<Choice> choices();
    // Goes through the adapter at `path` from now on, opened afresh (the way
    // to try again after it failed). Empty on success; otherwise what the
    // user must do, and the connection is unchanged. On the bus owner's
    // thread (a job), or before it runs anything.
    std::string useAdapter(const std::string& path);
    // Goes through the parallel port again and opens it afresh (the way to
    // try again after it could not be opened or failed). Empty on success,
    // otherwise why the port cannot be used. As useAdapter.
    std::string useParallelPort();
    // Opens the parallel port (LPT base address already in the shared state)
    // and makes sure it can be claimed. Empty when it can be used, otherwise
    // why not and what to do; every transaction is refused then.
    std::string connectPort() { return bus_->connectPort(); }
    // Called whenever the parallel port's state may have changed (it could
    // not be opened, it failed, it was opened again): the indicator follows.
    void setPortStateSink(std::function<void()> sink) { bus_->setStateSink(std::move(sink)); }
    // How the user tries the port again, told after why it refuses (an
    // adapter names itself the same way).
    void setPortRetryHint(std::string hint);
    // The simulated board, or nullptr on real hardware.
    sim::SimulatedBoard* board() { return ports_ ? ports_->board() : nullptr; }
    // The I2C adapter, or nullptr on the parallel port.
    I2cAdapterExecutor* adapter() { return onAdapter() ? adapter_.get() : nullptr; }
    SimulatedI2cAdapter* simulatedAdapter() { return simulatedAdapter_.get(); }

    // Problems met while assembling (state or trace file), to tell the user.
    const std::vector<std::string>& problems() const { return problems_; }
    bool stateFileFailed() const { return ports_ && ports_->stateFileFailed(); }
    // Why the I2C adapter could not be opened, with what to do; empty when
    // it was, or on the parallel port.
    const std::string& adapterFailure() const { return adapterFailure_; }
    // For the connection indicator: "Simulated board", "LPT1 378h",
    // "I2C /dev/i2c-3: CP2112 SMBus Bridge", or why the port cannot be used
    // ("LPT1 cannot be opened: /dev/parport0: permission denied; add
    // yourself to group lp").
    std::string description();

    // No transaction starts after this.
    void shutDown() noexcept { gate_->shutDown(); }
    // Saves the simulated board and ends the trace; false with the reason.
    bool finish(std::string* error);

  private:
    KernelCalls& kernel();
    std::string adapterName(const std::string& path);

    ConnectionOptions options_;
    Globals globals_;
    std::unique_ptr<PortStack> ports_;
    PortAccess* port_ = nullptr;
    std::unique_ptr<Bus> bus_;
    std::unique_ptr<KernelCalls> ownKernel_;
    std::unique_ptr<SimulatedI2cAdapter> simulatedAdapter_;
    std::unique_ptr<I2cAdapterExecutor> adapter_;
    std::unique_ptr<ExecutorSwitch> switch_;
    std::unique_ptr<JobGate> gate_;
    WaitHooks hooks_;
    std::unique_ptr<Device> device_;
    std::string adapterRetryHint(const std::string& path) const;
    bool retryHint_ = false;  // say how to try again after a refusal
    std::vector<std::string> problems_;
    std::string adapterFailure_;
    // Last: its thread may use everything above until it has ended.
    std::unique_ptr<BusOwner> owner_;
};

}  // namespace kestrel
