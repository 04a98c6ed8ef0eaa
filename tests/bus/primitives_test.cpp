#include <gtest/gtest.h>

#include "bus/bus.h"
#include "bus/null_port.h"
#include "bus/recording_port.h"
#include "support/fake_clock.h"
#include "support/line_helpers.h"

namespace kestrel {
namespace {

struct PortRig {
    explicit PortRig(std::uint16_t status = 0) : null(0x378, status) {}
    NullPort null;
    RecordingPort port{null};
    std::int16_t base = 0x378;
    std::int16_t entry = 0;
    Bus bus{port, base, entry};
};

TEST(BusSafety, NothingReachesThePortWithoutAFirstPort) {
    PortRig rig;
    rig.base = 0;
    std::vector<std::string> notices;
    rig.bus.setNoticeSink([&](const std::string& s) { notices.push_back(s); });
    EXPECT_FALSE(rig.bus.begin());
    EXPECT_FALSE(rig.bus.begin());
    rig.bus.I2CStart();
    rig.bus.I2CSendByte(0xAE);
    (void)rig.bus.I2CReadByte();
    EXPECT_TRUE(rig.port.events().empty());
    ASSERT_EQ(notices.size(), 1u) << "the user is told once, not on every click";
    EXPECT_NE(notices[0].find("No usable parallel port"), std::string::npos);
}

TEST(BusSafety, SecondTransactionFromInsideTheWaitIsRefusedNotInterleaved) {
    PortRig rig;
    testing::FakeClock clock;
    rig.bus.setWaitHooks(clock.hooks());
    std::vector<std::string> notices;
    rig.bus.setNoticeSink([&](const std::string& s) { notices.push_back(s); });

    bool nestedRan = false;
    auto nested = [&](Origin origin) {
        auto tx = rig.bus.begin(origin);
        nestedRan = static_cast<bool>(tx);
        if (tx) rig.bus.I2CStart();
    };

    // A person's click and then a timer tick arrive during the 30 ms hold.
    for (Origin origin : {Origin::User, Origin::Timer}) {
        rig.port.clear();
        clock.onEvents = [&] { nested(origin); };
        {
            auto tx = rig.bus.begin();
            ASSERT_TRUE(tx);
            testing::startAndSend(rig.bus, {0xFF});
            const std::int32_t handles[1] = {0};
            rig.bus.WaitMilliseconds(30, handles, 0);
            rig.bus.I2CStop();
        }
        EXPECT_FALSE(nestedRan);
        std::vector<int> expected = {0, 2, 3};
        for (int i = 0; i < 8; ++i) expected.insert(expected.end(), {1, 0, 1});
        expected.insert(expected.end(), {1, 0, 1, 3, 2, 0});
        EXPECT_EQ(rig.port.writes(), expected);
    }
    EXPECT_EQ(notices.size(), 1u) << "a refused click is explained, a refused tick is not";

    // Once the first transaction is over the bus is free again.
    nested(Origin::User);
    EXPECT_TRUE(nestedRan);
}

}  // namespace
}  // namespace kestrel
