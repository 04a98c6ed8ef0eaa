// The device layer's transactions on the simulated board: the PEC, EEPROM
// cycles and refusals, what the strict chip refuses, and the port tools.
#include <gtest/gtest.h>

#include "bus/crc8.h"
#include "bus/port_check.h"
#include "device/block_read.h"
#include "device/eeprom.h"
#include "support/line_helpers.h"
#include "support/sim_rig.h"

namespace kestrel {
namespace {

using testing::SimRig;

TEST(Crc8, MatchesTheSmbusCheckValue) {
    const std::string check = "123456789";
    EXPECT_EQ(smbusPec(std::vector<std::uint8_t>(check.begin(), check.end())), 0xF4);
    EXPECT_EQ(smbusPec({}), 0x00);
}

// The page erase holds SCL low for 30 ms before its STOP: while the program
// waits, the chip has not seen the STOP and has erased nothing.
TEST(EepromTransactions, PageEraseHoldsTheBus30msBeforeStop) {
    SimRig rig;
    auto& chip = rig.board.kestrel();
    for (int a = 0x81C0; a < 0x8200; ++a) chip.setEeprom(a, 0x00);
    std::string logDuringWait = "unset";
    WaitHooks hooks = rig.clock.hooks();
    hooks.sleep = [&](std::uint32_t ms) {
        logDuringWait = std::to_string(rig.board.log().transactions().size());
        EXPECT_EQ(chip.eeprom(0x81E0), 0x00);
        EXPECT_FALSE(rig.board.wire().scl()) << "SCL held low during the wait";
        rig.clock.now += ms;
    };
    rig.bus.setWaitHooks(hooks);
    const std::uint32_t start = rig.clock.now;
    EXPECT_TRUE(rig.device.EEPROMPageErase(0x81E0).ok());
    EXPECT_GE(rig.clock.now - start, 30u);
    EXPECT_EQ(logDuringWait, "0");
    EXPECT_EQ(rig.last(), "S AE+ A2+ 81+ E0+ FF+ P");
    for (int a = 0x81E0; a < 0x8200; ++a) EXPECT_EQ(chip.eeprom(a), 0xFF);
    EXPECT_EQ(chip.eeprom(0x81DF), 0x00) << "the page before is untouched";
}

TEST(EepromTransactions, ZeroWriteOutOfRangeAddressesAndEveryByteTheStrictChipRefuses) {
    SimRig rig;
    auto& chip = rig.board.kestrel();
    EXPECT_TRUE(rig.device.EEPROMWriteZero(0x801F).ok());
    EXPECT_EQ(rig.last(), "S AE+ 80+ 1F+ 00+ P");
    EXPECT_EQ(chip.eeprom(0x801F), 0x00);
    EXPECT_EQ(chip.eeprom(0x8020), 0xFF);
    EXPECT_GE(rig.clock.now, 30u);

    // Below 8000h the chip would take the first address byte as a register
    // (0E00h would switch PS ON off; 0800h once became 8000h through a text
    // split by position): every EEPROM operation refuses such an address,
    // whoever calls it, and sends nothing.
    const std::size_t before = rig.board.log().transactions().size();
    for (unsigned address : {0x0E00u, 0x0800u, 0x7FE0u, 0x7FFFu}) {
        SCOPED_TRACE(address);
        EXPECT_TRUE(rig.device.EEPROMPageErase(address).refused());
        EXPECT_TRUE(rig.device.EEPROMWriteZero(address).refused());
        EXPECT_TRUE(rig.device.EEPROMWriteByte(address, 0x00).refused());
        EXPECT_TRUE(rig.device.EEPROMReadByte(address).refused());
        EXPECT_TRUE(blockRead(rig.device, address).outcome.refused());
        EXPECT_TRUE(eeprom::zeroFill(rig.device, address).refused());
        EXPECT_TRUE(eeprom::erasePages(rig.device, address, 32).refused());
    }
    // A range that only ends below 8000h (wrapping past FFFFh) is refused whole.
    EXPECT_TRUE(eeprom::writeBlock(rig.device, 0xFFF0, std::vector<int>(32, 0)).refused());
    EXPECT_EQ(rig.device.EEPROMPageErase(0x0E00).refusal,
              "EEPROM address 0E00h is below 8000h: the chip would take it as a register "
              "write. Nothing was sent.");
    EXPECT_EQ(rig.board.log().transactions().size(), before) << "nothing on the bus";
    // From 8200h up the address reaches the EEPROM side of the chip.
    EXPECT_TRUE(rig.device.EEPROMWriteByte(0x8200, 0x12).ok());
    EXPECT_EQ(rig.device.EEPROMReadByte(0x8200).value, 0xFF);

    // Each byte the strict chip refuses is named, as the status bar and batch mode say it.
    rig.board.setStrict(true);
    EXPECT_EQ(rig.device.ReadRegister(0x1E).problem(), "Register 1Eh not acknowledged");
    EXPECT_EQ(rig.device.EEPROMReadByte(0x8200).problem(), "EEPROM address 8200h not acknowledged");
    EXPECT_EQ(rig.device.ReadRegister(0x1D).problem(), "");
    ASSERT_TRUE(rig.board.applyFault("nack-byte 3"));
    EXPECT_EQ(rig.device.WriteRegister(0x10, 0x55).problem(), "Byte 55h not acknowledged");
}

TEST(PortCheck, TellsWiringFaultsAndBusClearFreesAHeldSlave) {
    testing::SimRig rig;
    EXPECT_EQ(port_check::portTest(rig.bus).text, "SDA follows");

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
