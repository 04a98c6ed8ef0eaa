#include "connection/connection.h"

#include "connection/simulated_i2c_adapter.h"
#include "device/text_rules.h"

namespace kestrel {

namespace {

int adapterNumber(const std::string& path) {
    return std::stoi(path.substr(path.find_last_of('-') + 1));
}

}  // namespace

Connection::Connection(ConnectionOptions options) : options_(std::move(options)) {
    const bool startOnAdapter = !options_.i2cAdapter.empty();
    if (options_.port != nullptr) {
        port_ = options_.port;
    } else {
        PortStackOptions portOptions;
        portOptions.simulate = options_.simulate;
        portOptions.seed = options_.seed;
        portOptions.simStatePath = options_.simStatePath;
        portOptions.badStateEndsRun = options_.badStateEndsRun;
        // An adapter gives no lines to trace.
        if (!startOnAdapter) portOptions.tracePath = options_.tracePath;
        portOptions.notice = options_.notice;
        ports_ = std::make_unique<PortStack>(portOptions);
        problems_ = ports_->problems();
        port_ = &ports_->port();
    }
    if (startOnAdapter && !options_.tracePath.empty())
        problems_.push_back(
            "The line trace needs the parallel port's lines; an I2C adapter "
            "does not give them, so no trace is recorded.");

    hooks_ = options_.waitHooks ? *options_.waitHooks : sleepingWaitHooks();
    bus_ = std::make_unique<Bus>(*port_, globals_.LPTBase, globals_.PortEntry);
    bus_->setWaitHooks(hooks_);
    switch_ = std::make_unique<ExecutorSwitch>(*bus_);
    gate_ = std::make_unique<JobGate>(*switch_);
    device_ = std::make_unique<Device>(globals_, *gate_);
    device_->setPortDirectory(*port_);

    if (startOnAdapter) {
        const std::string path = i2cAdapterPath(options_.i2cAdapter);
        adapterFailure_ = useAdapter(path.empty() ? options_.i2cAdapter : path);
        // Asked for an adapter, never fall back to the port: a closed
        // adapter sends nothing and says so.
        if (!adapterFailure_.empty()) switch_->use(*adapter_);
    }
    owner_ = std::make_unique<BusOwner>(*this);
    gate_->setStopCheck([this] { return owner_->currentStopRequested(); });
    gate_->setRanHook([this](std::size_t n) { owner_->transactionsRan(n); });
}

Connection::~Connection() {
    owner_.reset();
}

void Connection::setPortRetryHint(std::string hint) {
    retryHint_ = !hint.empty();
    bus_->setRetryHint(std::move(hint));
    if (adapter_) adapter_->setRetryHint(adapterRetryHint(adapter_->path()));
}

std::string Connection::adapterRetryHint(const std::string& path) const {
    return retryHint_ ? "Tools > Connection > I2C " + path + " tries again." : std::string();
}

KernelCalls& Connection::kernel() {
    if (options_.kernel != nullptr) return *options_.kernel;
    if (options_.simulate) {
        if (!simulatedAdapter_) {
            // The simulated board appears as the adapter asked for, else as i2c-0.
            const std::string asked = i2cAdapterPath(options_.i2cAdapter);
            simulatedAdapter_ = std::make_unique<SimulatedI2cAdapter>(
                *port_, asked.empty() ? 0 : adapterNumber(asked));
        }
        return *simulatedAdapter_;
    }
    if (!ownKernel_) ownKernel_ = makeRealKernelCalls();
    return *ownKernel_;
}

std::string Connection::adapterName(const std::string& path) {
    for (const I2cAdapterInfo& a : listI2cAdapters(kernel()))
        if (a.path == path) return a.name;
    return {};
}

std::vector<Connection::Choice> Connection::choices() {
    std::vector<Choice> list;
    list.push_back({board() != nullptr ? "Simulated board" : "Parallel port", ""});
    for (const I2cAdapterInfo& a : listI2cAdapters(kernel()))
        list.push_back({"I2C " + a.path + (a.name.empty() ? "" : ": " + a.name), a.path});
    return list;
}

std::string Connection::useAdapter(const std::string& path) {
    auto next = std::make_unique<I2cAdapterExecutor>(kernel(), path, [this](int ms) {
        waitMilliseconds(hooks_, static_cast<std::uint32_t>(ms));
    });
    next->setRetryHint(adapterRetryHint(path));
    const std::string failure = next->open();
    if (!failure.empty()) {
        // Kept closed, for a start on a missing adapter; the current
        // connection stays as it was.
        if (!adapter_) adapter_ = std::move(next);
        return failure;
    }
    switch_->use(*bus_);  // lets go of the adapter before it is replaced
    adapter_ = std::move(next);
    switch_->use(*adapter_);
    return {};
}

std::string Connection::useParallelPort() {
    switch_->use(*bus_);
    return bus_->connectPort();
}

std::string Connection::description() {
    if (onAdapter()) {
        if (!adapter_->isOpen()) return "I2C " + adapter_->path() + " cannot be opened";
        if (!adapter_->failure().empty()) return adapter_->failure();
        const std::string name = adapterName(adapter_->path());
        return "I2C " + adapter_->path() + (name.empty() ? "" : ": " + name);
    }
    if (board() != nullptr) return "Simulated board";
    if (!bus_->portFailure().empty()) return bus_->portFailure();
    if (globals_.LPTBase != 0)
        return "LPT1 " + text::hexText(static_cast<unsigned>(globals_.LPTBase)) + "h";
    return "No parallel port";
}

bool Connection::finish(std::string* error) {
    if (!ports_) return true;
    return ports_->finish(error);
}

}  // namespace kestrel
