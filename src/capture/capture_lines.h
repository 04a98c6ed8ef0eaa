#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "capture/capture_limits.h"

// SCL and SDA as a logic analyser recorded them, passed on from a capture
// file as it is read: no capture is ever held whole.
namespace kestrel::capture {

// Where a reader puts the two lines.
class LineSink {
  public:
    virtual ~LineSink() = default;
    // Once, first: the length of one tick in seconds; 0 when the file gives
    // no samplerate, so that ticks are samples of unknown length.
    virtual void timebase(double tickSeconds) = 0;
    // The levels from tick `t` on (true: high): first those at the start,
    // then every change, `t` never decreasing.
    virtual void levels(std::uint64_t t, bool scl, bool sda) = 0;
    // The capture ends at tick `t`.
    virtual void end(std::uint64_t t) = 0;
};

// Which channels are SCL and SDA; an empty name is guessed from the names.
// With `namesOnly` a reader stops after the channel names.
struct ChannelPick {
    std::string scl;
    std::string sda;
    bool namesOnly = false;
};

// A reader's answer: whether the whole file was read, otherwise what is
// wrong, naming the file and the line or entry (anything the sink was given
// then is to be dropped); the names of the file's channels once it got as
// far as them; the time base and the transitions passed on.
struct ReadResult {
    bool ok = false;
    std::string error;
    std::vector<std::string> channels;
    double tickSeconds = 0;  // 0: ticks are samples
    std::uint64_t transitions = 0;
};

// `text` with control characters written as \xNN (a file name or a name
// from a file, before it reaches a terminal or a dialog).
std::string printable(std::string_view text);
// A message as it may be shown: control characters escaped, and cut after
// limits::kMessageChars characters with the rest counted.
std::string boundedMessage(std::string_view text);

ReadResult readError(std::string_view message, std::vector<std::string> channels = {});

// Hands a reader's levels to a sink: only changes, counted against
// limits::kTransitions.
class LineFeed {
  public:
    LineFeed(LineSink& sink, double tickSeconds) : sink_(sink), tick_(tickSeconds) {
        sink_.timebase(tickSeconds);
    }
    // The levels at tick `t` (never decreasing). False once past the limit.
    bool at(std::uint64_t t, bool scl, bool sda) {
        if (started_ && scl == scl_ && sda == sda_) return true;
        if (started_) {
            transitions_ += static_cast<unsigned>(scl != scl_) + static_cast<unsigned>(sda != sda_);
            if (transitions_ > limits::kTransitions) return false;
        }
        started_ = true;
        scl_ = scl;
        sda_ = sda;
        sink_.levels(t, scl, sda);
        return true;
    }
    // The message for a file past the limit.
    static std::string tooManyTransitions();
    // The answer for a file read to its end at tick `end`: refused when the
    // lines never changed.
    ReadResult finish(std::uint64_t end, const std::string& name,
                      std::vector<std::string> channels = {});

  private:
    LineSink& sink_;
    double tick_;
    std::uint64_t transitions_ = 0;
    bool started_ = false;
    bool scl_ = true;
    bool sda_ = true;
};

// A sink that drops everything (to read a file's channel names, or check it).
class NullSink final : public LineSink {
  public:
    void timebase(double) override {}
    void levels(std::uint64_t, bool, bool) override {}
    void end(std::uint64_t) override {}
};

// The channels of `names` that `pick` asks for (or that their names tell:
// exactly SCL and SDA in any case, else SCL/SCK/CLK/CLOCK, SDA/DATA within
// the name), as two indexes; otherwise -1 for both and the reason.
struct PickedChannels {
    int scl = -1;
    int sda = -1;
    std::string error;
};
PickedChannels pickChannels(const std::vector<std::string>& names, const ChannelPick& pick);

}  // namespace kestrel::capture
