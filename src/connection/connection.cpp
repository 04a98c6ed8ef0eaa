#include "connection/connection.h"

#include "connection/simulated_i2c_adapter.h"

namespace kestrel {

Connection::Connection(ConnectionOptions options) : options_(std::move(options)) {
    const bool viaAdapter = !options_.i2cAdapter.empty();
    if (options_.port != nullptr) {
        port_ = options_.port;
    } else if (options_.simulate || !viaAdapter) {
        PortStackOptions portOptions;
        portOptions.simulate = options_.simulate;
        portOptions.seed = options_.seed;
        portOptions.simStatePath = options_.simStatePath;
        // An adapter gives no lines to trace.
        if (!viaAdapter) portOptions.tracePath = options_.tracePath;
        portOptions.notice = options_.notice;
        ports_ = std::make_unique<PortStack>(portOptions);
        problems_ = ports_->problems();
        port_ = &ports_->port();
    }
    if (viaAdapter && !options_.tracePath.empty())
        problems_.push_back("The line trace needs the parallel port's lines; an I2C adapter "
                            "does not give them, so no trace is recorded.");

    const WaitHooks hooks = options_.waitHooks ? *options_.waitHooks : sleepingWaitHooks();
    if (port_ != nullptr) {
        bus_ = std::make_unique<Bus>(*port_, globals_.LPTBase, globals_.PortEntry);
        bus_->setWaitHooks(hooks);
        bus_->setNoticeSink(options_.notice);
        executor_ = bus_.get();
        description_ = board() != nullptr ? "Simulated board" : "";
    }

    if (viaAdapter) {
        KernelCalls* kernel = options_.kernel;
        std::string path = i2cAdapterPath(options_.i2cAdapter);
        if (kernel == nullptr && options_.simulate && port_ != nullptr && !path.empty()) {
            // The simulated board appears as the adapter the user named.
            const int number = std::stoi(path.substr(path.find_last_of('-') + 1));
            simulatedAdapter_ = std::make_unique<SimulatedI2cAdapter>(*port_, number);
            kernel = simulatedAdapter_.get();
        }
        if (kernel == nullptr) {
            ownKernel_ = makeRealKernelCalls();
            kernel = ownKernel_.get();
        }
        if (path.empty()) path = options_.i2cAdapter;
        adapter_ = std::make_unique<I2cAdapterExecutor>(
            *kernel, path, [hooks](int ms) {
                const std::int32_t handles[1] = {0};
                waitMilliseconds(hooks, ms, handles, 0);
            });
        adapter_->setNoticeSink(options_.notice);
        adapterFailure_ = adapter_->open();
        executor_ = adapter_.get();
        std::string name;
        for (const I2cAdapterInfo& a : listI2cAdapters(*kernel))
            if (a.path == path) name = a.name;
        description_ = adapterFailure_.empty()
                           ? "I2C " + path + (name.empty() ? "" : ": " + name)
                           : "I2C " + path + " cannot be opened";
    }
    device_ = std::make_unique<Device>(globals_, *executor_, noDisplay_);
    if (port_ != nullptr && !viaAdapter) device_->setPortDirectory(*port_);
}

Connection::~Connection() = default;

bool Connection::finish(std::string* error) {
    if (!ports_) return true;
    return ports_->finish(error);
}

}  // namespace kestrel
