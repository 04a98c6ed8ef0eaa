#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "bus/port_access.h"
#include "bus/transaction_record.h"

namespace kestrel {

// The two bus lines after one data-register write (true: high).
struct LineStep {
    std::uint64_t time = 0;  // the caller's timestamp of the write
    bool scl = true;
    bool sda = true;
    bool masterPullsSda = false;
};

// A recorded line event (TransactionRecord::lines): an SDA sample, or else a
// data-register write of line state 0..3.
inline bool isSdaSample(std::uint8_t event) {
    return (event & TransactionRecord::kSample) != 0;
}
inline bool sampledSdaLow(std::uint8_t event) {
    return (event & TransactionRecord::kSampleLow) != 0;
}

// Rebuilds SCL and SDA from what the master knows on a port that cannot see
// the wire: the levels it drives and what it samples. Each write gives one
// step with the levels the master drives. A sample corrects the released SDA
// of the steps since SCL last fell, which are kept open until SCL falls
// again; a sample that finds SDA low while the bus should be idle (released,
// and released before: the check before a START) marks the line as held, so
// that released SDA shows low until a sample reads it high again. The steps
// never show a START, acknowledge or STOP the samples contradict.
class LineDecoder {
  public:
    // A data-register write (line state 0..3) at `time`.
    void write(std::uint8_t lines, std::uint64_t time);
    // A status-register read: SDA's level as sampled.
    void sample(bool sdaLow);
    // One recorded line event; `time` stamps a write.
    void replay(std::uint8_t event, std::uint64_t time);

    // The end of a transaction: only the steps since SCL last rose stay open
    // (a STOP that a slave holding SDA prevents shows at the next START's check).
    void settleTransaction();
    // Every step is final.
    void settleAll() { settled_ = steps_.size(); }

    // Steps no sample can correct any more, oldest first; take one only
    // while there is one.
    bool hasSettled() const { return settled_ > 0; }
    // Every step given so far is final (and taken or ready to be taken).
    bool allSettled() const { return open() == 0; }
    LineStep takeSettled();

  private:
    std::size_t open() const { return steps_.size() - settled_; }

    std::deque<LineStep> steps_;
    std::size_t settled_ = 0;                  // the first `settled_` steps are final
    bool held_ = false;                        // a sample found SDA low on an idle bus
    std::uint8_t lastLines_ = kLinesReleased;  // the write before the newest one
    std::uint8_t lines_ = kLinesReleased;      // the newest write
};

// The levels of one transaction's recorded line events, one step per write
// (its time is the write's position among the events).
std::vector<LineStep> lineLevels(const std::vector<std::uint8_t>& events);

}  // namespace kestrel
