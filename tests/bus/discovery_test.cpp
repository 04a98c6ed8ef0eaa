#include <gtest/gtest.h>

#include "bus/lpt_discovery.h"
#include "bus/parallel_port.h"

namespace kestrel {
namespace {

TEST(LptDiscovery, LegacyGuessesOfTheLibraryAreNotPorts) {
    const auto slots = assignLptSlots({{"0x278", 0x278}, {"0x378", 0x378}, {"0x3bc", 0x3BC}});
    for (const LptSlot& s : slots) {
        EXPECT_EQ(s.address, 0);
        EXPECT_EQ(s.state, 0u) << "absent, not an error";
    }
}

TEST(LptDiscovery, KernelPortsMapByTheirNumber) {
    const auto slots = assignLptSlots({{"0x378", 0x378},
                                       {"parport1", 0x278},
                                       {"parport0", 0x378},
                                       {"parport2", 0},
                                       {"parport7", 0x3BC}});
    EXPECT_EQ(slots[0].address, 0x378);
    EXPECT_EQ(slots[0].listIndex, 2);
    EXPECT_EQ(slots[1].address, 0x278);
    EXPECT_EQ(slots[2].address, 0) << "a kernel port without I/O address cannot be driven";
    EXPECT_NE(slots[2].state, 0u) << "and is reported as an error, not as absent";
}

TEST(LptDiscovery, OddNamesAreIgnored) {
    const auto slots = assignLptSlots({{"parport", 0x378},
                                       {"parportX", 0x378},
                                       {"parport-1", 0x378},
                                       {"myparport0", 0x378},
                                       {"parport01x", 0x378}});
    for (const LptSlot& s : slots) EXPECT_EQ(s.address, 0);
}

TEST(ParallelPort, WithoutAClaimedPortNothingIsDrivenAndReadsShowSdaHigh) {
    std::vector<std::string> notices;
    ParallelPort port([&](const std::string& s) { notices.push_back(s); });
    // Whatever this machine has, an address that is no discovered port is never driven.
    port.EnablePorts(0, 2);
    port.Outport(0x0000, 3);
    EXPECT_EQ(port.Inport(0x0001), 0);
    port.DisablePorts(0, 2);
    for (int n : {0, 4}) {
        EXPECT_EQ(port.GetLPTPortAddress(n), 0);
    }
}

}  // namespace
}  // namespace kestrel
