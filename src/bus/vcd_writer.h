#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "bus/line_levels.h"

namespace kestrel {

// Writes the two bus lines as a Value Change Dump that waveform viewers and
// I2C protocol decoders read. Time comes from a monotonic clock, so waits
// (the 30 ms hold of an erase) and the gaps between transactions show at
// their true length, in units of kUnitNs: a port access takes about a
// microsecond on a real port and a few tenths on the simulated board, so the
// unit keeps every change at its own time, while an analyser that samples
// the file at one sample per unit (sigrok) goes through a minute of it in
// seconds. Every change has a time of its own, later than the one before,
// even when the clock has not moved. The trace's end, and every
// transaction's end where the wire's levels are known, get a timestamp after
// the last change, so a decoder sees the last STOP even in a trace whose
// program was killed.
//
// Where the port can see the wire (the simulated board), the trace holds the
// wire's own levels. On a real port the master only knows what it drives and
// what it samples, so the trace shows what it drove, corrected by every
// sample as LineDecoder does; steps a later sample could still correct are
// kept back until they are final.
class VcdWriter {
  public:
    // Nanoseconds of a monotonic clock.
    using Clock = std::function<std::uint64_t()>;
    // The file's time unit.
    static constexpr std::uint64_t kUnitNs = 100;

    // `clock` defaults to the system's steady clock.
    explicit VcdWriter(std::unique_ptr<std::ostream> out, Clock clock = {});
    ~VcdWriter();
    VcdWriter(const VcdWriter&) = delete;
    VcdWriter& operator=(const VcdWriter&) = delete;

    // A data-register write (line state 0..3), on a port that cannot see the wire.
    void write(std::uint8_t lines);
    // A status-register read: `sdaLow` is SDA's level as sampled.
    void sample(bool sdaLow);
    // The wire's levels after a write, on a port that can see them (true: high).
    void wire(bool scl, bool sda);
    // Puts what can no longer be corrected into the file, followed by a
    // timestamp after the last change when nothing is held back (the end of
    // a transaction, after its STOP, on a port that sees the wire): the file
    // is decodable up to that STOP whatever happens next.
    void flush();
    // Puts everything into the file and ends it with a timestamp after the
    // last change. Later writes continue the trace. False when the file did
    // not take every byte (a full disk, a write error).
    bool finish();

  private:
    std::uint64_t stamp();
    void output(const LineStep& step);
    void outputTime(std::uint64_t time);
    void stampAfterLastChange();
    // Puts the decoder's final steps into the buffer.
    void drain();
    void writeOutIfFull();

    std::unique_ptr<std::ostream> out_;
    Clock clock_;
    std::string buffer_;
    LineDecoder decoder_;
    std::uint64_t start_ = 0;
    std::uint64_t time_ = 0;       // of the last step
    std::uint64_t lastShown_ = 0;  // last timestamp in the file
    bool started_ = false;         // the first levels are in the file
    bool sclShown_ = true;
    bool sdaShown_ = true;
    bool changedSinceEnd_ = false;
};

}  // namespace kestrel
