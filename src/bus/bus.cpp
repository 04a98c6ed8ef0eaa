#include "bus/bus.h"

#include <utility>

namespace kestrel {

BusTransaction::BusTransaction(BusTransaction&& other) noexcept
    : bus_(std::exchange(other.bus_, nullptr)) {}

BusTransaction::~BusTransaction() {
    if (bus_ != nullptr) bus_->endTransaction();
}

Bus::Bus(PortAccess& port, const std::int16_t& lptBase, const std::int16_t& portEntry)
    : port_(port), lptBase_(lptBase), portEntry_(portEntry), hooks_(sleepingWaitHooks()) {}

void Bus::tell(const std::string& text) {
    if (notice_) notice_(text);
}

bool Bus::available(Origin origin) {
    if (shutDown_) return false;
    if (lptBase_ == 0) {
        // I/O addresses 0 and 1 belong to other hardware: never drive them.
        if (!toldNoPort_) {
            toldNoPort_ = true;
            tell("No usable parallel port: LPT1 is missing, so nothing is sent on the bus.");
        }
        return false;
    }
    if (busy_) {
        if (origin == Origin::User)
            tell("The bus is busy with an EEPROM write; request ignored, try again.");
        return false;
    }
    return true;
}

BusTransaction Bus::begin(Origin origin) {
    if (!available(origin)) return BusTransaction(nullptr);
    busy_ = true;
    port_.EnablePorts(portEntry_, static_cast<std::int16_t>(portEntry_ + 2));
    return BusTransaction(this);
}

void Bus::endTransaction() noexcept {
    port_.DisablePorts(portEntry_, static_cast<std::int16_t>(portEntry_ + 2));
    busy_ = false;
}

void Bus::openAccess() {
    if (lptBase_ != 0 && !busy_ && !shutDown_)
        port_.EnablePorts(portEntry_, static_cast<std::int16_t>(portEntry_ + 2));
}

void Bus::closeAccess() {
    if (lptBase_ != 0 && !busy_)
        port_.DisablePorts(portEntry_, static_cast<std::int16_t>(portEntry_ + 2));
}

// START: SDA falls while SCL is released; leaves both lines low.
void Bus::I2CStart() {
    out(kLinesReleased);
    out(kSdaLow);
    out(kBothLow);
}

// STOP: SDA rises while SCL is released; leaves the bus idle.
void Bus::I2CStop() {
    out(kBothLow);
    out(kSdaLow);
    out(kLinesReleased);
}

// One clock with SDA released: the slave's acknowledge slot, or the master's
// not-acknowledge after the last byte it reads.
void Bus::I2CAckClock() {
    out(kSclLow);
    out(kLinesReleased);
    out(kSclLow);
}

// One clock with SDA held low by the master, then SDA released with SCL low.
void Bus::I2CMasterAck() {
    out(kBothLow);
    out(kSdaLow);
    out(kSclLow);
}

void Bus::I2CSendByte(int value) {
    for (int mask = 0x80; mask != 0; mask >>= 1) {
        if ((value & mask) != 0) {
            out(kSclLow);
            out(kLinesReleased);
            out(kSclLow);
        } else {
            out(kBothLow);
            out(kSdaLow);
            out(kBothLow);
        }
    }
}

// Samples SDA after each rising edge of SCL; a clear status bit is a 1 bit.
int Bus::I2CReadByte() {
    int result = 0;
    const auto status = static_cast<std::uint16_t>(lptBase_ + 1);
    for (int k = 0; k < 8; ++k) {
        out(kSclLow);
        out(kLinesReleased);
        const std::uint16_t s = lptBase_ != 0 ? port_.Inport(status) : 0;
        if ((s & kStatusSdaBit) == 0) result += 1 << (7 - k);
        out(kSclLow);
    }
    return result;
}

std::uint32_t Bus::WaitMilliseconds(std::int32_t ms, const std::int32_t* handles,
                                    std::int32_t count) {
    // All time arithmetic wraps at 32 bits like the tick counter itself.
    const bool infinite = ms == -1;
    const std::uint32_t end = infinite ? 0 : hooks_.tickCount() + static_cast<std::uint32_t>(ms);
    std::int32_t remaining = -1;
    for (;;) {
        if (!infinite) {
            remaining = static_cast<std::int32_t>(end - hooks_.tickCount());
            const std::int32_t x = remaining ^ ms;
            if ((x > 0 && remaining > ms) || (x <= 0 && remaining < 0)) return kWaitTimeout;
        }
        const std::uint32_t r =
            hooks_.waitForInput(static_cast<std::uint32_t>(count), handles, remaining);
        hooks_.processEvents();
        if (r != static_cast<std::uint32_t>(count)) return r;
    }
}

}  // namespace kestrel
