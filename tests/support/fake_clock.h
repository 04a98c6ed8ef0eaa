#pragma once

#include <atomic>
#include <cstdint>

#include "bus/wait_hooks.h"

namespace kestrel::testing {

// A millisecond tick counter that only moves when a wait sleeps, so holds
// take no real time and the counter can be started just below its wrap. It
// moves on the bus owner's thread and is read by the test's.
struct FakeClock {
    std::atomic<std::uint32_t> now{0};

    WaitHooks hooks() {
        WaitHooks h;
        h.tickCount = [this] { return now.load(); };
        // A real tick counter moves on even when asked to sleep 0 ms.
        h.sleep = [this](std::uint32_t ms) { now += ms > 0 ? ms : 1; };
        return h;
    }
};

}  // namespace kestrel::testing
