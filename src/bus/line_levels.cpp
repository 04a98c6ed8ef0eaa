#include "bus/line_levels.h"

namespace kestrel {

namespace {

// Steps a sample may still correct before the oldest are let go (a long run
// of writes without SCL falling, such as a wait with the lines parked).
constexpr std::size_t kOpenLimit = 8;
constexpr std::size_t kOpenKept = 4;

}  // namespace

void LineDecoder::write(std::uint8_t lines, std::uint64_t time) {
    const bool masterPullsSda = (lines & kSdaLow) != 0;
    lastLines_ = lines_;
    lines_ = lines;
    const bool sda = !masterPullsSda && !held_;
    const bool scl = (lines & kSclLow) == 0;
    // SCL falling ends the window a later sample could correct.
    if (!scl && !steps_.empty() && steps_.back().scl) settleAll();
    steps_.push_back(LineStep{time, scl, sda, masterPullsSda});
    if (open() > kOpenLimit) settled_ = steps_.size() - kOpenKept;
}

void LineDecoder::sample(bool sdaLow) {
    // Low on a bus the master left idle (released, and released before):
    // something holds the line.
    if (sdaLow && lines_ == kLinesReleased && lastLines_ == kLinesReleased) held_ = true;
    if (!sdaLow) held_ = false;
    for (std::size_t i = settled_; i < steps_.size(); ++i)
        if (!steps_[i].masterPullsSda) steps_[i].sda = !sdaLow;
}

void LineDecoder::replay(std::uint8_t event, std::uint64_t time) {
    if (isSdaSample(event))
        sample(sampledSdaLow(event));
    else
        write(event, time);
}

void LineDecoder::settleTransaction() {
    std::size_t keep = 0;
    while (keep < open() && steps_[steps_.size() - 1 - keep].scl) ++keep;
    settled_ = steps_.size() - keep;
}

LineStep LineDecoder::takeSettled() {
    const LineStep step = steps_.front();
    steps_.pop_front();
    --settled_;
    return step;
}

std::vector<LineStep> lineLevels(const std::vector<std::uint8_t>& events) {
    LineDecoder decoder;
    std::uint64_t index = 0;
    for (std::uint8_t e : events) decoder.replay(e, index++);
    decoder.settleAll();
    std::vector<LineStep> steps;
    while (decoder.hasSettled()) steps.push_back(decoder.takeSettled());
    return steps;
}

}  // namespace kestrel
