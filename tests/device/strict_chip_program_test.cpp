// The program's transactions against the strict simulated chip: what the
// lenient board let pass unseen now shows, and the program's own sequences
// still go through cleanly.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kestrel
