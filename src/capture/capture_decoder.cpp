#include "capture/capture_decoder.h"

#include <optional>

#include "bus/port_access.h"
#include "bus/transfer.h"
#include "chip/kestrel_map.h"

namespace kestrel::capture {

namespace {

using chip::kEepromAddressHighMin;

// Names a complete transaction from its shape; `pointer` is the EEPROM
// address an address-pointer write just before set, for a block read.
void classify(TransactionRecord& r, const std::vector<std::size_t>& addressAt, unsigned kestrel,
              bool held, std::optional<int>& pointer) {
    const std::optional<int> lastPointer = pointer;
    pointer.reset();
    const auto malformed = [&r] { r.kind = "Malformed"; };
    if (r.sent.empty() || addressAt.empty() || addressAt.size() > 2) return malformed();
    const unsigned first = r.sent[0].value;
    const std::size_t wEnd = addressAt.size() == 2 ? addressAt[1] : r.sent.size();
    std::vector<unsigned> w;
    for (std::size_t i = 1; i < wEnd; ++i) w.push_back(r.sent[i].value);
    const bool eeprom = w.size() >= 2 && w[0] >= static_cast<unsigned>(kEepromAddressHighMin);
    const auto target = [&](int value, int digits) {
        r.target = value;
        r.targetDigits = digits;
    };
    const int eepromTarget = w.size() >= 2 ? static_cast<int>((w[0] << 8) | w[1]) : -1;

    if (addressAt.size() == 1 && w.empty() && r.received.empty()) {
        r.kind = "Probe";
        return;
    }
    if ((first == static_cast<unsigned>(chip::kPloverAddress) ||
         first == static_cast<unsigned>(chip::kSecondPloverAddress)) &&
        addressAt.size() == 1 && w.size() == 1) {
        r.kind = "Switch Write";
        return;
    }
    if (first != kestrel) {
        r.kind = "Other Device";
        return;
    }
    if (addressAt.size() == 2) {
        if (r.sent[addressAt[1]].value != (kestrel | 1u) || addressAt[1] + 1 != r.sent.size())
            return malformed();
        if (w.size() == 1 && w[0] == static_cast<unsigned>(chip::kBlockReadCommand)) {
            if (r.received.size() < 2) return malformed();
            r.kind = "Block Read";
            target(lastPointer.value_or(-1), 4);
        } else if (r.received.size() != 2) {
            return malformed();
        } else if (w.size() == 1 && w[0] < static_cast<unsigned>(kEepromAddressHighMin)) {
            r.kind = "Read Byte";
            target(static_cast<int>(w[0]), 2);
        } else if (w.size() == 2 && eeprom) {
            r.kind = "EEPROM Read";
            target(eepromTarget, 4);
        } else {
            return malformed();
        }
        checkPec(r);
        return;
    }
    if (!r.received.empty()) return malformed();
    if (w.size() == 4 && w[0] == static_cast<unsigned>(chip::kPageEraseCommand)) {
        if (w[3] != static_cast<unsigned>(chip::kEraseConfirm)) return malformed();
        r.kind = "Page Erase";
        target(static_cast<int>((w[1] << 8) | w[2]), 4);
    } else if (w.size() == 2 && eeprom) {
        r.kind = "Address Pointer";
        target(eepromTarget, 4);
        pointer = eepromTarget;
    } else if (w.size() == 3 && eeprom) {
        r.kind = w[2] == 0 && held ? "Zero Write" : "EEPROM Write";
        target(eepromTarget, 4);
    } else if (w.size() == 2) {
        r.kind = "Write Byte";
        target(static_cast<int>(w[0]), 2);
    } else {
        malformed();
    }
}

class Decoder {
  public:
    Decoder(const CaptureLines& lines, unsigned kestrel)
        : lines_(lines), kestrel_(kestrel & 0xFEu) {}

    std::vector<TransactionRecord> run() {
        const auto& sc = lines_.scl.changes;
        const auto& sd = lines_.sda.changes;
        bool scl = lines_.scl.initial, sda = lines_.sda.initial;
        std::size_t i = 0, j = 0;
        while (i < sc.size() || j < sd.size()) {
            const std::uint64_t t =
                j >= sd.size() || (i < sc.size() && sc[i] <= sd[j]) ? sc[i] : sd[j];
            bool newScl = scl, newSda = sda;
            while (i < sc.size() && sc[i] == t) newScl = !newScl, ++i;
            while (j < sd.size() && sd[j] == t) newSda = !newSda, ++j;
            step(t, scl, sda, newScl, newSda);
            scl = newScl;
            sda = newSda;
        }
        pending_ = false;
        if (open_) finish(lines_.end, false);
        return std::move(records_);
    }

