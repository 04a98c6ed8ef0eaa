#include <gtest/gtest.h>

#include "support/sim_rig.h"

namespace kestrel {
namespace {

using testing::SimRig;

// Status 00h..02h read ten times in a row.
std::vector<int> pollStatus(SimRig& rig) {
    std::vector<int> seen;
    for (int i = 0; i < 10; ++i)
        for (int r = 0; r < 3; ++r) seen.push_back(rig.device.ReadRegister(r).value);
    return seen;
}

TEST(SimulatedBoard, StatusActivityIsSeeded) {
    SimRig a, b;
    a.board.kestrel().setStatusActivity(true);
    b.board.kestrel().setStatusActivity(true);
    const auto first = pollStatus(a);
    EXPECT_EQ(first, pollStatus(b)) << "the same seed gives the same activity";
    EXPECT_NE(std::vector<int>(first.begin(), first.begin() + 3),
              std::vector<int>(first.end() - 3, first.end()))
        << "polling shows activity";
}

TEST(SimulatedBoard, StrapAddressAndBroadcastBothAnswer) {
    SimRig rig;
    rig.board.kestrel().setStrapAddress(0xA4);
    rig.g.SlaveAddr = 0xA4;
    EXPECT_EQ(rig.device.ReadRegister(0x1C).value, 0x4B);
    rig.g.SlaveAddr = 0xA0;
    EXPECT_EQ(rig.device.ReadRegister(0x1C).value, 0xFF);
    rig.g.SlaveAddr = 0xAE;
    EXPECT_EQ(rig.device.ReadRegister(0x1C).value, 0x4B);
}

// (SDA on status bit 4 of LPT1 at 378h: every bus test.)
TEST(SimulatedBoard, APortWriteOutsideEnablePortsDoesNotReachTheWire) {
    sim::SimulatedBoard board;
    board.EnablePorts(0, 2);
    board.DisablePorts(0, 2);
    board.Outport(0x378, 2);
    EXPECT_EQ(board.accessesOutsideBracket(), 1u);
    EXPECT_TRUE(board.wire().sda()) << "a write without port access does not reach the wire";
}

}  // namespace
}  // namespace kestrel
