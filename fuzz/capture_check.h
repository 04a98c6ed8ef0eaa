#pragma once

#include <string>

#include "capture/capture_decoder.h"
#include "capture/capture_readers.h"

// What every capture reader keeps to, whatever its input: a refusal names
// the file, lines it reads are in order and change at least once, and the
// decoder takes any lines it gives.
inline void checkCapture(const kestrel::capture::ReadResult& r, const std::string& name) {
    if (!r.lines) {
        if (r.error.rfind(name + ": ", 0) != 0) __builtin_trap();
        return;
    }
    if (!r.error.empty() || r.lines->transitions() == 0) __builtin_trap();
    for (const auto* trace : {&r.lines->scl, &r.lines->sda}) {
        std::uint64_t last = 0;
        for (std::uint64_t t : trace->changes) {
            if (t < last || t > r.lines->end) __builtin_trap();
            last = t;
        }
    }
    for (const auto& record : kestrel::capture::decodeCapture(*r.lines)) {
        if ((record.pecReceived >= 0) != (record.pecExpected >= 0)) __builtin_trap();
        if (record.kind.empty()) __builtin_trap();
    }
}
