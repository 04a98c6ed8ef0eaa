#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "bus/transaction_record.h"
#include "capture/capture_lines.h"
#include "chip/kestrel_map.h"

namespace kestrel::capture {

// The transactions of captured SCL and SDA as the bus monitor lists its own,
// decoded as a reader passes the lines on: one record from each START to its
// STOP, handed out at the STOP, with every byte in wire order and its
// acknowledge, the repeated STARTs, the PEC check of a read from the chip,
// the line changes for the waveform, and the transaction named by the table
// of kinds (chip/transaction_kinds.h), or "Malformed".
//
// A bit is SDA as SCL rises. A START or STOP (SDA changing while SCL stays
// high) ends the byte under way: the clock it came in is its own, not a bit;
// a byte whose eight bits were clocked is kept, its acknowledge "none" when
// the ninth clock never came (the transaction is then Malformed); a byte cut
// before its eighth bit is lost and the transaction Malformed. A zero write
// and an EEPROM write of 00h differ only in the EEPROM cycle held between the
// last acknowledge and the STOP; without a samplerate it cannot be timed, and
// the write is an EEPROM Write. Times count from the capture's first START,
// in milliseconds, or in samples when the capture has no samplerate.
class CaptureDecoder final : public LineSink {
  public:
    // Takes each record as it is complete (it may move from it).
    using Output = std::function<void(TransactionRecord&)>;

    // `kestrelAddress` is the chip's address byte (write); `waveform` keeps
    // the line changes of each transaction (up to limits::kWaveformSteps).
    explicit CaptureDecoder(Output output, unsigned kestrelAddress = chip::kBroadcastAddress,
                            bool waveform = true);

    void timebase(double tickSeconds) override;
    void levels(std::uint64_t t, bool scl, bool sda) override;
    // A transaction still open at the end is handed out as Malformed.
    void end(std::uint64_t t) override;

    bool timesInSamples() const { return tick_ == 0; }

  private:
    void start(std::uint64_t t);
    void stop(std::uint64_t t);
    void bit(std::uint64_t t, bool sda);
    // The byte under way is done, with the acknowledge its ninth clock gave.
    void take(std::int8_t ack);
    // A START or STOP came: what of the byte under way is kept.
    void cutByte();
    void finish(std::uint64_t t, bool stopped);
    void classify(bool held);
    void step(bool scl, bool sda);
    // Bytes and repeated STARTs the transaction holds.
    std::size_t kept() const {
        return record_.sent.size() + record_.received.size() + record_.repeatedStarts.size();
    }
    // Milliseconds (or samples) from ticks, divided as the bus divides its
    // nanoseconds, so that equal times give equal numbers.
    double timeOf(std::uint64_t ticks) const { return static_cast<double>(ticks) / ticksPerMs_; }

    Output output_;
    unsigned kestrel_;
    bool waveform_;
    double tick_ = 1e-9;
    double ticksPerMs_ = 1e6;  // 1 without a samplerate
    TransactionRecord record_;
    std::uint64_t count_ = 0;
    std::uint64_t firstStart_ = 0;
    bool haveFirst_ = false;
    std::optional<int> pointer_;  // the EEPROM address the last transaction set
    std::uint64_t lastAck_ = 0;   // tick of the last acknowledge clock
    bool started_ = false;        // the levels at the start are known
    bool scl_ = true, sda_ = true;
    bool open_ = false;
    // A byte was cut short, a byte's ninth clock is missing, or too many bytes.
    bool broken_ = false;
    bool expectAddress_ = false;
    bool reading_ = false;
    int bits_ = 0;
    std::uint8_t value_ = 0;
};

}  // namespace kestrel::capture
