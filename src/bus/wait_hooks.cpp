#include "bus/wait_hooks.h"

#include <chrono>
#include <thread>

namespace kestrel {

WaitHooks sleepingWaitHooks() {
    WaitHooks hooks;
    hooks.tickCount = [] {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    };
    hooks.waitForInput = [](std::uint32_t, const std::int32_t*, std::int32_t timeoutMs) {
        // Nothing can wake us early without an event loop: sleep the time out.
        if (timeoutMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return kWaitTimeout;
    };
    hooks.processEvents = [] {};
    return hooks;
}

std::uint32_t waitMilliseconds(const WaitHooks& hooks, std::int32_t ms, const std::int32_t* handles,
                               std::int32_t count) {
    // All time arithmetic wraps at 32 bits like the tick counter itself.
    const bool infinite = ms == -1;
    const std::uint32_t end = infinite ? 0 : hooks.tickCount() + static_cast<std::uint32_t>(ms);
    std::int32_t remaining = -1;
    for (;;) {
        if (!infinite) {
            remaining = static_cast<std::int32_t>(end - hooks.tickCount());
            const std::int32_t x = remaining ^ ms;
            if ((x > 0 && remaining > ms) || (x <= 0 && remaining < 0)) return kWaitTimeout;
        }
        const std::uint32_t r =
            hooks.waitForInput(static_cast<std::uint32_t>(count), handles, remaining);
        hooks.processEvents();
        // A timer may fire a little early: the time is up only when the tick
        // count says so, never on the timer's word alone.
        if (r == kWaitTimeout && !infinite) continue;
        if (r != static_cast<std::uint32_t>(count)) return r;
    }
}

}  // namespace kestrel
