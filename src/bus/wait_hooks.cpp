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

}  // namespace kestrel
