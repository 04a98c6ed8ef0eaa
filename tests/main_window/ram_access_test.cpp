#include <gtest/gtest.h>

#include "bus/crc8.h"
#include "support/app_rig.h"

namespace kestrel {
namespace {

using testing::AppRig;

TEST(RamAccess, ByteWriteReadPsOnAndTheReadoutOfAllThirtyRegisters) {
    AppRig app;
    app.type("AddressPointer", "1d");
    app.type("ByteData", "FF");
    EXPECT_EQ(app.clicked("ByteWriteCMD"), std::vector<std::string>{"S AE+ 1D+ FF+ P"});
    EXPECT_EQ(app.bits("Read_Data"), "11111111");
    EXPECT_EQ(app.text("ByteData"), "FF") << "the data text stays as typed";
    EXPECT_EQ(app.g().CommandCode, 0x1D);

    app.board().kestrel().setReg(0x0B, 0x07);
    app.type("AddressPointer", "0Bh");
    ASSERT_EQ(app.clicked("ByteReadCMD").size(), 1u);
    EXPECT_EQ(app.text("ByteData"), "7");
    EXPECT_EQ(app.bits("Read_Data"), "00000111");
    EXPECT_EQ(app.text("PEC"), testing::hex(smbusPec({0xAE, 0x0B, 0xAF, 0x07})));
    app.click("ByteWriteCMD");
    EXPECT_EQ(app.text("PEC"), "") << "a write shows no PEC";

    app.choose("SlaveAddress", "2Dh");
    app.click("ByteReadCMD");
    EXPECT_EQ(app.board().log().transactions().back().masterBytes(),
              (std::vector<std::uint8_t>{0x2C, 0x0B, 0x2D}));

    // PS ON writes Config2 twice and shows the last byte.
    app.choose("SlaveAddress", "AEh");
    EXPECT_EQ(app.clicked("Command1"),
              (std::vector<std::string>{"S AE+ 0E+ 00+ P", "S AE+ 0E+ 04+ P"}));
    EXPECT_EQ(app.bits("Read_Data"), "00000100");
    EXPECT_EQ(app.board().kestrel().reg(0x0E), 0x04);

    // The read-out lists all thirty registers, with tabs.
    app.board().kestrel().setReg(0x03, 0x00);
    const auto traffic = app.clicked("ReadRAM");
    ASSERT_EQ(traffic.size(), 30u);
    for (int i = 0; i < 30; ++i) {
        const std::string reg = testing::hex(static_cast<unsigned>(i), 2).toStdString();
        EXPECT_EQ(traffic[static_cast<std::size_t>(i)].substr(0, 16), "S AE+ " + reg + "+ Sr AF+");
    }
    QStringList lines = app.items("List2");
    ASSERT_EQ(lines.size(), 30);
    EXPECT_EQ(lines[0], "Status1\t\t\t\t00h: 01h  ");
    EXPECT_EQ(lines[3], "Misc Cal Bits\t\t\t03h: 00h  ");
    EXPECT_EQ(lines[0x1D], "Revision Register\t\t\t1Dh: 21h  ");
    EXPECT_EQ(app.text("PEC"), testing::hex(smbusPec({0xAE, 0x1D, 0xAF, 0x21})));
    EXPECT_EQ(app.bits("Read_Data"), "00000100") << "the read-out leaves the bit labels alone";

    app.board().kestrel().setReg(0x03, 0x5A);
    app.click("ReadRAM");
    lines = app.items("List2");
    ASSERT_EQ(lines.size(), 30) << "a second read-out replaces the lines";
    EXPECT_EQ(lines[3], "Misc Cal Bits\t\t\t03h: 5Ah  ");

    // A click on a register name fills the byte controls from the read-out.
    auto* list1 = app.find<QListWidget>("List1");
    QListWidgetItem* item = list1->item(3);
    QTest::mouseClick(list1->viewport(), Qt::LeftButton, {}, list1->visualItemRect(item).center());
    EXPECT_EQ(app.text("AddressPointer"), "03");
    EXPECT_EQ(app.text("ByteData"), "5A");
    EXPECT_EQ(app.bits("Read_Data"), "01011010");
    EXPECT_EQ(app.text("PEC"), "");

    // A read-out with failed reads says so after its last (clean) read.
    app.board().kestrel().setCorruptPec(true);
    app.click("ReadRAM");
    app.board().kestrel().setCorruptPec(false);
    EXPECT_TRUE(app.main().message().startsWith(
        "Read 00h-1Dh: 30 of 30 reads failed, first at 00h: PEC mismatch at 00h"))
        << app.main().message().toStdString();

    // So does a byte write the chip refused, after its clean read-back.
    app.board().kestrel().setNackByte(4);
    app.type("EEAddressPointer", "8100");
    app.click("EEByteWriteCMD");
    app.board().kestrel().setNackByte(0);
    EXPECT_TRUE(app.main().message().startsWith("EEPROM write at 8100h failed: "))
        << app.main().message().toStdString();
}

}  // namespace
}  // namespace kestrel
