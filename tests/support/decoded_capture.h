#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "capture/capture_decoder.h"
#include "capture/capture_readers.h"

namespace kestrel::testing {

// A capture decoded with every record kept (the tests' captures are small).
struct DecodedCapture {
    capture::ReadResult read;
    std::vector<TransactionRecord> records;
    bool samples = false;  // times in samples
};

inline DecodedCapture decodeFile(const std::string& path, const capture::ChannelPick& pick = {}) {
    DecodedCapture d;
    capture::CaptureDecoder decoder([&d](TransactionRecord& r) { d.records.push_back(r); });
    d.read = capture::readCaptureFile(path, pick, decoder);
    d.samples = decoder.timesInSamples();
    return d;
}

inline DecodedCapture decodeVcdText(const std::string& vcd, const capture::ChannelPick& pick = {}) {
    DecodedCapture d;
    capture::CaptureDecoder decoder([&d](TransactionRecord& r) { d.records.push_back(r); });
    std::istringstream in(vcd);
    d.read = capture::readVcd(in, "trace.vcd", pick, decoder);
    return d;
}

}  // namespace kestrel::testing
