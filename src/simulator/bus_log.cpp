#include "simulator/bus_log.h"

#include <chrono>
#include <cstdio>

namespace kestrel::sim {

namespace {

std::uint64_t nowMicros() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

}  // namespace

std::vector<std::uint8_t> LoggedTransaction::masterBytes() const {
    std::vector<std::uint8_t> out;
    for (const BusEvent& e : events)
        if (e.kind == BusEvent::Kind::Byte && !e.fromSlave) out.push_back(e.value);
    return out;
}

std::string LoggedTransaction::describe() const {
    std::string out;
    for (const BusEvent& e : events) {
        if (!out.empty()) out += ' ';
        switch (e.kind) {
            case BusEvent::Kind::Start:
                out += 'S';
                break;
            case BusEvent::Kind::RepeatedStart:
                out += "Sr";
                break;
            case BusEvent::Kind::Stop:
                out += 'P';
                break;
            case BusEvent::Kind::Byte: {
                char buf[8];
                std::snprintf(buf, sizeof buf, "%s%02X%c", e.fromSlave ? "<" : "", e.value,
                              e.acked ? '+' : '-');
                out += buf;
                break;
            }
        }
    }
    return out;
}

BusLog::BusLog(std::size_t capacity) : capacity_(capacity), startedAt_(nowMicros()) {}

void BusLog::onStart() {
    if (inTransaction_) {
        current_.events.push_back({BusEvent::Kind::RepeatedStart, 0, false, false});
    } else {
        inTransaction_ = true;
        current_ = LoggedTransaction{};
        current_.events.reserve(16);
        current_.startMicros = nowMicros() - startedAt_;
        current_.events.push_back({BusEvent::Kind::Start, 0, false, false});
    }
    firstByte_ = true;
    reading_ = false;
    bits_ = 0;
    shift_ = 0;
}

void BusLog::onStop() {
    if (!inTransaction_) return;
    current_.events.push_back({BusEvent::Kind::Stop, 0, false, false});
    inTransaction_ = false;
    if (done_.size() >= capacity_) done_.pop_front();
    done_.push_back(std::move(current_));
}

void BusLog::onSclRise(bool sda) {
    if (!inTransaction_) return;
    if (bits_ < 8) {
        shift_ = static_cast<std::uint8_t>((shift_ << 1) | (sda ? 1 : 0));
        ++bits_;
        return;
    }
    // Ninth clock: the acknowledge bit of the receiver.
    current_.events.push_back({BusEvent::Kind::Byte, shift_, !sda, reading_});
    if (firstByte_) {
        reading_ = (shift_ & 1) != 0;
        firstByte_ = false;
    }
    bits_ = 0;
    shift_ = 0;
}

std::vector<std::string> BusLog::describeAll() const {
    std::vector<std::string> out;
    out.reserve(done_.size());
    for (const LoggedTransaction& t : done_) out.push_back(t.describe());
    return out;
}

}  // namespace kestrel::sim
