#include <gtest/gtest.h>

#include "bus/crc8.h"
#include "device/text_rules.h"
#include "support/sim_rig.h"

namespace kestrel {
namespace {

using testing::SimRig;

std::string pecText(std::initializer_list<std::uint8_t> bytes) {
    return text::byteText(smbusPec(bytes));
}

TEST(Crc8, MatchesTheSmbusCheckValue) {
    const std::string check = "123456789";
    EXPECT_EQ(smbusPec(std::vector<std::uint8_t>(check.begin(), check.end())), 0xF4);
    EXPECT_EQ(smbusPec({}), 0x00);
}

TEST(RegisterTransactions, ReadSendsRepeatedStartAndShowsThePec) {
    SimRig rig;
    rig.board.kestrel().setReg(0x1D, 0x21);
    const ByteOutcome v = rig.device.ReadRegister(0x1D);
    EXPECT_EQ(v.problem(), "");
    EXPECT_TRUE(v.pecOk());
    EXPECT_EQ(v.value, 0x21);
    EXPECT_EQ(rig.last(), "S AE+ 1D+ Sr AF+ <21+ <" + pecText({0xAE, 0x1D, 0xAF, 0x21}) + "- P");
    EXPECT_EQ(rig.display.pec, text::hexText(smbusPec({0xAE, 0x1D, 0xAF, 0x21})));
    EXPECT_EQ(rig.g.CommandCode, 0x1D);
    EXPECT_EQ(rig.display.ramBits, "00000000") << "a read leaves the bit labels alone";
    EXPECT_EQ(rig.board.accessesOutsideBracket(), 0u);
    EXPECT_FALSE(rig.board.accessOpen()) << "port access is closed after the STOP";
}

TEST(RegisterTransactions, WriteWithUnansweredAddressStillRunsToTheEnd) {
    SimRig rig;
    rig.g.SlaveAddr = 0xA2;  // no chip strapped there
    rig.display.pec = "3C";
    const Outcome o = rig.device.WriteRegister(0x0E, 0x04);
    EXPECT_FALSE(o.refused());
    EXPECT_EQ(o.problem(), "No acknowledge from A2h");
    EXPECT_EQ(rig.last(), "S A2- 0E- 04- P");
    EXPECT_EQ(rig.g.CommandCode, 0x0E);
    EXPECT_EQ(rig.display.ramBits, "00000100");
    EXPECT_EQ(rig.display.pec, "");
    EXPECT_EQ(rig.board.kestrel().reg(0x0E), 0x04) << "untouched: nobody answered";
}

TEST(RegisterTransactions, WritesReachTheChipOnlyInStoredBits) {
    SimRig rig;
    auto& chip = rig.board.kestrel();
    EXPECT_TRUE(rig.device.WriteRegister(0x10, 0x1A5).ok());
    EXPECT_EQ(rig.last(), "S AE+ 10+ A5+ P");
    EXPECT_EQ(chip.reg(0x10), 0xA5);

    // 16h does not store bits 7 and 6; 1Dh (revision) is read-only. The chip
    // acknowledges the write and a read-back shows what it kept.
    EXPECT_TRUE(rig.device.WriteRegister(0x16, 0xFF).ok());
    EXPECT_EQ(rig.last(), "S AE+ 16+ FF+ P");
    EXPECT_EQ(rig.device.ReadRegister(0x16).value, 0x3F);
    EXPECT_TRUE(rig.device.WriteRegister(0x1D, 0x00).ok());
    EXPECT_EQ(rig.device.ReadRegister(0x1D).value, 0x21);
}

TEST(RegisterTransactions, SwitchWriteHasNoCommandByte) {
    SimRig rig;
    rig.display.pec = "7";
    EXPECT_TRUE(rig.device.WriteSwitch(0x91, 0x06).ok());
    EXPECT_EQ(rig.last(), "S 90+ 06+ P");
    EXPECT_EQ(rig.board.plover().switches(), 0x06);
    EXPECT_EQ(rig.display.ramBits, "00000110");
    EXPECT_EQ(rig.display.pec, "");
    EXPECT_TRUE(rig.device.WriteSwitch(0x98, 0x01).ok());
    EXPECT_EQ(rig.board.plover98().switches(), 0x01);
    EXPECT_EQ(rig.board.plover().switches(), 0x06);
}

TEST(RegisterTransactions, MissingDeviceReadsFFAndNothingBreaks) {
    SimRig rig;
    rig.board.kestrel().setPresent(false);
    EXPECT_EQ(rig.device.ReadRegister(0x00).value, 0xFF);
    EXPECT_EQ(rig.display.pec, "FF");
    EXPECT_EQ(rig.last(), "S AE- 00- Sr AF- <FF+ <FF- P");
    EXPECT_EQ(rig.device.EEPROMReadByte(0x8100).value, 0xFF);
}

TEST(RegisterTransactions, NoPortRefusesWithoutSideEffects) {
    SimRig rig;
    rig.g.LPTBase = 0;
    rig.display.pec = "untouched";
    EXPECT_TRUE(rig.device.ReadRegister(0x00).refused());
    EXPECT_TRUE(rig.device.WriteRegister(0x0E, 0x04).refused());
    EXPECT_TRUE(rig.device.WriteSwitch(0x90, 0x06).refused());
    EXPECT_TRUE(rig.device.EEPROMPageErase(0x8100).refused());
    EXPECT_EQ(rig.display.pec, "untouched");
    EXPECT_TRUE(rig.log().empty());
    EXPECT_EQ(rig.notices.size(), 1u);
}

}  // namespace
}  // namespace kestrel
