#pragma once

#include <cstdint>
#include <functional>

namespace kestrel {

// The operating-system services the millisecond wait is built on. The program
// plugs in the system tick counter and Qt's event loop; tests plug in a fake
// clock so that wrap-around of the 32-bit tick counter can be exercised.
struct WaitHooks {
    // Milliseconds since some fixed point, wrapping at 2^32.
    std::function<std::uint32_t()> tickCount;
    // Sleeps until window input arrives or `timeoutMs` passes (-1: no limit).
    // Returns `count` when woken by input, kWaitTimeout when the time ran out.
    std::function<std::uint32_t(std::uint32_t count, const std::int32_t* handles,
                                std::int32_t timeoutMs)>
        waitForInput;
    // Handles every window event that is pending.
    std::function<void()> processEvents;
};

inline constexpr std::uint32_t kWaitTimeout = 258;

// Waits `ms` milliseconds (-1: forever) on `hooks` while window events keep
// being handled. Returns kWaitTimeout when the time is up, or the wake-up
// result when something other than input ended the wait.
std::uint32_t waitMilliseconds(const WaitHooks& hooks, std::int32_t ms, const std::int32_t* handles,
                               std::int32_t count);

// Hooks for programs without an event loop: a steady clock and a plain sleep.
WaitHooks sleepingWaitHooks();

}  // namespace kestrel
