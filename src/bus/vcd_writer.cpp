#include "bus/vcd_writer.h"

#include "bus/port_access.h"

namespace kestrel {

VcdWriter::VcdWriter(std::unique_ptr<std::ostream> out) : out_(std::move(out)) {
    *out_ << "$version kestrel-eval parallel-port bus trace $end\n"
             "$timescale 500 ns $end\n"
             "$scope module smbus $end\n"
             "$var wire 1 ! SCL $end\n"
             "$var wire 1 \" SDA $end\n"
             "$upscope $end\n"
             "$enddefinitions $end\n"
             "#0\n$dumpvars\n1!\n1\"\n$end\n";
}

VcdWriter::~VcdWriter() {
    flush();
}

void VcdWriter::write(std::uint8_t lines) {
    const bool masterPullsSda = (lines & kSdaLow) != 0;
    time_ += 2;
    pending_.push_back(Step{time_, (lines & kSclLow) == 0, !masterPullsSda, masterPullsSda});
    // A write with SCL low ends the window a later sample could correct.
    while (pending_.size() > 2) {
        output(pending_.front());
        pending_.pop_front();
    }
}

void VcdWriter::sample(bool sdaLow) {
    for (Step& step : pending_)
        if (!step.masterPullsSda) step.sda = !sdaLow;
    flush();
}

void VcdWriter::flush() {
    for (const Step& step : pending_) output(step);
    pending_.clear();
    out_->flush();
}

bool VcdWriter::good() const {
    return out_->good();
}

void VcdWriter::output(const Step& step) {
    if (step.scl == sclShown_ && step.sda == sdaShown_) return;
    // When both lines change in one write, SDA changing first would look like
    // a START or STOP, so show them the way the bus settles: SCL falls first,
    // SDA changes while SCL is low (half a microsecond later), SCL rises last.
    const bool sclFalls = !step.scl && sclShown_;
    const bool sdaChanges = step.sda != sdaShown_;
    *out_ << '#' << step.time << '\n';
    if (sclFalls) {
        *out_ << "0!\n";
        if (sdaChanges) *out_ << '#' << step.time + 1 << '\n';
    }
    if (sdaChanges) *out_ << (step.sda ? "1\"\n" : "0\"\n");
    if (!sclFalls && step.scl != sclShown_) {
        if (sdaChanges) *out_ << '#' << step.time + 1 << '\n';
        *out_ << (step.scl ? "1!\n" : "0!\n");
    }
    sclShown_ = step.scl;
    sdaShown_ = step.sda;
}

}  // namespace kestrel
