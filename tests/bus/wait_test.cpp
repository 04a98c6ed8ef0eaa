#include <gtest/gtest.h>

#include "bus/bus.h"
#include "bus/null_port.h"
#include "support/fake_clock.h"

namespace kestrel {
namespace {

struct WaitRig {
    NullPort port;
    std::atomic<std::int16_t> base = 0x378, entry = 0;
    Bus bus{port, base, entry};
    testing::FakeClock clock;
    WaitRig() { bus.setWaitHooks(clock.hooks()); }
};

TEST(WaitMilliseconds, EndsOnlyOnceTheTickCountHasPassedTheTime) {
    for (std::uint32_t start : {0u, 1000u, 0xFFFFFFF0u, 0xFFFFFFFFu, 0x7FFFFFF0u}) {
        WaitRig rig;
        rig.clock.now = start;
        rig.bus.WaitMilliseconds(30);
        const std::uint32_t elapsed = rig.clock.now - start;
        EXPECT_GE(elapsed, 30u) << start;
        EXPECT_LT(elapsed, 40u) << "the wait must end soon after its time: " << start;
    }
    // Coarse sleeps may end a few percent early: each here ends 2 ms short of
    // what was asked, yet the hold is not shortened.
    WaitRig rig;
    rig.clock.now = 0xFFFFFFF8u;
    WaitHooks hooks = rig.clock.hooks();
    hooks.sleep = [&](std::uint32_t ms) { rig.clock.now += ms > 2 ? ms - 2 : 1; };
    rig.bus.setWaitHooks(hooks);
    rig.bus.WaitMilliseconds(30);
    EXPECT_GT(rig.clock.now - 0xFFFFFFF8u, 30u) << "the tick count must have passed the end";
}

}  // namespace
}  // namespace kestrel
