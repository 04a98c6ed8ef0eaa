// Whole-EEPROM reads at block speed, writes and verify that trust only the
// wire, and the bare address probe.
#include "device/eeprom.h"

#include <gtest/gtest.h>

#include "bus/bus.h"
#include "bus/counting_port.h"
#include "bus/crc8.h"
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

TEST(EepromBulkTest, WholeEepromAtBlockSpeedWithinTheAccessBudget) {
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

    // On the wire: 16 pointer writes and 16 block reads, each PEC as the chip sent it.
    const auto log = rig.log();
    ASSERT_EQ(log.size(), 32u);
    EXPECT_EQ(log[2], "S AE+ 80+ 20+ P");
    std::vector<std::uint8_t> block = {0xAE, 0xA1, 0xAF, 0x20};
    std::string expected = "S AE+ A1+ Sr AF+ <20+";
    for (unsigned i = 0; i < 32; ++i) {
        block.push_back(static_cast<std::uint8_t>(rig.stored(0x8020 + i)));
        expected += " <" + text::byteText(block.back()) + "+";
    }
    expected += " <" + text::byteText(smbusPec(block)) + "- P";
    EXPECT_EQ(log[3], expected);
}

TEST(EepromBulkTest, ShortAndUnalignedRangesStayInsideTheEeprom) {
    Rig rig;
    // 81F0h-81FFh: the block starts at 81E0h, never past the end.
    eeprom::Run read = eeprom::read(rig.device, 0x81F0, 16, eeprom::Speed::Blocks);
    ASSERT_FALSE(read.refused());
    ASSERT_EQ(read.steps.size(), 16u);
    for (unsigned i = 0; i < 16; ++i) EXPECT_EQ(read.steps[i].value, rig.stored(0x81F0 + i));
    EXPECT_EQ(rig.log()[0], "S AE+ 81+ E0+ P");

    // A few bytes: byte reads, each with its PEC.
    rig.board.log().clear();
    read = eeprom::read(rig.device, 0x8105, 3, eeprom::Speed::Blocks);
    ASSERT_FALSE(read.refused());
    ASSERT_EQ(read.steps.size(), 3u);
    EXPECT_EQ(read.steps[2].address, 0x8107u);
    EXPECT_EQ(read.steps[2].value, rig.stored(0x8107));
    EXPECT_EQ(rig.log().size(), 3u);
}

TEST(EepromBulkTest, ABlockThatFailsIsReadAgainByteByByte) {
    Rig rig;
    // A wrong count byte changes the block's PEC too: every block fails.
    ASSERT_TRUE(rig.board.applyFault("block-count 05"));
    const auto read = eeprom::read(rig.device, 0x8100, 64, eeprom::Speed::Blocks);
    ASSERT_FALSE(read.refused());
    ASSERT_EQ(read.fallbacks.size(), 2u);
    EXPECT_NE(read.fallbacks[0].find("8100h"), std::string::npos) << read.fallbacks[0];
    for (const auto& b : read.steps) {
        EXPECT_TRUE(b.ok()) << b.problem;
        EXPECT_EQ(b.value, rig.stored(b.address));
    }
    // Two blocks (pointer and read each) and then 64 byte reads.
    EXPECT_EQ(rig.log().size(), 2u + 64u + 2u);

    Rig corrupt;
    ASSERT_TRUE(corrupt.board.applyFault("corrupt-pec"));
    const auto bad = eeprom::read(corrupt.device, 0x8100, 32, eeprom::Speed::Blocks);
    ASSERT_FALSE(bad.refused());
    for (const auto& b : bad.steps) {
        EXPECT_TRUE(b.acknowledged);
        EXPECT_FALSE(b.pecOk);
        EXPECT_EQ(b.problem.rfind("PEC mismatch at " + text::addressText(b.address) + "h", 0), 0u)
            << b.problem;
    }
}

