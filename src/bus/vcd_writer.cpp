#include "bus/vcd_writer.h"

#include <charconv>
#include <chrono>

namespace kestrel {

namespace {

std::uint64_t steadyNanos() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

constexpr std::size_t kBufferLimit = 1 << 16;

}  // namespace

VcdWriter::VcdWriter(std::unique_ptr<std::ostream> out, Clock clock)
    : out_(std::move(out)), clock_(clock ? std::move(clock) : Clock(steadyNanos)) {
    start_ = clock_();
    static_assert(kUnitNs == 100, "the header's $timescale says 100 ns");
    buffer_.reserve(kBufferLimit + 256);
    buffer_ +=
        "$version kestrel-eval parallel-port bus trace $end\n"
        "$timescale 100 ns $end\n"
        "$scope module smbus $end\n"
        "$var wire 1 ! SCL $end\n"
        "$var wire 1 \" SDA $end\n"
        "$upscope $end\n"
        "$enddefinitions $end\n";
}

VcdWriter::~VcdWriter() {
    finish();
}

std::uint64_t VcdWriter::stamp() {
    // Strictly increasing, with room for the half step between two changes
    // of one write.
    const std::uint64_t now = (clock_() - start_) / kUnitNs;
    time_ = now >= time_ + 2 ? now : time_ + 2;
    return time_;
}

void VcdWriter::write(std::uint8_t lines) {
    decoder_.write(lines, stamp());
    drain();
}

void VcdWriter::sample(bool sdaLow) {
    decoder_.sample(sdaLow);
}

void VcdWriter::wire(bool scl, bool sda) {
    output(LineStep{stamp(), scl, sda, false});
    writeOutIfFull();
}

void VcdWriter::drain() {
    if (!decoder_.hasSettled()) return;
    while (decoder_.hasSettled()) output(decoder_.takeSettled());
    writeOutIfFull();
}

void VcdWriter::writeOutIfFull() {
    if (buffer_.size() > kBufferLimit) {
        out_->write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        buffer_.clear();
    }
}

void VcdWriter::stampAfterLastChange() {
    if (!changedSinceEnd_) return;
    // A timestamp after the last change, so that a decoder sees it.
    const std::uint64_t now = (clock_() - start_) / kUnitNs;
    outputTime(now > lastShown_ ? now : lastShown_ + 1);
    // The next change comes after it.
    if (time_ < lastShown_) time_ = lastShown_;
    changedSinceEnd_ = false;
}

void VcdWriter::flush() {
    decoder_.settleTransaction();
    drain();
    // The file ends after the transaction's STOP even if nothing follows it
    // (the program killed): a decoder sees that STOP. On a port that cannot
    // see the wire the STOP stays open until the next START's check shows
    // whether a slave held SDA through it; the stamp waits for it then.
    if (decoder_.allSettled()) stampAfterLastChange();
    out_->write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
    out_->flush();
}

bool VcdWriter::finish() {
    decoder_.settleAll();
    drain();
    stampAfterLastChange();
    out_->write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
    out_->flush();
    // Whether every byte reached the file (a full disk sets the stream's error).
    return out_->good();
}

void VcdWriter::outputTime(std::uint64_t time) {
    char text[24];
    text[0] = '#';
    const auto r = std::to_chars(text + 1, text + sizeof text - 1, time);
    *r.ptr = '\n';
    buffer_.append(text, static_cast<std::size_t>(r.ptr + 1 - text));
    lastShown_ = time;
}

void VcdWriter::output(const LineStep& step) {
    if (!started_) {
        // The first levels known, not assumed ones: a line held low from the
        // start shows low from the start.
        started_ = true;
        buffer_ += "#0\n$dumpvars\n";
        buffer_ += step.scl ? "1!\n" : "0!\n";
        buffer_ += step.sda ? "1\"\n" : "0\"\n";
        buffer_ += "$end\n";
        sclShown_ = step.scl;
        sdaShown_ = step.sda;
        changedSinceEnd_ = true;
        return;
    }
    if (step.scl == sclShown_ && step.sda == sdaShown_) return;
    changedSinceEnd_ = true;
    // When both lines change in one write, SDA changing first would look like
    // a START or STOP, so show them the way the bus settles: SCL falls first,
    // SDA changes while SCL is low (a nanosecond later), SCL rises last.
    const bool sclFalls = !step.scl && sclShown_;
    const bool sdaChanges = step.sda != sdaShown_;
    outputTime(step.time);
    if (sclFalls) {
        buffer_ += "0!\n";
        if (sdaChanges) outputTime(step.time + 1);
    }
    if (sdaChanges) buffer_ += step.sda ? "1\"\n" : "0\"\n";
    if (!sclFalls && step.scl != sclShown_) {
        if (sdaChanges) outputTime(step.time + 1);
        buffer_ += step.scl ? "1!\n" : "0!\n";
    }
    sclShown_ = step.scl;
    sdaShown_ = step.sda;
}

}  // namespace kestrel
