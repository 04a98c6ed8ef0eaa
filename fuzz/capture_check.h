#pragma once

#include <string>

#include "capture/capture_decoder.h"
#include "capture/capture_readers.h"

// What every capture reader keeps to, whatever its input: a refusal names
// the file, the levels it passes on are in order and change, within the
// limits, and the decoder takes them all.
class CheckedSink final : public kestrel::capture::LineSink {
  public:
    void timebase(double tick) override {
        if (tick < 0 || timebases_++ != 0) __builtin_trap();
        decoder_.timebase(tick);
    }
    void levels(std::uint64_t t, bool scl, bool sda) override {
        if (timebases_ != 1 || t < last_ || (changes_ > 0 && scl == scl_ && sda == sda_))
            __builtin_trap();
        if (++changes_ > kestrel::capture::limits::kTransitions + 1) __builtin_trap();
        last_ = t;
        scl_ = scl;
        sda_ = sda;
        decoder_.levels(t, scl, sda);
    }
    void end(std::uint64_t t) override {
        if (t < last_) __builtin_trap();
        decoder_.end(t);
    }

  private:
    kestrel::capture::CaptureDecoder decoder_{[](kestrel::TransactionRecord& r) {
        if ((r.pecReceived >= 0) != (r.pecExpected >= 0)) __builtin_trap();
        if (r.kind.empty()) __builtin_trap();
        if (r.sent.size() + r.received.size() > kestrel::capture::limits::kTransactionBytes)
            __builtin_trap();
    }};
    int timebases_ = 0;
    std::uint64_t changes_ = 0, last_ = 0;
    bool scl_ = true, sda_ = true;
};

inline void checkCapture(const kestrel::capture::ReadResult& r, const std::string& name) {
    if (!r.ok) {
        if (r.error.rfind(name + ": ", 0) != 0) __builtin_trap();
        if (r.error.size() > kestrel::capture::limits::kMessageChars + 40) __builtin_trap();
        return;
    }
    if (!r.error.empty() || r.transitions == 0) __builtin_trap();
}
