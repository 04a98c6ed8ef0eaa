// The program's transactions against the strict simulated chip: what the
// lenient board let pass unseen now shows, and the program's own sequences
// still go through cleanly.
#include <gtest/gtest.h>

#include "device/eeprom.h"
#include "support/line_helpers.h"
#include "support/sim_rig.h"

namespace kestrel {
namespace {

using testing::SimRig;

// Each byte the chip refuses is named, as the status bar and batch mode say it.
TEST(StrictChipProgram, EveryRefusedByteIsDiagnosed) {
    SimRig rig;
    rig.board.setStrict(true);
    EXPECT_EQ(rig.device.ReadRegister(0x1E).problem(), "Register 1Eh not acknowledged");
    EXPECT_EQ(rig.device.EEPROMReadByte(0x8200).problem(), "EEPROM address 8200h not acknowledged");
    EXPECT_EQ(rig.device.ReadRegister(0x1D).problem(), "");
    ASSERT_TRUE(rig.board.applyFault("nack-byte 3"));
    EXPECT_EQ(rig.device.WriteRegister(0x10, 0x55).problem(), "Byte 55h not acknowledged");
}

// A master that acknowledges the last byte it reads makes a real chip send
// on; a 0 bit then holds SDA low through the STOP. The next transaction sees
// it, so such a master fault cannot pass as clean.
TEST(StrictChipProgram, AMasterThatAcknowledgesTheLastByteShowsAsAFault) {
    SimRig rig;
    rig.board.setStrict(true);
    rig.board.kestrel().setReg(0x0F, 0x12);  // the byte after 0Eh's PEC starts with a 0 bit
    {
        // The planted fault: ReadRegister(0Eh) with the PEC acknowledged.
        auto tx = rig.bus.begin();
        testing::startAndSend(rig.bus, {0xAE, 0x0E});
        testing::startAndSend(rig.bus, {0xAF});
        rig.bus.I2CReadByte();
        rig.bus.I2CMasterAck();
        rig.bus.I2CReadByte();
        rig.bus.I2CMasterAck();  // should be the not-acknowledge clock
        rig.bus.I2CStop();
    }
    EXPECT_FALSE(rig.device.ReadRegister(0x1D).ok()) << "the fault shows on the next transaction";
    // The program's own read leaves the bus free.
    SimRig clean;
    clean.board.setStrict(true);
    clean.board.kestrel().setReg(0x0F, 0x12);
    EXPECT_TRUE(clean.device.ReadRegister(0x0E).ok());
    EXPECT_EQ(clean.device.ReadRegister(0x1D).problem(), "");
}

// The chip is busy for 30 ms from the last byte of an erase or zero-write.
// The program's 30 ms hold before the STOP covers it, so the very next
// transaction is answered; a hold that ended early would not be.
TEST(StrictChipProgram, TheHoldCoversTheBusyChip) {
    SimRig rig;
    rig.board.setStrict(true);
    rig.board.applyOption("busy-after-zero-write");
    EXPECT_TRUE(rig.device.EEPROMPageErase(0x8100).ok());
    EXPECT_EQ(rig.device.ReadRegister(0x1D).problem(), "");
    EXPECT_TRUE(rig.device.EEPROMWriteZero(0x8100).ok());
    EXPECT_EQ(rig.device.EEPROMReadByte(0x8100).problem(), "");
    const eeprom::Run zeros = eeprom::zeroFill(rig.device, 0x8120);
    EXPECT_TRUE(zeros.ok()) << zeros.failed();

    // A hold of 10 ms: the chip is still busy when the next transaction starts.
    {
        auto tx = rig.bus.begin();
        testing::startAndSend(rig.bus, {0xAE, 0xA2, 0x81, 0x40, 0xFF});
        const std::int32_t handles[1] = {0};
        rig.bus.WaitMilliseconds(10, handles, 0);
        rig.bus.I2CStop();
    }
    EXPECT_EQ(rig.device.ReadRegister(0x1D).problem(), "No acknowledge from AEh");
}

// With cells that a write can only clear, a block write over two pages is
// right only when both pages were erased first.
TEST(StrictChipProgram, ABlockWriteIsRightOnlyOverErasedPages) {
    SimRig rig;
    rig.board.setStrict(true);
    auto& chip = rig.board.kestrel();
    for (int a = 0x8100; a < 0x8140; ++a) chip.setEeprom(a, 0x00);
    std::vector<int> data(32);
    for (int i = 0; i < 32; ++i) data[static_cast<std::size_t>(i)] = 0xF0 | (i & 0x0F);
    ASSERT_TRUE(eeprom::erasePages(rig.device, 0x8110, 32).ok());
    ASSERT_TRUE(eeprom::writeBlock(rig.device, 0x8110, data).ok());
    EXPECT_TRUE(eeprom::verify(rig.device, 0x8110, data, eeprom::Speed::Bytes).passed());

    // Erasing only the first page leaves 8120h..812Fh cleared: verify says so.
    for (int a = 0x8100; a < 0x8140; ++a) chip.setEeprom(a, 0x00);
    ASSERT_TRUE(rig.device.EEPROMPageErase(0x8110).ok());
    ASSERT_TRUE(eeprom::writeBlock(rig.device, 0x8110, data).ok());
    const eeprom::Verify v = eeprom::verify(rig.device, 0x8110, data, eeprom::Speed::Bytes);
    EXPECT_TRUE(v.run.ok());
    ASSERT_EQ(v.failures.size(), 16u);
    EXPECT_EQ(v.failures.front().address, 0x8120u);
    EXPECT_EQ(v.failures.front().read, 0x00);
}

}  // namespace
}  // namespace kestrel
