#include "capture/capture_decoder.h"

#include <cmath>

#include "bus/port_access.h"
#include "bus/transfer.h"
#include "chip/transaction_kinds.h"

namespace kestrel::capture {

CaptureDecoder::CaptureDecoder(Output output, unsigned kestrelAddress, bool waveform)
    : output_(std::move(output)), kestrel_(kestrelAddress & 0xFEu), waveform_(waveform) {}

void CaptureDecoder::timebase(double tickSeconds) {
    tick_ = tickSeconds;
    ticksPerMs_ = 1;
    if (tick_ > 0) {
        // A whole number where it is one (1e-3 / 1e-7 is not quite 10000).
        ticksPerMs_ = 1e-3 / tick_;
        const double whole = std::round(ticksPerMs_);
        if (whole >= 1 && std::fabs(ticksPerMs_ - whole) < 1e-9 * whole) ticksPerMs_ = whole;
    }
}

void CaptureDecoder::step(bool scl, bool sda) {
    if (waveform_ && record_.lines.size() < limits::kWaveformSteps)
        record_.lines.push_back(
            static_cast<std::uint8_t>((scl ? 0 : kSclLow) | (sda ? 0 : kSdaLow)));
}

void CaptureDecoder::levels(std::uint64_t t, bool scl, bool sda) {
    if (!started_) {
        started_ = true;
        scl_ = scl;
        sda_ = sda;
        return;
    }
    if (scl_ && scl && sda_ != sda) {
        // SDA changed while SCL stayed high: a START or a STOP.
        if (!sda) {
            if (!open_) {
                record_ = TransactionRecord{};
                step(scl_, sda_);  // the waveform starts with the levels before the START
            }
            step(scl, sda);
            start(t);
        } else if (open_) {
            step(scl, sda);
            stop(t);
        }
    } else {
        if (open_) step(scl, sda);
        // A bit is SDA as SCL rises.
        if (!scl_ && scl && open_) bit(t, sda);
    }
    scl_ = scl;
    sda_ = sda;
}

void CaptureDecoder::end(std::uint64_t t) {
    if (open_) finish(t, false);
}

void CaptureDecoder::start(std::uint64_t t) {
    if (open_) {
        cutByte();
        // Counted with the bytes against the limit of one transaction.
        if (kept() < limits::kTransactionBytes)
            record_.repeatedStarts.push_back({static_cast<std::uint32_t>(record_.sent.size()),
                                              static_cast<std::uint32_t>(record_.received.size())});
        else
            broken_ = true;
    } else {
        open_ = true;
        broken_ = false;
        if (!haveFirst_) firstStart_ = t, haveFirst_ = true;
        record_.sequence = ++count_;
        record_.startMs = timeOf(t - firstStart_);
    }
    bits_ = 0;
    value_ = 0;
    expectAddress_ = true;
}

void CaptureDecoder::stop(std::uint64_t t) {
    cutByte();
    finish(t, true);
}

void CaptureDecoder::cutByte() {
    // One bit is the START's or STOP's own clock (SCL rose, then SDA
    // changed): no byte was begun. Eight are a byte without its ninth clock;
    // two to seven, a byte cut short and lost.
    if (bits_ == 8)
        take(TransactionRecord::kNoAckClock);
    else if (bits_ > 1)
        broken_ = true;
    bits_ = 0;
    value_ = 0;
}

void CaptureDecoder::bit(std::uint64_t t, bool sda) {
    if (bits_ < 8) {
        value_ = static_cast<std::uint8_t>((value_ << 1) | (sda ? 1 : 0));
        ++bits_;
        return;
    }
    // The ninth clock: the receiver's acknowledge.
    lastAck_ = t;
    take(sda ? TransactionRecord::kNack : TransactionRecord::kAck);
}

void CaptureDecoder::take(std::int8_t ack) {
    if (ack == TransactionRecord::kNoAckClock) broken_ = true;
    if (kept() >= limits::kTransactionBytes) {
        broken_ = true;  // the rest of an endless transaction is not kept
    } else if (expectAddress_) {
        record_.sent.push_back({value_, ack});
        reading_ = (value_ & 1u) != 0;
        expectAddress_ = false;
    } else if (reading_) {
        record_.received.push_back(value_);
        record_.receivedAcks.push_back(ack);
    } else {
        record_.sent.push_back({value_, ack});
    }
    bits_ = 0;
    value_ = 0;
}

void CaptureDecoder::finish(std::uint64_t t, bool stopped) {
    const bool held = tick_ > 0 && timeOf(t - lastAck_) >= chip::kZeroWriteHoldMs;
    if (!stopped || broken_ || expectAddress_ || record_.sent.empty()) {
        record_.kind = chip::kMalformed;
        pointer_.reset();
    } else {
        classify(held);
    }
    open_ = false;
    output_(record_);
    record_ = TransactionRecord{};
}

namespace {

// The bytes of a transaction by its address bytes: segment k is the address
// at sent[at[k]] and the bytes up to the next repeated START.
struct Segments {
    const TransactionRecord& r;
    std::size_t count() const { return r.repeatedStarts.size() + 1; }
    std::size_t addressAt(std::size_t k) const { return k == 0 ? 0 : r.repeatedStarts[k - 1].sent; }
    std::size_t sentEnd(std::size_t k) const {
        return k < r.repeatedStarts.size() ? r.repeatedStarts[k].sent : r.sent.size();
    }
    std::size_t readBegin(std::size_t k) const {
        return k == 0 ? 0 : r.repeatedStarts[k - 1].received;
    }
    std::size_t readEnd(std::size_t k) const {
        return k < r.repeatedStarts.size() ? r.repeatedStarts[k].received : r.received.size();
    }
    // Every segment starts with an address byte of its own.
    bool wellFormed() const {
        for (std::size_t k = 0; k < count(); ++k)
            if (addressAt(k) >= sentEnd(k)) return false;
        return true;
    }
};

bool fits(const chip::KindShape& k, const TransactionRecord& r, const Segments& s, unsigned kestrel,
          bool held) {
    using chip::ReadPhase;
    using chip::Slave;
    const unsigned first = r.sent[0].value;
    const bool plover = first == static_cast<unsigned>(chip::kPloverAddress) ||
                        first == static_cast<unsigned>(chip::kSecondPloverAddress);
    switch (k.slave) {
        case Slave::Kestrel:
            if (first != kestrel) return false;
            break;
        case Slave::Plover:
            if (!plover) return false;
            break;
        case Slave::Other:
            return first != kestrel;
        case Slave::Any:
            break;
    }
    if ((first & 1u) != 0) {
        // A read address first: only an address alone fits (a probe).
        return k.writeCount == 0 && k.read == ReadPhase::None && s.count() == 1 &&
               r.sent.size() == 1 && r.received.empty();
    }
    const std::size_t wanted = k.read == ReadPhase::None ? 1 : 2;
    if (s.count() != wanted || s.readEnd(0) != 0) return false;
    if (s.sentEnd(0) - 1 != k.writeCount) return false;
    for (std::size_t i = 0; i < k.writeCount; ++i)
        if (!k.written[i].matches(r.sent[1 + i].value)) return false;
    if (k.read == ReadPhase::None) {
        if (!r.received.empty()) return false;
    } else {
        if (r.sent[s.addressAt(1)].value != (first | 1u) || s.sentEnd(1) != s.addressAt(1) + 1)
            return false;
        const std::size_t reads = r.received.size();
        if (k.read == ReadPhase::Bytes ? reads != k.readCount : reads < 2) return false;
    }
    return k.hold != chip::Hold::Held || held;
}

}  // namespace

void CaptureDecoder::classify(bool held) {
    TransactionRecord& r = record_;
    const std::optional<int> lastPointer = pointer_;
    pointer_.reset();
    r.kind = chip::kMalformed;
    const Segments s{r};
    if (!s.wellFormed()) return;
    for (const chip::KindShape& k : chip::kTransactionKinds) {
        if (!fits(k, r, s, kestrel_, held)) continue;
        r.kind = k.name;
        const auto w = [&r](std::size_t i) { return static_cast<int>(r.sent[1 + i].value); };
        switch (k.target) {
            case chip::TargetFrom::Register:
                r.target = w(0);
                r.targetDigits = 2;
                break;
            case chip::TargetFrom::Eeprom:
                r.target = (w(0) << 8) | w(1);
                r.targetDigits = 4;
                break;
            case chip::TargetFrom::ErasePage:
                r.target = (w(1) << 8) | w(2);
                r.targetDigits = 4;
                break;
            case chip::TargetFrom::Pointer:
                r.target = lastPointer.value_or(-1);
                r.targetDigits = 4;
                break;
            case chip::TargetFrom::None:
                break;
        }
        if (k.setsPointer) pointer_ = r.target;
        if (k.pec) checkPec(r);
        return;
    }
}

}  // namespace kestrel::capture
