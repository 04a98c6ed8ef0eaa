#include "bus/bus.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace kestrel {

namespace {
// After the port's own words in a record whose port failed.
constexpr const char* kCutShort = "; the transaction did not run to its end";

std::uint64_t steadyNanos() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}
}  // namespace

BusTransaction::BusTransaction(BusTransaction&& other) noexcept
    : bus_(std::exchange(other.bus_, nullptr)) {}

BusTransaction::~BusTransaction() {
    if (bus_ != nullptr) bus_->endTransaction();
}

Bus::Bus(PortAccess& port, const std::atomic<std::int16_t>& lptBase,
         const std::atomic<std::int16_t>& portEntry)
    : port_(port),
      lptBase_(lptBase),
      portEntry_(portEntry),
      hooks_(sleepingWaitHooks()),
      clock_(steadyNanos) {}

std::string Bus::refusal() {
    if (shutDown_) return "The program is ending; nothing more is sent on the bus.";
    // I/O addresses 0 and 1 belong to other hardware: never drive them.
    if (lptBase_ == 0)
        return "No usable parallel port: LPT1 is missing, so nothing is sent on the bus.";
    if (busy_) return "The bus is busy with an EEPROM write; request ignored, try again.";
    if (connectedBase_ != lptBase_) connectPort();
    if (!portFailure_.empty())
        return portFailure_ + "; nothing was sent." + (retryHint_.empty() ? "" : " ") + retryHint_;
    return {};
}

std::string Bus::connectPort() {
    // Never under a transaction that is running (an event handled in its hold).
    if (lptBase_ == 0 || busy_) return portFailure_;
    portFailure_ = port_.open(static_cast<std::uint16_t>(lptBase_));
    connectedBase_ = lptBase_;
    if (stateSink_) stateSink_();
    return portFailure_;
}

BusTransaction Bus::begin() {
    if (!refusal().empty()) return BusTransaction(nullptr);
    busy_ = true;
    record_.clear();
    record_.sequence = ++sequence_;
    // Its START sets the time; a record without one (a bus clear) has the claim's.
    record_.startMs = started_ ? static_cast<double>(clock_() - firstStart_) / 1e6 : 0;
    inRecord_ = false;
    slot_ = Slot::None;
    port_.EnablePorts(portEntry_, static_cast<std::int16_t>(portEntry_ + 2));
    return BusTransaction(this);
}

void Bus::endTransaction() noexcept {
    port_.DisablePorts(portEntry_, static_cast<std::int16_t>(portEntry_ + 2));
    busy_ = false;
    if (portFailed() && portFailure_.empty()) {
        // Nothing more goes to a port that failed until it is opened again.
        portFailure_ = port_.fault();
        if (stateSink_) stateSink_();
    }
}

void Bus::describe(const char* kind, int target, int targetDigits) {
    record_.kind = kind;
    record_.target = target;
    record_.targetDigits = targetDigits;
}

void Bus::clockOut(const Transfer& transfer) {
    describe(transfer.kind, transfer.target, transfer.targetDigits);
    // A failed port call ends the transfer after the byte it happened in.
    for (const Message& m : transfer.messages) {
        I2CStart();
        I2CSendByte(m.address);
        I2CAckClock();
        if (portFailed()) return;
        if (!m.isRead()) {
            for (const std::uint8_t byte : m.write) {
                I2CSendByte(byte);
                if (m.masterHoldsWriteAcks)
                    I2CMasterAck();
                else
                    I2CAckClock();
                if (portFailed()) return;
            }
            continue;
        }
        for (int i = 0; i < m.read; ++i) {
            if (transfer.leanReads)
                I2CReadByteLean();
            else
                I2CReadByte();
            // The master acknowledges every byte but the last.
            if (i + 1 < m.read)
                I2CMasterAck();
            else
                I2CAckClock();
            if (portFailed()) return;
        }
    }
    if (transfer.endsWithPec) checkPec(record_);
}

std::optional<std::vector<TransactionRecord>> Bus::runHeld(std::span<const Transfer> transfers,
                                                           Origin origin, bool stopAtFault) {
    (void)origin;
    auto tx = begin();
    if (!tx) return std::nullopt;
    std::vector<TransactionRecord> records;
    records.reserve(transfers.size());
    for (const Transfer& t : transfers) {
        clockOut(t);
        if (t.holdMs > 0 && !portFailed()) {
            // The chip finishes its EEPROM cycle while SCL stays low.
            WaitMilliseconds(static_cast<std::uint32_t>(t.holdMs));
        }
        records.push_back(record_);
        I2CStop();
        if (portFailed()) {
            // The whole run ends with the transaction the port failed in.
            records.back().portError = port_.fault() + kCutShort;
            break;
        }
        if (stopAtFault && records.back().faulty()) break;
    }
    return records;
}

