#include <gtest/gtest.h>

#include "bus/crc8.h"
#include "device/text_rules.h"
#include "support/app_rig.h"

namespace kestrel {
namespace {

using testing::AppRig;

// The captions follow the base address text; a write asks to erase one or two
// pages, then writes the list.
TEST(EepromBlock, CaptionsFollowTheBaseAndWriteAsksToEraseOneOrTwoPagesThenWritesTheList) {
    AppRig app;
    EXPECT_EQ(app.action("WriteFileCMD")->text(), "Write 8100h-811Fh to file");
    app.type("EEBaseAddress", "8110");
    EXPECT_EQ(app.text("WriteEECMD"), "Write 8110h-812Fh to EEPROM:");
    EXPECT_EQ(app.text("ReadEECMD"), "Read 8110h-812Fh from EEPROM:");
    EXPECT_EQ(app.action("WriteFileCMD")->text(), "Write 8110h-812Fh to file");
    app.type("EEBaseAddress", "81000");
    EXPECT_EQ(app.text("ReadEECMD"), "Read 8100h-811Fh from EEPROM:")
        << "captions use four characters";

    auto& chip = app.board().kestrel();
    for (int a = 0x8000; a < 0x8200; ++a) chip.setEeprom(a, 0x30);
    app.type("EEBaseAddress", "8110");
    app.click("ReadEECMD");
    auto* list = app.find<QListWidget>("EEData");
    app.type("Text5", "5");
    list->item(3)->setSelected(true);
    EXPECT_EQ(list->item(3)->text(), "8113h: 5h");

    std::size_t mark = app.logSize();
    app.click("WriteEECMD");
    EXPECT_EQ(app.dialogs.questions.back(), "KESTREL Eval|Erase pages 8110 and 812F first?");
    EXPECT_EQ(app.text("PEC_EE"), "") << "a write shows no PEC";
    auto traffic = app.logSince(mark);
    ASSERT_EQ(traffic.size(), 34u);
    EXPECT_EQ(traffic[0], "S AE+ A2+ 81+ 10+ FF+ P");
    EXPECT_EQ(traffic[1], "S AE+ A2+ 81+ 2F+ FF+ P");
    EXPECT_EQ(traffic[2], "S AE+ 81+ 10+ 30+ P");
    EXPECT_EQ(traffic[5], "S AE+ 81+ 13+ 05+ P");
    EXPECT_EQ(traffic[33].substr(0, 12), "S AE+ 81+ 2F");
    EXPECT_EQ(chip.eeprom(0x8113), 0x05);
    EXPECT_EQ(chip.eeprom(0x8100), 0xFF) << "the erased page's bytes outside the block are FFh";

    // Base 8100 lies in one page: one erase. No: no erase at all.
    app.type("EEBaseAddress", "8100");
    traffic = app.clicked("WriteEECMD");
    ASSERT_EQ(traffic.size(), 33u);
    EXPECT_EQ(traffic[0], "S AE+ A2+ 81+ 00+ FF+ P");
    app.dialogs.yesNoAnswers = {testing::ScriptedDialogs::Answer::No};
    EXPECT_EQ(app.clicked("WriteEECMD").size(), 32u);
    EXPECT_FALSE(app.board().accessOpen());
    // Escape or the close box on the question: nothing erased, nothing written.
    app.dialogs.yesNoAnswers = {testing::ScriptedDialogs::Answer::Cancel};
    EXPECT_TRUE(app.clicked("WriteEECMD").empty());
    EXPECT_TRUE(app.status().contains("cancelled"));
}

TEST(EepromBlock, ListWithMoreOrFewerItemsAndAnEmptyList) {
    AppRig app;
    app.dialogs.yesNoAnswers = {testing::ScriptedDialogs::Answer::No,
                                testing::ScriptedDialogs::Answer::No};
    auto* list = app.find<QListWidget>("EEData");
    list->addItem("8000h: 11h");
    list->addItem("8001h: 22h");
    auto traffic = app.clicked("WriteEECMD");
    ASSERT_EQ(traffic.size(), 32u);
    EXPECT_EQ(traffic[0], "S AE+ 81+ 00+ 11+ P") << "position decides the address, not the text";
    EXPECT_EQ(traffic[2], "S AE+ 81+ 02+ 00+ P") << "missing items write 00h";

    for (int i = 0; i < 40; ++i) list->addItem("x");
    EXPECT_EQ(app.clicked("WriteEECMD").size(), 32u);

    // A click into the list relabels the selected items from item 0's
    // address (8000h here), not from the base address (8100h).
    app.type("Text5", "123");
    list->item(1)->setSelected(true);
    EXPECT_EQ(list->item(1)->text(), "8001h: 123h");
    EXPECT_EQ(text::imageLineData(list->item(1)->text().toStdString()), 0x23);
    app.type("Text5", "7");
    list->item(0)->setSelected(true);
    EXPECT_EQ(list->item(0)->text(), "8000h: 7h") << "item 0 is relabelled too";
}

TEST(EepromBlock, SingleByteReadAndWrite) {
    AppRig app;
    auto& chip = app.board().kestrel();
    chip.setEeprom(0x8105, 0x0A);
    app.type("EEAddressPointer", "8105");
    app.click("EEByteReadCMD");
    EXPECT_EQ(app.text("EEByteData"), "A");
    EXPECT_EQ(app.bits("Read_DataEE"), "00001010");
    if (!app.eepromByBlock()) {
        EXPECT_EQ(app.text("PEC_EE"), testing::hex(smbusPec({0xAE, 0x81, 0x05, 0xAF, 0x0A})));
    }

    app.type("EEByteData", "3c");
    const auto traffic = app.clicked("EEByteWriteCMD");
    ASSERT_EQ(traffic.size(), app.eepromByBlock() ? 3u : 2u) << "the write and its read-back";
    EXPECT_EQ(traffic[0], "S AE+ 81+ 05+ 3C+ P");
    EXPECT_EQ(chip.eeprom(0x8105), 0x3C);
    EXPECT_EQ(app.text("EEByteData"), "3C") << "read back after the write";
    EXPECT_EQ(app.bits("Read_DataEE"), "00111100");

    for (const char* bad : {"810", "8100h", "", "81000"}) {
        app.type("EEAddressPointer", bad);
        EXPECT_TRUE(app.clicked("EEByteReadCMD").empty()) << bad;
        EXPECT_TRUE(app.clicked("EEByteWriteCMD").empty()) << bad;
        EXPECT_TRUE(app.status().contains("four hex digits")) << bad;
    }
}

// With the chip absent every read gives FFh: a block of FFh must not
// "verify", and unanswered writes must not count as written.
TEST(EepromBlock, WithoutTheChipWriteAndVerifyReportFailure) {
    AppRig app;
    auto* list = app.find<QListWidget>("EEData");
    for (int i = 0; i < 32; ++i) list->addItem(QString("81%1h: FFh").arg(i, 2, 16, QChar('0')));
    app.board().kestrel().setPresent(false);
    app.click("ReadEECMD");
    EXPECT_TRUE(app.status().startsWith("Read 8100h-811Fh: 32 of 32 reads failed, first at 8100h"))
        << app.status().toStdString();
    app.dialogs.yesNoAnswers = {testing::ScriptedDialogs::Answer::No};
    app.click("WriteEECMD");
    EXPECT_TRUE(app.status().contains("failed: 32 of 32 writes not acknowledged"))
        << app.status().toStdString();
    EXPECT_FALSE(app.status().contains("written to"));

    app.click("VerifyEECMD");
    EXPECT_EQ(app.status(), "Verify failed at 8100h: no acknowledge from AEh");

    // An erase that is not acknowledged stops the write: nothing is written
    // over a page that may still hold its old bytes.
    EXPECT_EQ(app.clicked("WriteEECMD").size(), 1u);
    EXPECT_TRUE(app.status().contains("Page erase at 8100h failed")) << app.status().toStdString();
}

// An address whose high byte is below 80h is a register to the chip:
// "0E00" would send AEh, 0Eh, 00h and switch PS ON off.
TEST(EepromBlock, AddressesTheChipWouldTakeAsRegistersAreRefused) {
    AppRig app;
    app.board().kestrel().setReg(0x0E, 0x04);
    const std::size_t mark = app.logSize();
    app.type("EEBaseAddress", "0E00");
    app.click("ReadEECMD");
    EXPECT_TRUE(app.status().contains("0E00h is below 8000h")) << app.status().toStdString();
    app.click("WriteEECMD");
    app.click("VerifyEECMD");
    app.type("EEBaseAddress", "FFF0");  // wraps into 0000h-000Fh
    app.click("ReadEECMD");
    EXPECT_TRUE(app.status().contains("0000h is below 8000h")) << app.status().toStdString();
    app.type("EEAddressPointer", "0E00");
    app.click("EEByteReadCMD");
    app.click("EEByteWriteCMD");
    EXPECT_EQ(app.logSize(), mark);
    EXPECT_EQ(app.board().kestrel().reg(0x0E), 0x04);
    EXPECT_TRUE(app.dialogs.questions.isEmpty()) << "refused before the erase question";

    // The read takes the whole text: five digits keep their low 16 bits.
    app.type("EEBaseAddress", "18120");
    app.click("ReadEECMD");
    EXPECT_TRUE(app.items("EEData").value(0).startsWith("8120h: ")) << app.status().toStdString();
}

}  // namespace
}  // namespace kestrel
