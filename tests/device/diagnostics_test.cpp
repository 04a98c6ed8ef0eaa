#include "device/diagnostics.h"

#include <gtest/gtest.h>

#include "bus/port_check.h"
#include "support/line_helpers.h"
#include "support/sim_rig.h"

namespace kestrel {
namespace {

TEST(PortCheck, TellsWiringFaultsAndBusClearFreesAHeldSlave) {
    testing::SimRig rig;
    EXPECT_EQ(port_check::portTest(rig.bus).text, "SDA follows");
    rig.board.wire().setSdaStuckLow(true);
    EXPECT_EQ(port_check::portTest(rig.bus).text, "SDA stuck low");
    rig.board.wire().setSdaStuckLow(false);

    // Leave the chip in the middle of sending 4Bh (first bit 0: SDA held low).
    {
        auto tx = rig.bus.begin();
        testing::startAndSend(rig.bus, {0xAE, 0x1C});
        testing::startAndSend(rig.bus, {0xAF});
    }
    EXPECT_FALSE(rig.board.wire().sda()) << "the slave holds SDA";
    EXPECT_EQ(port_check::portTest(rig.bus).text, "SDA stuck low");
    EXPECT_EQ(port_check::busClear(rig.bus), port_check::ClearResult::Free);
    EXPECT_EQ(rig.device.ReadRegister(0x1D).value, 0x21);
}

}  // namespace
}  // namespace kestrel