  private:
    void step(std::uint64_t t, bool scl, bool sda, bool newScl, bool newSda) {
        if (open_ && (newScl != scl || newSda != sda))
            record_.lines.push_back(
                static_cast<std::uint8_t>((newScl ? 0 : kSclLow) | (newSda ? 0 : kSdaLow)));
        if (scl && newScl && sda != newSda) {
            // A START or STOP: the clock it stands in carries no bit.
            pending_ = false;
            if (!newSda)
                start(t, scl, sda, newScl, newSda);
            else if (open_)
                finish(t, true);
            return;
        }
        // A bit is read as SCL rises and counts once SCL falls again.
        if (!scl && newScl && open_) {
            pending_ = true;
            pendingSda_ = newSda;
            pendingTime_ = t;
        }
        if (scl && !newScl && pending_) {
            pending_ = false;
            bit(pendingTime_, pendingSda_);
        }
    }

    void start(std::uint64_t t, bool scl, bool sda, bool newScl, bool newSda) {
        if (open_) {
            // A repeated START: a byte cut short before it spoils the transaction.
            if (bits_ != 0) broken_ = true;
        } else {
            open_ = true;
            broken_ = false;
            record_ = TransactionRecord{};
            record_.sequence = records_.size();
            record_.startMs = static_cast<double>(t) * lines_.tickSeconds * 1000.0;
            record_.lines.push_back(
                static_cast<std::uint8_t>((scl ? 0 : kSclLow) | (sda ? 0 : kSdaLow)));
            record_.lines.push_back(
                static_cast<std::uint8_t>((newScl ? 0 : kSclLow) | (newSda ? 0 : kSdaLow)));
            addressAt_.clear();
        }
        bits_ = 0;
        value_ = 0;
        expectAddress_ = true;
    }

    void bit(std::uint64_t t, bool sda) {
        if (bits_ < 8) {
            value_ = static_cast<std::uint8_t>((value_ << 1) | (sda ? 1 : 0));
            ++bits_;
            return;
        }
        // The ninth clock: the acknowledge.
        lastAckTime_ = t;
        const std::int8_t ack = sda ? 0 : 1;
        if (expectAddress_) {
            addressAt_.push_back(record_.sent.size());
            record_.sent.push_back({value_, ack});
            reading_ = (value_ & 1u) != 0;
            expectAddress_ = false;
        } else if (reading_) {
            record_.received.push_back(value_);
        } else {
            record_.sent.push_back({value_, ack});
        }
        bits_ = 0;
        value_ = 0;
    }

    void finish(std::uint64_t t, bool stopped) {
        const double heldMs = static_cast<double>(t - lastAckTime_) * lines_.tickSeconds * 1000.0;
        if (!stopped || broken_ || bits_ != 0 || expectAddress_) {
            record_.kind = "Malformed";
            pointer_.reset();
        } else {
            classify(record_, addressAt_, kestrel_, heldMs >= chip::kEepromHoldMs / 2.0, pointer_);
        }
        records_.push_back(std::move(record_));
        record_ = TransactionRecord{};
        open_ = false;
    }

    const CaptureLines& lines_;
    unsigned kestrel_;
    std::vector<TransactionRecord> records_;
    TransactionRecord record_;
    std::vector<std::size_t> addressAt_;  // indexes of the address bytes in record_.sent
    std::optional<int> pointer_;
    std::uint64_t lastAckTime_ = 0;
    bool open_ = false;
    bool pending_ = false;  // a bit read at SCL's rise, until it falls
    bool pendingSda_ = false;
    std::uint64_t pendingTime_ = 0;
    bool broken_ = false;
    bool expectAddress_ = false;
    bool reading_ = false;
    int bits_ = 0;
    std::uint8_t value_ = 0;
};

}  // namespace

std::vector<TransactionRecord> decodeCapture(const CaptureLines& lines, unsigned kestrelAddress) {
    return Decoder(lines, kestrelAddress).run();
}

}  // namespace kestrel::capture
