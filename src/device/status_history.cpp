#include "device/status_history.h"

#include <algorithm>

#include "chip/status_registers.h"
#include "chip/transaction_kinds.h"
#include "device/text_rules.h"

namespace kestrel {

namespace {

void merge(StatusHistory::Column& c, const StatusHistory::Sample& s) {
    c.any = true;
    if (!s.ok) {
        c.gap = true;
        return;
    }
    c.orBits |= s.value;
    c.andBits &= s.value;
}

void merge(StatusHistory::Column& c, const StatusHistory::Column& b) {
    c.any = c.any || b.any;
    c.gap = c.gap || b.gap;
    c.orBits |= b.orBits;
    c.andBits &= b.andBits;
}

}  // namespace

StatusHistory::StatusHistory(std::size_t capacityPerRegister)
    : capacity_(std::max<std::size_t>(kBlock, capacityPerRegister / kBlock * kBlock)) {
    for (Ring& r : rings_) {
        r.samples.resize(capacity_);
        r.blocks.resize(capacity_ / kBlock);
    }
}

std::uint64_t StatusHistory::Ring::oldest() const {
    return next > samples.size() ? next - samples.size() : 0;
}

const StatusHistory::Sample& StatusHistory::Ring::bySeq(std::uint64_t seq) const {
    return samples[static_cast<std::size_t>(seq % samples.size())];
}

void StatusHistory::transactionEnded(const TransactionRecord& record) {
    // A register read: address, register, repeated START, address, data, PEC.
    if (record.kind != chip::kReadByte || record.targetDigits != 2) return;
    const int index = status::indexOf(record.target);
    if (index < 0 || record.received.empty()) return;
    const auto ms = static_cast<std::uint32_t>(std::max(0.0, record.startMs));
    add(index, {ms, record.received.front(), !record.faulty()});
}

void StatusHistory::add(int index, Sample sample) {
    Ring& r = rings_.at(static_cast<std::size_t>(index));
    if (r.next > 0) sample.ms = std::max(sample.ms, r.bySeq(r.next - 1).ms);
    r.samples[static_cast<std::size_t>(r.next % capacity_)] = sample;
    Column& block = r.blocks[static_cast<std::size_t>((r.next / kBlock) % r.blocks.size())];
    if (r.next % kBlock == 0) block = Column{};
    merge(block, sample);
    ++r.next;
    ++revision_;
}

void StatusHistory::clear() {
    for (Ring& r : rings_) r.next = 0;
    ++revision_;
}

std::size_t StatusHistory::size(int index) const {
    const Ring& r = rings_.at(static_cast<std::size_t>(index));
    return static_cast<std::size_t>(r.next - r.oldest());
}

const StatusHistory::Sample& StatusHistory::at(int index, std::size_t i) const {
    const Ring& r = rings_.at(static_cast<std::size_t>(index));
    return r.bySeq(r.oldest() + i);
}

std::uint32_t StatusHistory::firstMs() const {
    std::uint32_t first = UINT32_MAX;
    for (const Ring& r : rings_)
        if (r.next > 0) first = std::min(first, r.bySeq(r.oldest()).ms);
    return first == UINT32_MAX ? 0 : first;
}

std::uint32_t StatusHistory::lastMs() const {
    std::uint32_t last = 0;
    for (const Ring& r : rings_)
        if (r.next > 0) last = std::max(last, r.bySeq(r.next - 1).ms);
    return last;
}

std::uint64_t StatusHistory::lowerBound(const Ring& r, std::uint32_t ms) const {
    std::uint64_t lo = r.oldest(), hi = r.next;
    while (lo < hi) {
        const std::uint64_t mid = lo + (hi - lo) / 2;
        if (r.bySeq(mid).ms < ms)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

void StatusHistory::columns(int index, std::uint32_t from, std::uint32_t to, int n,
                            std::vector<Column>& out) const {
    out.assign(static_cast<std::size_t>(std::max(n, 0)), Column{});
    if (n <= 0 || to <= from) return;
    const Ring& r = rings_.at(static_cast<std::size_t>(index));
    const std::uint64_t oldest = r.oldest();
    const double span = static_cast<double>(to - from);
    std::uint64_t seq = lowerBound(r, from);
    for (int x = 0; x < n && seq < r.next; ++x) {
        const auto end = static_cast<std::uint32_t>(from + span * (x + 1) / n);
        Column& c = out[static_cast<std::size_t>(x)];
        while (seq < r.next && r.bySeq(seq).ms < end) {
            // A whole block inside the slice (and still whole in the ring)
            // counts as one step.
            if (seq % kBlock == 0 && seq >= oldest && seq + kBlock <= r.next &&
                r.bySeq(seq + kBlock - 1).ms < end) {
                merge(c, r.blocks[static_cast<std::size_t>((seq / kBlock) % r.blocks.size())]);
                seq += kBlock;
            } else {
                merge(c, r.bySeq(seq));
                ++seq;
            }
        }
    }
}

const StatusHistory::Sample* StatusHistory::sampleAt(int index, std::uint32_t ms) const {
    const Ring& r = rings_.at(static_cast<std::size_t>(index));
    const std::uint64_t after = lowerBound(r, ms + 1);
    if (after == r.oldest()) return nullptr;
    return &r.bySeq(after - 1);
}

std::string StatusHistory::csv() const {
    std::string out = "time_ms,register,value\n";
    // Merged in time order across the six registers.
    std::array<std::uint64_t, 6> pos{};
    for (std::size_t i = 0; i < rings_.size(); ++i) pos[i] = rings_[i].oldest();
    for (;;) {
        int best = -1;
        for (std::size_t i = 0; i < rings_.size(); ++i)
            if (pos[i] < rings_[i].next &&
                (best < 0 ||
                 rings_[i].bySeq(pos[i]).ms < rings_[static_cast<std::size_t>(best)]
                                                  .bySeq(pos[static_cast<std::size_t>(best)])
                                                  .ms))
                best = static_cast<int>(i);
        if (best < 0) break;
        const auto b = static_cast<std::size_t>(best);
        const Sample& s = rings_[b].bySeq(pos[b]++);
        out += std::to_string(s.ms) + ',' +
               text::suffixedByteText(static_cast<unsigned>(status::kRegisters[b])) + ',';
        if (s.ok) out += text::suffixedByteText(s.value);
        out += '\n';
    }
    return out;
}

}  // namespace kestrel
