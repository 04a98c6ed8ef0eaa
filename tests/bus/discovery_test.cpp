#include <gtest/gtest.h>

#include <cerrno>
#include <memory>

#include "bus/lpt_discovery.h"
#include "bus/parallel_port.h"
#include "support/fake_ppdev.h"

namespace kestrel {
namespace {

TEST(LptDiscovery, LegacyGuessesOfTheLibraryAreNotPorts) {
    const auto slots = assignLptSlots({{"0x278", 0x278}, {"0x378", 0x378}, {"0x3bc", 0x3BC}});
    for (const LptSlot& s : slots) {
        EXPECT_EQ(s.address, 0);
        EXPECT_EQ(s.state, 0u) << "absent, not an error";
    }
}

// Odd names are ignored (their addresses are nowhere); a kernel port
// without an I/O address is an error, not absent.
TEST(LptDiscovery, KernelPortsMapByTheirNumber) {
    const auto slots = assignLptSlots({{"0x378", 0x378},
                                       {"parport1", 0x278},
                                       {"parport0", 0x378},
                                       {"parport2", 0},
                                       {"parport7", 0x3BC},
                                       {"parport", 0x111},
                                       {"parportX", 0x111},
                                       {"parport-1", 0x111},
                                       {"myparport0", 0x111},
                                       {"parport01x", 0x111}});
    EXPECT_EQ(slots[0].address, 0x378);
    EXPECT_EQ(slots[0].listIndex, 2);
    EXPECT_EQ(slots[1].address, 0x278);
    EXPECT_EQ(slots[2].address, 0);
    EXPECT_NE(slots[2].state, 0u);
    for (const LptSlot& s : slots) EXPECT_NE(s.address, 0x111);
}

// A base address the kernel lists that is no address is not used, and the
// user is told what it holds.
TEST(LptDiscovery, ABaseAddressThatIsNoAddressIsNamed) {
    const std::pair<const char*, const char*> cases[] = {
        {"888\t1912\n", ""},
        {"0x378\n", " reads '0x378', not a decimal I/O address."},
        {"70000\t0\n", " reads '70000 0', outside the I/O addresses 1h-FFFEh."},
    };
    for (const auto& [text, says] : cases) {
        auto kernel = std::make_unique<testing::FakePpdev>();
        kernel->files["/proc/sys/dev/parport/parport0/base-addr"] = text;
        std::string told;
        ParallelPort port([&told](const std::string& t) { told += t; }, std::move(kernel));
        EXPECT_EQ(told, *says == '\0' ? std::string()
                                      : "LPT1 (parport0) is not used: "
                                        "/proc/sys/dev/parport/parport0/base-addr" +
                                            std::string(says));
    }
}

using testing::FakeParallelPort;

void transaction(ParallelPort& port, std::uint16_t* status = nullptr) {
    port.EnablePorts(0, 2);
    port.Outport(0x378, 3);
    const std::uint16_t s = port.Inport(0x379);
    if (status) *status = s;
    port.DisablePorts(0, 2);
}

std::size_t portAccesses(const std::vector<std::string>& calls) {
    std::size_t n = 0;
    for (const std::string& c : calls)
        n += c.rfind("PPWDATA", 0) == 0 || c.rfind("PPRSTATUS", 0) == 0;
    return n;
}

// Discovery reads only the kernel's own list; connecting opens only the
// ppdev node of the chosen port and tries a claim, and a transaction makes
// only ppdev calls on it.
TEST(ParallelPort, OnlyTheKernelsListAndPpdevCallsOnTheChosenPort) {
    FakeParallelPort rig;
    ParallelPort& port = *rig.port;
    EXPECT_EQ(port.GetLPTPortAddress(1), 0x378);
    EXPECT_EQ(port.GetLastState(0), 0u);
    EXPECT_EQ(port.GetLPTPortAddress(2), 0);
    EXPECT_NE(port.GetLastState(0), 0u) << "a kernel port without an address is an error";
    EXPECT_EQ(port.GetLPTPortAddress(3), 0);
    rig.kernel->calls.clear();
    EXPECT_EQ(port.open(0x378), "");
    EXPECT_EQ(rig.kernel->calls, (std::vector<std::string>{"open /dev/parport0", "PPEXCL 7",
                                                           "PPCLAIM 7", "PPRELEASE 7"}));
    rig.kernel->calls.clear();
    std::uint16_t status = 0;
    transaction(port, &status);
    transaction(port);
    EXPECT_EQ(rig.kernel->calls,
              (std::vector<std::string>{"PPCLAIM 7", "PPWDATA 3 7", "PPRSTATUS 7", "PPRELEASE 7",
                                        "PPCLAIM 7", "PPWDATA 3 7", "PPRSTATUS 7", "PPRELEASE 7"}));
    EXPECT_EQ(status, 0x10);
    // An address that is no discovered port is never driven, and nothing is
    // sent outside EnablePorts..DisablePorts.
    rig.kernel->calls.clear();
    port.Outport(0x378, 1);
    port.EnablePorts(0, 2);
    port.Outport(0x0000, 3);
    port.Outport(0x3BC, 3);
    EXPECT_EQ(port.Inport(0x0001), 0);
    port.DisablePorts(0, 2);
    EXPECT_TRUE(rig.kernel->calls.empty());
    EXPECT_EQ(port.fault(), "");
    EXPECT_EQ(port.open(0x278), "No parallel port at 278h");
}

// Each way the port can fail to open gives the reason and what to do,
// closes the node and sends nothing; the longer explanation is told once.
TEST(ParallelPort, APortThatCannotBeOpenedSaysWhyAndSendsNothing) {
    const std::string head = "LPT1 cannot be opened: /dev/parport0: ";
    const std::string holder = head + "another driver holds it; unload the printer driver lp";
    struct Case {
        const char* name;
        void (*setUp)(testing::FakePpdev&);
        std::string text;
        const char* explained;
    };
    const Case cases[] = {
        {"no node", [](testing::FakePpdev& k) { k.nodes.clear(); },
         head + "no such device node; load the ppdev module", "modprobe ppdev"},
        {"denied", [](testing::FakePpdev& k) { k.openError = EACCES; },
         head + "permission denied; add yourself to group lp", "adduser $USER lp"},
        {"busy open", [](testing::FakePpdev& k) { k.openError = EBUSY; }, holder, "rmmod lp"},
        {"busy claim", [](testing::FakePpdev& k) { k.claimError = EBUSY; }, holder, "rmmod lp"},
        {"lp registered", [](testing::FakePpdev& k) { k.claimError = ENXIO; }, holder, "rmmod lp"},
        {"no port driver", [](testing::FakePpdev& k) { k.openError = ENXIO; },
         head + "no such device; load the parport_pc module", "refused it (no such device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeParallelPort rig;
        c.setUp(*rig.kernel);
        EXPECT_EQ(rig.port->open(0x378), c.text);
        EXPECT_EQ(rig.port->open(0x378), c.text) << "trying again gives the same answer";
        ASSERT_EQ(rig.notices.size(), 1u);
        EXPECT_NE(rig.notices[0].find(c.explained), std::string::npos) << rig.notices[0];
        EXPECT_EQ(rig.kernel->openNodes, 0) << "a node that was opened is closed again";
        std::uint16_t status = 1;
        transaction(*rig.port, &status);
        EXPECT_EQ(portAccesses(rig.kernel->calls), 0u);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(rig.port->fault(), "LPT1 port error: /dev/parport0: not open");
    }
}

// A call that fails in the middle of a transaction is kept as the port's
// fault and lets the claim go; nothing more is sent until the port is opened
// again (the bus over it: PortFailure).
TEST(ParallelPort, AFailedCallIsKeptAndStopsThePortUntilItIsOpenedAgain) {
    FakeParallelPort rig;
    ASSERT_EQ(rig.port->open(0x378), "");
    rig.kernel->failAtAccess = 2;
    rig.kernel->accessError = ENODEV;
    transaction(*rig.port);
    transaction(*rig.port);
    EXPECT_EQ(rig.port->fault(), "LPT1 port error: /dev/parport0: no such device");
    EXPECT_EQ(rig.kernel->accesses, 2) << "nothing after the call that failed";
    EXPECT_EQ(rig.kernel->calls.back(), "PPRELEASE 7") << "the claim is let go";
    // Another driver taking the port between transactions is a fault too.
    FakeParallelPort taken;
    ASSERT_EQ(taken.port->open(0x378), "");
    taken.kernel->claimError = EBUSY;
    transaction(*taken.port);
    EXPECT_EQ(taken.port->fault(),
              "LPT1 port error: /dev/parport0: cannot be claimed, another driver holds it; "
              "unload the printer driver lp");
    EXPECT_EQ(portAccesses(taken.kernel->calls), 0u);
}

}  // namespace
}  // namespace kestrel
