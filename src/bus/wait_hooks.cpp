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
    hooks.sleep = [](std::uint32_t ms) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    };
    return hooks;
}

void waitMilliseconds(const WaitHooks& hooks, std::uint32_t ms) {
    // All time arithmetic wraps at 32 bits like the tick counter itself.
    const std::uint32_t start = hooks.tickCount();
    for (;;) {
        const std::uint32_t elapsed = hooks.tickCount() - start;
        // A sleep may end a little early: the time is up only when the tick
        // count says so. One more millisecond covers a tick counter that
        // moved on just after `start` was read.
        if (elapsed > ms) return;
        hooks.sleep(ms + 1 - elapsed);
    }
}

}  // namespace kestrel
