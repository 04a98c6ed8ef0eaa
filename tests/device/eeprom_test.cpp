// Whole-EEPROM reads at block speed, writes and verify that trust only the
// wire, and the bare address probe.
#include "device/eeprom.h"

#include <gtest/gtest.h>

#include "bus/bus.h"
#include "bus/counting_port.h"
#include "device/bus_probe.h"
#include "device/text_rules.h"
#include "simulator/simulated_board.h"
#include "support/fake_clock.h"

namespace kestrel {
namespace {

// The device layer on a simulated board behind a port that counts accesses.
struct Rig {
    Globals g;
    sim::SimulatedBoard board;
    CountingPort port{board};
    testing::FakeClock clock;
    Bus bus{port, g.LPTBase, g.PortEntry};
    Device device{g, bus};

    Rig() {
        g.LPTBase = static_cast<std::int16_t>(sim::SimulatedBoard::kBase);
        board.kestrel().setStatusActivity(false);
        bus.setWaitHooks(clock.hooks());
        // A distinct value in every byte, so a misplaced byte shows.
        for (int a = 0; a < 512; ++a)
            board.kestrel().setEeprom(0x8000 + a,
                                      static_cast<std::uint8_t>((a * 7 + a / 256) & 0xFF));
    }
    int stored(unsigned address) { return board.kestrel().eeprom(static_cast<int>(address)); }
    std::vector<std::string> log() { return board.log().describeAll(); }
};

TEST(EepromBulkTest, WholeEepromAtBlockSpeedWithinTheAccessBudgetAndVerifyNamesAMismatch) {
    Rig rig;
    const eeprom::Run read = eeprom::read(rig.device, 0x8000, 512, eeprom::Speed::Blocks);
    ASSERT_FALSE(read.refused());
    ASSERT_EQ(read.steps.size(), 512u);
    for (const auto& b : read.steps) {
        ASSERT_TRUE(b.ok()) << text::addressText(b.address) << ": " << b.problem;
        ASSERT_EQ(b.value, rig.stored(b.address)) << text::addressText(b.address);
    }
    EXPECT_TRUE(read.fallbacks.empty());
    EXPECT_LE(rig.port.accesses(), 20000u)
        << rig.port.writes << " writes, " << rig.port.reads << " reads";

    EXPECT_EQ(rig.log().size(), 32u) << "a pointer write and a block read per block";

    // A range that ends at the EEPROM's end is read from 81E0h, never past it;
    // a few bytes are read one by one.
    rig.board.log().clear();
    eeprom::Run tail = eeprom::read(rig.device, 0x81F0, 16, eeprom::Speed::Blocks);
    EXPECT_EQ(tail.steps.at(15).value, rig.stored(0x81FF));
    EXPECT_EQ(rig.log().at(0), "S AE+ 81+ E0+ P");
    rig.board.log().clear();
    tail = eeprom::read(rig.device, 0x8105, 3, eeprom::Speed::Blocks);
    EXPECT_EQ(tail.steps.at(2).value, rig.stored(0x8107));
    EXPECT_EQ(rig.log().size(), 3u);

    // Verify names the byte that differs, what the list holds and what was read.
    std::vector<int> data;
    for (unsigned a = 0x8140; a < 0x8160; ++a) data.push_back(rig.stored(a));
    rig.board.kestrel().setEeprom(0x8145, 0x00);
    const auto report = eeprom::verify(rig.device, 0x8140, data, eeprom::Speed::Blocks);
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(report.failures[0].text(), "verify mismatch at 8145h: expected E4, read 00");
}

// A read the port cuts short, or the user stops, still has one step for
// every address asked for: the bytes not read are failed steps, named, and
// neither the run nor a verify of it passes.
TEST(EepromBulkTest, ARunCutShortHasAFailedStepForEveryByteNotRead) {
    const auto cost = [](unsigned count, eeprom::Speed speed) {
        Rig rig;
        EXPECT_TRUE(eeprom::read(rig.device, 0x8000, count, speed).ok());
        return static_cast<unsigned>(rig.board.portAccesses());
    };
    const unsigned block = cost(512, eeprom::Speed::Blocks) / 16;
    const unsigned byte = cost(64, eeprom::Speed::Bytes) / 64;
    struct Case {
        unsigned count;
        eeprom::Speed speed;
        unsigned failAt;  // the port access that fails; 0: the user stops after 40 bytes
        const char* notRead;
    };
    const Case cases[] = {
        {512, eeprom::Speed::Blocks, 2 * block + block / 2, "8040h-81FFh"},
        {64, eeprom::Speed::Bytes, 40 * byte + byte / 2, "8028h-803Fh"},
        {64, eeprom::Speed::Bytes, 0, "8028h-803Fh"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failAt);
        Rig rig;
        if (c.failAt != 0) {
            ASSERT_TRUE(rig.board.applyFault("port-error-after " + text::hexText(c.failAt)));
        }
        int seen = 0;
        const eeprom::Run run =
            eeprom::read(rig.device, 0x8000, c.count, c.speed,
                         [&](const eeprom::Step&) { return ++seen < 40 || c.failAt != 0; });
        ASSERT_EQ(run.steps.size(), c.count);
        for (unsigned k = 0; k < c.count; ++k) EXPECT_EQ(run.steps[k].address, 0x8000 + k);
        EXPECT_FALSE(run.ok());
        EXPECT_EQ(run.portFailed, c.failAt != 0);
        EXPECT_EQ(run.failedAddresses(), c.notRead);
    }
    Rig rig;
    std::vector<int> data;
    for (unsigned a = 0x8000; a < 0x8200; ++a) data.push_back(rig.stored(a));
    ASSERT_TRUE(rig.board.applyFault("port-error-after " + text::hexText(2 * block + block / 2)));
    const auto verify = eeprom::verify(rig.device, 0x8000, data, eeprom::Speed::Blocks);
    EXPECT_FALSE(verify.passed());
    EXPECT_EQ(verify.failures.size(), 448u);
}

// A probe is START, the address, its acknowledge slot and STOP: a scan of
// every address sends nothing else and sets no switch; a stuck line is told.
TEST(BusProbeTest, AScanIsAddressesAndNothingElse) {
    Rig rig;
    const auto scan = scanAddresses(rig.device);
    ASSERT_TRUE(scan);
    EXPECT_EQ(scan->acknowledged, (std::vector<int>{0x90, 0x98, 0xA0, 0xAE}));
    const auto log = rig.log();
    ASSERT_EQ(log.size(), (0xEEu - 0x06u) / 2 + 1);
    for (const std::string& t : log) EXPECT_EQ(t.size(), 7u) << "more than an address: " << t;
    EXPECT_EQ(rig.board.plover().writes(), 0) << "a probe set no switch";

    ASSERT_TRUE(rig.board.applyFault("sda-stuck-low"));
    const auto stuck = scanAddresses(rig.device);
    ASSERT_TRUE(stuck);
    EXPECT_TRUE(stuck->sdaStuckLow);
}

}  // namespace
}  // namespace kestrel
