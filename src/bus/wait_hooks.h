#pragma once

#include <cstdint>
#include <functional>

namespace kestrel {

// The operating-system services the millisecond wait is built on: the system
// tick counter and a plain sleep. Tests plug in a fake clock, so that holds
// take no real time and wrap-around of the 32-bit tick counter can be
// exercised. A wait holds the thread that owns the bus and nothing else: no
// window event is ever handled inside it.
struct WaitHooks {
    // Milliseconds since some fixed point, wrapping at 2^32.
    std::function<std::uint32_t()> tickCount;
    // Sleeps about `ms` milliseconds (it may wake early).
    std::function<void(std::uint32_t ms)> sleep;
};

// Waits until the tick count has passed `ms` milliseconds from now.
void waitMilliseconds(const WaitHooks& hooks, std::uint32_t ms);

// A steady clock and a plain sleep.
WaitHooks sleepingWaitHooks();

}  // namespace kestrel
