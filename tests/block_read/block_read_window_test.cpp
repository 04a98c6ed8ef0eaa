#include <gtest/gtest.h>

#include "bus/crc8.h"
#include "support/app_rig.h"

namespace kestrel {
namespace {

TEST(BlockReadWindow, ReadsCountThirtyTwoBytesAndPecFromTheWholeBaseText) {
    testing::AppRig app;
    auto& chip = app.board().kestrel();
    std::vector<std::uint8_t> onWire = {0xAE, 0xA1, 0xAF, 0x20};
    for (int i = 0; i < 32; ++i) {
        chip.setEeprom(0x8100 + i, static_cast<std::uint8_t>(0xC0 + i));
        onWire.push_back(static_cast<std::uint8_t>(0xC0 + i));
    }
    QWidget* w = app.open("EEBlockRead", "frm_Block_Read");
    ASSERT_NE(w, nullptr);
    const auto traffic = app.clicked("Do_Block_Read", w);
    ASSERT_EQ(traffic.size(), 2u);
    EXPECT_EQ(traffic[0], "S AE+ 81+ 00+ P");
    EXPECT_EQ(traffic[1].substr(0, 25), "S AE+ A1+ Sr AF+ <20+ <C0");
    QStringList items = app.items("List1", w);
    ASSERT_EQ(items.size(), 34);
    EXPECT_EQ(items[0], "Bytes: 20h");
    EXPECT_EQ(items[1], "8100h: C0h");
    EXPECT_EQ(items[32], "811Fh: DFh");
    EXPECT_EQ(items[33], "PEC: " + testing::hex(smbusPec(onWire), 2) + "h");
    EXPECT_EQ(app.g().EEAddrHigh, 0x81);
    EXPECT_EQ(app.g().EEAddrLow, 0x00);
    EXPECT_FALSE(app.board().accessOpen());

    // Near the end of the EEPROM the labels run past it; a wrong count
    // still gives 32 data lines, and the list is replaced, not extended.
    chip.setBlockCount(0x05);
    app.type("EEBaseAddress", "81F0", w);
    app.click("Do_Block_Read", w);
    items = app.items("List1", w);
    ASSERT_EQ(items.size(), 34);
    EXPECT_EQ(items[0], "Bytes: 05h");
    EXPECT_EQ(items[17], "8200h: FFh");
    EXPECT_EQ(items[32], "820Fh: FFh");

    // The base is read from the whole text, and a base the chip would take as
    // a register is refused: its pointer write would be a register write.
    app.board().kestrel().setReg(0x0E, 0x04);
    app.type("EEBaseAddress", "0E00", w);
    EXPECT_TRUE(app.clicked("Do_Block_Read", w).empty());
    EXPECT_EQ(app.board().kestrel().reg(0x0E), 0x04);
    EXPECT_TRUE(app.status().contains("below 8000h"));

    app.type("EEBaseAddress", "18100", w);  // five digits keep their low 16 bits: 8100h
    const auto again = app.clicked("Do_Block_Read", w);
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0], "S AE+ 81+ 00+ P");
    EXPECT_EQ(app.items("List1", w).value(1),
              "8100h: " + testing::hex(app.board().kestrel().eeprom(0x8100), 2) + "h");
}

TEST(BlockReadWindow, RefusedWhileTheBusIsHeld) {
    testing::AppRig app;
    QWidget* w = app.open("EEBlockRead", "frm_Block_Read");
    {
        auto held = app.program->connection().lineBus()->begin();
        EXPECT_TRUE(app.clicked("Do_Block_Read", w).empty());
    }
    EXPECT_TRUE(app.items("List1", w).isEmpty());
    EXPECT_TRUE(app.status().contains("busy"));
}

}  // namespace
}  // namespace kestrel
