#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "simulator/wire.h"

namespace kestrel::sim {

// One thing seen on the bus.
struct BusEvent {
    enum class Kind : std::uint8_t { Start, RepeatedStart, Stop, Byte };
    Kind kind;
    std::uint8_t value = 0;  // the byte
    bool acked = false;      // SDA low in the ninth clock
    bool fromSlave = false;  // sent by the slave (a read)
};

// Everything between a START and its STOP.
struct LoggedTransaction {
    std::vector<BusEvent> events;
    std::uint64_t startMicros = 0;  // time since the board started

    // The bytes the master sent, in order.
    std::vector<std::uint8_t> masterBytes() const;
    // Compact text: "S AE+ 1D+ Sr AF+ <3C+ <5A- P" ('<' marks a slave byte,
    // '+' an acknowledged byte).
    std::string describe() const;
};

// A passive analyser on the two lines: decodes START, repeated START, STOP
// and every byte with its acknowledge bit, whoever sends it. Keeps the most
// recent transactions only, so a long polling session stays small.
class BusLog final : public WireListener {
  public:
    explicit BusLog(std::size_t capacity = 4096);

    void onStart() override;
    void onStop() override;
    void onSclRise(bool sda) override;
    void onSclFall() override {}

    const std::deque<LoggedTransaction>& transactions() const { return done_; }
    // Describes every transaction, one per element.
    std::vector<std::string> describeAll() const;
    void clear() { done_.clear(); }

  private:
    std::size_t capacity_;
    std::deque<LoggedTransaction> done_;
    LoggedTransaction current_;
    bool inTransaction_ = false;
    bool firstByte_ = false;
    bool reading_ = false;
    int bits_ = 0;
    std::uint8_t shift_ = 0;
    std::uint64_t startedAt_;
};

}  // namespace kestrel::sim