std::uint16_t Bus::status() {
    if (lptBase_ == 0) return 0;
    const std::uint16_t s = port_.Inport(static_cast<std::uint16_t>(lptBase_ + 1));
    if (captureLines_)
        record_.lines.push_back(static_cast<std::uint8_t>(
            TransactionRecord::kSample |
            ((s & kStatusSdaBit) != 0 ? TransactionRecord::kSampleLow : 0)));
    return s;
}

bool Bus::sampleSdaLow() {
    return (status() & kStatusSdaBit) != 0;
}

// START: SDA falls while SCL is released; leaves both lines low.
void Bus::I2CStart() {
    out(kLinesReleased);
    // With both lines released SDA must read high; low means something on
    // the board holds it (a stuck line, or a slave left in the middle of a byte).
    if (sampleSdaLow()) record_.sdaStuckLow = true;
    out(kSdaLow);
    if (inRecord_) {
        record_.repeatedStarts.push_back({static_cast<std::uint32_t>(record_.sent.size()),
                                          static_cast<std::uint32_t>(record_.received.size())});
    } else {
        // The transaction's time is its START's, from the bus's first START:
        // as a capture of the wire counts it.
        const std::uint64_t now = clock_();
        if (!started_) firstStart_ = now, started_ = true;
        record_.startMs = static_cast<double>(now - firstStart_) / 1e6;
        inRecord_ = true;
    }
    out(kBothLow);
    slot_ = Slot::None;
}

// STOP: SDA rises while SCL is released; leaves the bus idle.
void Bus::I2CStop() {
    out(kBothLow);
    out(kSdaLow);
    out(kLinesReleased);
    slot_ = Slot::None;
    if (portFailed()) record_.portError = port_.fault() + kCutShort;
    // One record per START..STOP; observers see it now.
    notifyObservers(record_);
    record_.clear();
    record_.sequence = ++sequence_;
    inRecord_ = false;
}

// One clock with SDA released: the slave's acknowledge slot, or the master's
// not-acknowledge after the last byte it reads. Either way the record keeps
// what SDA showed.
void Bus::I2CAckClock() {
    out(kSclLow);
    out(kLinesReleased);
    const bool low = sampleSdaLow();
    // A port that failed read nothing: no acknowledge was seen either way.
    const std::int8_t ack = portFailed() ? TransactionRecord::kNotSeen
                            : low        ? TransactionRecord::kAck
                                         : TransactionRecord::kNack;
    if (slot_ == Slot::SentByte && !record_.sent.empty()) record_.sent.back().ack = ack;
    if (slot_ == Slot::ReadByte) record_.receivedAcks.push_back(ack);
    slot_ = Slot::None;
    out(kSclLow);
}

// One clock with SDA held low by the master, then SDA released with SCL low:
// an acknowledge on the wire, whoever's slot it is.
void Bus::I2CMasterAck() {
    out(kBothLow);
    out(kSdaLow);
    const std::int8_t ack = portFailed() ? TransactionRecord::kNotSeen : TransactionRecord::kAck;
    if (slot_ == Slot::SentByte && !record_.sent.empty()) record_.sent.back().ack = ack;
    if (slot_ == Slot::ReadByte) record_.receivedAcks.push_back(ack);
    slot_ = Slot::None;
    out(kSclLow);
}

void Bus::I2CSendByte(int value) {
    record_.sent.push_back({static_cast<std::uint8_t>(value & 0xFF), TransactionRecord::kNotSeen});
    slot_ = Slot::SentByte;
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
    for (int k = 0; k < 8; ++k) {
        out(kSclLow);
        out(kLinesReleased);
        if (!sampleSdaLow()) result += 1 << (7 - k);
        out(kSclLow);
    }
    record_.received.push_back(static_cast<std::uint8_t>(result));
    slot_ = Slot::ReadByte;
    return result;
}

int Bus::I2CReadByteLean() {
    int value = 0;
    for (int k = 0; k < 8; ++k) {
        out(kLinesReleased);
        if (!sampleSdaLow()) value |= 0x80 >> k;
        out(kSclLow);
    }
    record_.received.push_back(static_cast<std::uint8_t>(value));
    slot_ = Slot::ReadByte;
    return value;
}

void Bus::WaitMilliseconds(std::uint32_t ms) {
    waitMilliseconds(hooks_, ms);
}

}  // namespace kestrel
