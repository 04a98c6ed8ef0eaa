#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "bus/transaction_record.h"

namespace kestrel {

// Every read of the six status registers (00h..02h, 2Ah..2Ch) seen on the
// bus, whoever made it, with its time: the history behind the status
// timeline. A read that was not acknowledged or failed its PEC is kept as a
// gap, never as a value. Each register keeps a ring of its latest samples
// (an hour at 100 reads a second), so memory stays flat however long it runs.
class StatusHistory final : public TransactionObserver {
  public:
    struct Sample {
        std::uint32_t ms;    // milliseconds since the bus started
        std::uint8_t value;  // the byte read (meaningless when !ok)
        bool ok;             // acknowledged, PEC matched
    };
    // The samples of one slice of time, summarised: the bits set in any
    // sample and in every sample, and whether a read in it failed.
    struct Column {
        std::uint8_t orBits = 0;
        std::uint8_t andBits = 0xFF;
        bool gap = false;
        bool any = false;  // any sample at all
    };

    static constexpr std::size_t kDefaultCapacity = 100 * 3600;
    static constexpr std::size_t kBlock = 32;  // samples summarised together

    explicit StatusHistory(std::size_t capacityPerRegister = kDefaultCapacity);

    void transactionEnded(const TransactionRecord& record) override;
    // Adds a sample of the register at position `index` (0..5); times must
    // not go backwards.
    void add(int index, Sample sample);
    void clear();

    // Samples of one register kept now, oldest first.
    std::size_t size(int index) const;
    const Sample& at(int index, std::size_t i) const;
    // Times of the oldest and the newest sample of any register (0, 0 when empty).
    std::uint32_t firstMs() const;
    std::uint32_t lastMs() const;
    // Counts every change, so a view knows when to redraw.
    std::uint64_t revision() const { return revision_; }

    // Summarises register `index` over `n` equal slices of [from, to).
    // Costs about one step per 32 samples, so an hour of samples draws quickly.
    void columns(int index, std::uint32_t from, std::uint32_t to, int n,
                 std::vector<Column>& out) const;
    // The sample in force at `ms`: the newest at or before it, if any.
    const Sample* sampleAt(int index, std::uint32_t ms) const;

    // "time_ms,register,value" lines, a failed read as "time_ms,2Ah," ; every
    // sample kept, in time order per register.
    std::string csv() const;

  private:
    struct Ring {
        std::vector<Sample> samples;
        std::vector<Column> blocks;
        std::uint64_t next = 0;  // sequence number of the next sample
        std::uint64_t oldest() const;
        const Sample& bySeq(std::uint64_t seq) const;
    };
    // First sequence number whose sample is at or after `ms`.
    std::uint64_t lowerBound(const Ring& ring, std::uint32_t ms) const;

    std::size_t capacity_;
    std::array<Ring, 6> rings_;
    std::uint64_t revision_ = 0;
};

}  // namespace kestrel
