#include <gtest/gtest.h>

#include "bus/bus.h"
#include "bus/null_port.h"
#include "support/fake_clock.h"

namespace kestrel {
namespace {

struct WaitRig {
    NullPort port;
    std::int16_t base = 0x378, entry = 0;
    Bus bus{port, base, entry};
    testing::FakeClock clock;
    WaitRig() { bus.setWaitHooks(clock.hooks()); }
    std::uint32_t wait30() {
        const std::int32_t handles[1] = {0};
        return bus.WaitMilliseconds(30, handles, 0);
    }
};

TEST(WaitMilliseconds, ReturnsTimeoutAfterAtLeastTheTimeAndHandlesEvents) {
    for (std::uint32_t start : {0u, 1000u, 0xFFFFFFF0u, 0xFFFFFFFFu, 0x7FFFFFF0u}) {
        WaitRig rig;
        rig.clock.now = start;
        EXPECT_EQ(rig.wait30(), kWaitTimeout) << start;
        const std::uint32_t elapsed = rig.clock.now - start;
        EXPECT_GE(elapsed, 30u) << start;
        EXPECT_LT(elapsed, 40u) << "the wait must end soon after its time: " << start;
        EXPECT_GE(rig.clock.eventPasses, 4) << "events are handled on every wake";
    }
}

TEST(WaitMilliseconds, ATimerThatFiresEarlyDoesNotShortenTheHold) {
    // Coarse timers may fire a few percent early: each sleep here ends 2 ms
    // short of what was asked, yet reports a time-out.
    WaitRig rig;
    rig.clock.now = 0xFFFFFFF8u;
    WaitHooks hooks = rig.clock.hooks();
    hooks.waitForInput = [&](std::uint32_t, const std::int32_t*, std::int32_t timeout) {
        rig.clock.now += static_cast<std::uint32_t>(timeout > 2 ? timeout - 2 : 1);
        return kWaitTimeout;
    };
    rig.bus.setWaitHooks(hooks);
    EXPECT_EQ(rig.wait30(), kWaitTimeout);
    EXPECT_GT(rig.clock.now - 0xFFFFFFF8u, 30u) << "the tick count must have passed the end";
}

TEST(WaitMilliseconds, AnotherWakeReasonEndsTheWaitWithThatResult) {
    WaitRig rig;
    WaitHooks hooks = rig.clock.hooks();
    hooks.waitForInput = [](std::uint32_t, const std::int32_t*, std::int32_t) { return 0x80u; };
    rig.bus.setWaitHooks(hooks);
    EXPECT_EQ(rig.wait30(), 0x80u);
}

}  // namespace
}  // namespace kestrel
