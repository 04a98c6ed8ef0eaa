#include <gtest/gtest.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <map>
#include <memory>
#include <set>

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

// The kernel as the parallel port sees it: its list of ports and the ppdev
// nodes. Every call is written down, so a test can say exactly what was done.
class FakePpdev final : public KernelCalls {
  public:
    std::map<std::string, std::string> files;  // procfs texts
    std::set<std::string> nodes;               // /dev/parportN that exist
    int openError = 0, claimError = 0;
    std::vector<std::string>* calls;
    unsigned char status = 0x10;
    explicit FakePpdev(std::vector<std::string>& log) : calls(&log) {}

    std::vector<std::string> listFolder(const std::string& path) override {
        calls->push_back("list " + path);
        std::set<std::string> names;
        for (const auto& [file, text] : files)
            if (file.rfind(path + "/", 0) == 0)
                names.insert(file.substr(path.size() + 1,
                                         file.find('/', path.size() + 1) - path.size() - 1));
        return {names.begin(), names.end()};
    }
    bool readText(const std::string& path, std::string& text) override {
        calls->push_back("read " + path);
        const auto it = files.find(path);
        if (it == files.end()) return false;
        text = it->second;
        return true;
    }
    int openNode(const std::string& path, int& error) override {
        calls->push_back("open " + path);
        error = !nodes.count(path) ? ENOENT : openError;
        return error == 0 ? 7 : -1;
    }
    void closeNode(int fd) override { calls->push_back("close " + std::to_string(fd)); }
    int ioctl(int fd, unsigned long request, void* argument, int& error) override {
        std::string name = request == PPEXCL      ? "PPEXCL"
                           : request == PPCLAIM   ? "PPCLAIM"
                           : request == PPRELEASE ? "PPRELEASE"
                           : request == PPWDATA   ? "PPWDATA"
                           : request == PPRSTATUS ? "PPRSTATUS"
                                                  : "other";
        if (request == PPWDATA)
            name += " " + std::to_string(*static_cast<unsigned char*>(argument));
        if (request == PPRSTATUS) *static_cast<unsigned char*>(argument) = status;
        calls->push_back(name + " " + std::to_string(fd));
        error = request == PPCLAIM ? claimError : 0;
        return error == 0 ? 0 : -1;
    }
    bool exists(const std::string& path) override { return nodes.count(path) > 0; }
    bool readWritable(const std::string& path) override {
        return nodes.count(path) && openError == 0;
    }
};

struct PortRig {
    std::vector<std::string> calls, notices;
    FakePpdev* kernel = nullptr;
    std::unique_ptr<ParallelPort> port;
    explicit PortRig(const std::function<void(FakePpdev&)>& setUp) {
        auto fake = std::make_unique<FakePpdev>(calls);
        fake->files["/proc/sys/dev/parport/parport0/base-addr"] = "888\t1912\n";
        fake->files["/proc/sys/dev/parport/parport1/irq"] = "-1\n";  // no base address: a USB port
        fake->files["/proc/sys/dev/parport/default/timeslice"] = "200\n";
        fake->nodes = {"/dev/parport0"};
        setUp(*fake);
        kernel = fake.get();
        port = std::make_unique<ParallelPort>(
            [this](const std::string& s) { notices.push_back(s); }, std::move(fake));
    }
    void transaction() {
        port->EnablePorts(0, 2);
        port->Outport(0x378, 3);
        status = port->Inport(0x379);
        port->DisablePorts(0, 2);
    }
    std::uint16_t status = 0;
};

// Discovery reads only the kernel's own list; a transaction opens only the
// ppdev node of the chosen port and makes only ppdev calls on it.
TEST(ParallelPort, OnlyTheKernelsListAndPpdevCallsOnTheChosenPort) {
    PortRig rig([](FakePpdev&) {});
    EXPECT_EQ(rig.port->GetLPTPortAddress(1), 0x378);
    EXPECT_EQ(rig.port->GetLastState(0), 0u);
    EXPECT_EQ(rig.port->GetLPTPortAddress(2), 0);
    EXPECT_NE(rig.port->GetLastState(0), 0u) << "a kernel port without an address is an error";
    EXPECT_EQ(rig.port->GetLPTPortAddress(3), 0);
    rig.calls.clear();
    rig.transaction();
    rig.transaction();
    EXPECT_EQ(rig.calls,
              (std::vector<std::string>{"open /dev/parport0", "PPEXCL 7", "PPCLAIM 7",
                                        "PPWDATA 3 7", "PPRSTATUS 7", "PPRELEASE 7", "PPCLAIM 7",
                                        "PPWDATA 3 7", "PPRSTATUS 7", "PPRELEASE 7"}));
    EXPECT_EQ(rig.status, 0x10);
    // An address that is no discovered port is never driven, and nothing is
    // sent outside EnablePorts..DisablePorts.
    rig.calls.clear();
    rig.port->Outport(0x378, 1);
    rig.port->EnablePorts(0, 2);
    rig.port->Outport(0x0000, 3);
    rig.port->Outport(0x3BC, 3);
    EXPECT_EQ(rig.port->Inport(0x0001), 0);
    rig.port->DisablePorts(0, 2);
    EXPECT_TRUE(rig.calls.empty());
}

// Each way the port can fail tells the user what to do, once.
TEST(ParallelPort, MissingModulePermissionAndABusyPortAreExplained) {
    PortRig missing([](FakePpdev& k) { k.nodes.clear(); });
    missing.transaction();
    missing.transaction();
    ASSERT_EQ(missing.notices.size(), 1u);
    EXPECT_NE(missing.notices[0].find("modprobe ppdev"), std::string::npos);
    EXPECT_NE(missing.notices[0].find("/etc/modules-load.d/"), std::string::npos);

    PortRig denied([](FakePpdev& k) { k.openError = EACCES; });
    denied.transaction();
    ASSERT_EQ(denied.notices.size(), 1u);
    EXPECT_NE(denied.notices[0].find("adduser $USER lp"), std::string::npos);

    PortRig busy([](FakePpdev& k) { k.claimError = EBUSY; });
    busy.transaction();
    ASSERT_EQ(busy.notices.size(), 1u);
    EXPECT_NE(busy.notices[0].find("rmmod lp"), std::string::npos);
    EXPECT_EQ(busy.status, 0) << "nothing read from a port we do not hold";
}

}  // namespace
}  // namespace kestrel
