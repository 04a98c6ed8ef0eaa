#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <ostream>
#include <string>

namespace kestrel {

// Writes the two bus lines, as they stand on the wire, as a Value Change Dump
// that waveform viewers and I2C protocol decoders read. One port access is one
// microsecond of trace time (about what a real parallel-port access costs).
//
// The master only knows what it drives; what a slave drives shows up when the
// master samples SDA. A sample therefore corrects the level of the writes since
// SCL last fell, so that SDA never appears to change while SCL is high.
class VcdWriter {
  public:
    explicit VcdWriter(std::unique_ptr<std::ostream> out);
    ~VcdWriter();
    VcdWriter(const VcdWriter&) = delete;
    VcdWriter& operator=(const VcdWriter&) = delete;

    // A data-register write (line state 0..3).
    void write(std::uint8_t lines);
    // A status-register read: `sdaLow` is SDA's level as sampled.
    void sample(bool sdaLow);
    void flush();
    bool good() const;

  private:
    struct Step {
        std::uint64_t time;
        bool scl;  // true: high
        bool sda;  // true: high
        bool masterPullsSda;
    };
    void output(const Step& step);

    std::unique_ptr<std::ostream> out_;
    std::deque<Step> pending_;
    std::uint64_t time_ = 0;
    bool sclShown_ = true;
    bool sdaShown_ = true;
};

}  // namespace kestrel
