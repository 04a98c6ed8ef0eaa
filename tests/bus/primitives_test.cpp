#include <gtest/gtest.h>

#include "bus/bus.h"
#include "bus/null_port.h"
#include "bus/recording_port.h"
#include "support/line_helpers.h"

namespace kestrel {
namespace {

struct PortRig {
    explicit PortRig(std::uint16_t status = 0) : null(0x378, status) {}
    NullPort null;
    RecordingPort port{null};
    std::atomic<std::int16_t> base = 0x378;
    std::atomic<std::int16_t> entry = 0;
    Bus bus{port, base, entry};
};

TEST(BusSafety, NothingReachesThePortWithoutAFirstPort) {
    PortRig rig;
    rig.base = 0;
    EXPECT_FALSE(rig.bus.begin());
    EXPECT_FALSE(rig.bus.begin());
    rig.bus.I2CStart();
    rig.bus.I2CSendByte(0xAE);
    (void)rig.bus.I2CReadByte();
    EXPECT_TRUE(rig.port.events().empty());
    EXPECT_NE(rig.bus.refusal().find("No usable parallel port"), std::string::npos)
        << "every refusal says why";
}

}  // namespace
}  // namespace kestrel
