#pragma once

#include <cstdint>
#include <functional>

#include "bus/wait_hooks.h"

namespace kestrel::testing {

// A millisecond tick counter that only moves when a wait sleeps, so waits
// take no real time and the counter can be started just below its wrap.
struct FakeClock {
    std::uint32_t now = 0;
    int eventPasses = 0;
    // Runs inside the wait, as a window event would (once, then cleared).
    std::function<void()> onEvents;

    WaitHooks hooks() {
        WaitHooks h;
        h.tickCount = [this] { return now; };
        h.waitForInput = [this](std::uint32_t count, const std::int32_t*, std::int32_t timeoutMs) {
            // Input arrives every 7 ms, so a wait spans several wakes.
            if (timeoutMs < 0 || timeoutMs > 7) {
                now += 7;
                return count;
            }
            // A real tick counter moves on even when asked to wait 0 ms.
            now += static_cast<std::uint32_t>(timeoutMs > 0 ? timeoutMs : 1);
            return kWaitTimeout;
        };
        h.processEvents = [this] {
            ++eventPasses;
            if (onEvents) {
                auto run = std::move(onEvents);
                onEvents = nullptr;
                run();
            }
        };
        return h;
    }
};

}  // namespace kestrel::testing