TEST(EepromBulkTest, WithTheChipAbsentNothingCountsAsReadWrittenOrVerified) {
    Rig rig;
    ASSERT_TRUE(rig.board.applyFault("missing"));
    const auto read = eeprom::read(rig.device, 0x8100, 32, eeprom::Speed::Blocks);
    ASSERT_FALSE(read.refused());
    for (const auto& b : read.steps) {
        EXPECT_FALSE(b.acknowledged);
        EXPECT_EQ(b.problem, "No acknowledge from AEh");
        EXPECT_EQ(b.value, 0xFF) << "the idle bus reads FFh";
    }

    const auto writes = eeprom::writeBlock(rig.device, 0x8100, std::vector<int>(32, 0xFF));
    ASSERT_FALSE(writes.refused());
    EXPECT_EQ(eeprom::writeFailureText(writes),
              "32 of 32 writes not acknowledged; first at 8100h: no acknowledge from AEh");

    // FFh everywhere is exactly what a blank block holds, and still no byte verifies.
    const auto report = eeprom::verify(rig.device, 0x8100, std::vector<int>(32, 0xFF), eeprom::Speed::Blocks);
    ASSERT_FALSE(report.run.refused());
    EXPECT_FALSE(report.passed());
    EXPECT_EQ(report.verified(), 0u);
    ASSERT_EQ(report.failures.size(), 32u);
    EXPECT_EQ(report.failures[0].text(), "Verify failed at 8100h: no acknowledge from AEh");
}

TEST(EepromBulkTest, VerifyNamesValueMismatchesAndPassesGoodBytes) {
    Rig rig;
    std::vector<int> data(32);
    for (int i = 0; i < 32; ++i) data[static_cast<std::size_t>(i)] = 0x40 + i;
    for (int i = 0; i < 32; ++i) rig.board.kestrel().setEeprom(0x8140 + i, 0xFF);
    const auto writes = eeprom::writeBlock(rig.device, 0x8140, data);
    ASSERT_FALSE(writes.refused());
    EXPECT_EQ(eeprom::writeFailureText(writes), "");
    auto report = eeprom::verify(rig.device, 0x8140, data, eeprom::Speed::Blocks);
    ASSERT_FALSE(report.run.refused());
    EXPECT_TRUE(report.passed());
    EXPECT_EQ(report.verified(), 32u);

    rig.board.kestrel().setEeprom(0x8145, 0x00);
    report = eeprom::verify(rig.device, 0x8140, data, eeprom::Speed::Blocks);
    ASSERT_FALSE(report.run.refused());
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(report.failures[0].text(), "verify mismatch at 8145h: expected 45, read 00");
}

TEST(BusProbeTest, AProbeIsStartAddressAcknowledgeStopAndNothingElse) {
    Rig rig;
    EXPECT_EQ(probeAddress(rig.device, 0xAE), ProbeAnswer::Acknowledged);
    EXPECT_EQ(probeAddress(rig.device, 0x92), ProbeAnswer::NotAcknowledged);
    EXPECT_EQ(rig.log(), (std::vector<std::string>{"S AE+ P", "S 92- P"}));
    const std::uint64_t written = rig.board.kestrel().transactions();

    rig.board.log().clear();
    const auto scan = scanAddresses(rig.device);
    ASSERT_TRUE(scan);
    EXPECT_EQ(scan->acknowledged, (std::vector<int>{0x90, 0x98, 0xA0, 0xAE}));
    EXPECT_FALSE(scan->sdaStuckLow);
    const auto log = rig.log();
    ASSERT_EQ(log.size(), (0xEEu - 0x06u) / 2 + 1);
    for (const std::string& t : log) EXPECT_EQ(t.size(), 7u) << "more than an address: " << t;
    EXPECT_EQ(rig.board.plover().writes(), 0) << "a probe set no switch";
    EXPECT_EQ(rig.board.kestrel().transactions(), written + 2) << "AEh and A0h, nothing else";

    Rig stuck;
    ASSERT_TRUE(stuck.board.applyFault("sda-stuck-low"));
    const auto none = scanAddresses(stuck.device);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->sdaStuckLow);
    EXPECT_TRUE(none->acknowledged.empty()) << "a stuck line is no acknowledge";
}

}  // namespace
}  // namespace kestrel
