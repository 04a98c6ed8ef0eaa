#include "eeprom_window/eeprom_window.h"

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QProgressBar>

#include "support/app_rig.h"

namespace kestrel {
namespace {

TEST(EepromWindow, WholeReadFillsSixteenPagesPageListSurvivesExitAndFailuresAreTold) {
    testing::AppRig app;
    auto& chip = app.board().kestrel();
    for (int a = 0x8000; a < 0x8200; ++a)
        chip.setEeprom(a, static_cast<std::uint8_t>(a ^ (a >> 8)));
    EepromWindow* w = app.open<EepromWindow>("ReadAllEE", "frm_EEPROM");
    ASSERT_NE(w, nullptr);
    EXPECT_NE(w->windowModality(), Qt::ApplicationModal);

    std::size_t mark = app.logSize();
    app.click("Read_EEPROM_Page", w);
    const auto& log = app.board().log().transactions();
    // A byte read each, or a pointer write and a block read per page.
    const std::size_t step = app.eepromByBlock() ? 32 : 1;
    ASSERT_EQ(log.size() - mark, 512u / step * (step == 1 ? 1 : 2));
    for (std::size_t i = 0; i < 512; i += step) {
        const auto bytes = log[mark + i / step * (step == 1 ? 1 : 2)].masterBytes();
        EXPECT_EQ((bytes.at(1) << 8) | bytes.at(2), 0x8000 + static_cast<int>(i));
    }
    for (int p = 0; p < 16; ++p) {
        QListWidget* list = w->pageList(p);
        ASSERT_EQ(list->count(), 32);
        const unsigned a = 0x8000u + 32u * p + 31u;
        EXPECT_EQ(list->item(31)->text(),
                  testing::hex(a) + "h: " + testing::hex((a ^ (a >> 8)) & 0xFF, 2) + "h");
    }
    EXPECT_EQ(w->pageList(0)->item(0)->text(), "8000h: 80h");
    EXPECT_FALSE(app.find<QProgressBar>("ReadEEPROMStatus", w)->isVisible());
    EXPECT_EQ(app.find<QProgressBar>("ReadEEPROMStatus", w)->value(), 15);
    // The main window shows the last byte read.
    EXPECT_EQ(app.text("EEByteData"), "7E");  // 81FFh ^ 81h
    EXPECT_FALSE(app.board().accessOpen());

    // A second read from 8100 replaces the lines; frame captions stay.
    app.type("EEPage0", "8100", w);
    app.click("Read_EEPROM_Page", w);
    EXPECT_EQ(w->pageList(0)->count(), 32);
    EXPECT_EQ(w->pageList(0)->item(0)->text(), "8100h: 81h");
    EXPECT_EQ(w->pageList(15)->item(0)->text(), "82E0h: FFh");
    EXPECT_EQ(w->pageList(15)->item(31)->text(), "82FFh: FFh");
    QStringList captions;
    for (QGroupBox* frame : w->findChildren<QGroupBox*>())
        if (frame->title().contains('-')) captions << frame->title();
    EXPECT_TRUE(captions.contains("8000-801F"));
    EXPECT_TRUE(captions.contains("81E0-81FF"));

    // The page list survives Exit; without a page chosen nothing is sent.
    app.click("exit", w);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(app.open<EepromWindow>("ReadAllEE", "frm_EEPROM"), w);
    EXPECT_EQ(app.entries("PageErasePointer1", w).size(), 16);

    mark = app.logSize();
    app.click("PageErase", w);
    app.click("WriteZeros", w);
    EXPECT_EQ(app.logSize(), mark);
    EXPECT_TRUE(w->message().contains("Choose a page")) << "in the window's own status line";
    EXPECT_FALSE(app.status().contains("Choose a page"));

    app.choose("PageErasePointer1", "8040", w);
    app.click("WriteZeros", w);
    const auto zeros = app.logSince(mark);
    ASSERT_EQ(zeros.size(), 32u);
    EXPECT_EQ(zeros.back(), "S AE+ 80+ 5F+ 00+ P");
    EXPECT_EQ(w->message(), "Zeros written to 8040h-805Fh.") << "a fill that worked says so";
    app.click("PageErase", w);
    EXPECT_EQ(app.logSince(mark).back(), "S AE+ A2+ 80+ 40+ FF+ P");

    // A read without the chip fills the lists with what the line gave, and says
    // so.
    app.board().kestrel().setPresent(false);
    app.click("Read_EEPROM_Page", w);
    EXPECT_TRUE(w->message().startsWith("512 of 512 reads failed, first at 8100h"))
        << w->message().toStdString();

    // A fill the port fails under names the port's error and the bytes never tried.
    app.board().kestrel().setPresent(true);
    app.board().applyFault(
        "port-error-after " +
        testing::hex(static_cast<unsigned>(app.board().accesses() + 300)).toStdString());
    app.click("WriteZeros", w);
    EXPECT_TRUE(w->message().contains(
        QRegularExpression("^Write zeros to 8040h-805Fh failed: (LPT1 port|I2C adapter) error")))
        << w->message().toStdString();
    EXPECT_TRUE(w->message().contains(" of 32 bytes were not tried")) << w->message().toStdString();
}

}  // namespace
}  // namespace kestrel
