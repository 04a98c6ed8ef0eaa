#include <gtest/gtest.h>

#include <QApplication>
#include <QRadioButton>

#include "editors/bit_toggle_editor.h"
#include "editors/editor_tables.h"
#include "support/app_rig.h"

namespace kestrel {
namespace {

using testing::AppRig;

struct EditorRig : AppRig {
    // Caption of the selected option of an option array, "" for none.
    QString selected(QWidget* w, const QString& option) {
        QString out;
        for (auto* b : w->findChildren<QRadioButton*>(option))
            if (b->isChecked()) out += b->text();
        return out;
    }
    // The selected captions of Option1, Option2, ... joined by "|".
    QString choices(QWidget* w) {
        QStringList out;
        for (int i = 1; !w->findChildren<QRadioButton*>(QString("Option%1").arg(i)).isEmpty(); ++i)
            out << selected(w, QString("Option%1").arg(i));
        return out.join('|');
    }
    // The clicks below return the transactions they sent, reads without
    // their PEC. An option is clicked on its indicator, where a radio button
    // takes clicks.
    std::vector<std::string> clickOption(QWidget* w, const char* name, int index) {
        const std::size_t m = logSize();
        if (auto* b = member<QRadioButton>(w, name, index))
            QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
        settle();
        return trimPec(logSince(m));
    }
    std::vector<std::string> clickBit(QWidget* w, const char* name, int index) {
        const std::size_t m = logSize();
        if (auto* l = member<QLabel>(w, name, index)) QTest::mouseClick(l, Qt::LeftButton);
        settle();
        return trimPec(logSince(m));
    }
    std::vector<std::string> read(QWidget* w, const char* button) {
        return trimPec(clicked(button, w));
    }
    // Read transactions end with the PEC; compare only what comes before it.
    static std::vector<std::string> trimPec(std::vector<std::string> log) {
        for (auto& t : log)
            if (t.find(" Sr ") != std::string::npos) t = t.substr(0, t.rfind(" <"));
        return log;
    }
};

std::string rd(int reg, int value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "S AE+ %02X+ Sr AF+ <%02X+", reg, value);
    return buf;
}
std::string wr(int reg, int value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "S AE+ %02X+ %02X+ P", reg, value);
    return buf;
}
using Log = std::vector<std::string>;

TEST(Editors, FirstOpeningsWriteBackEveryFirstSelectionAndOptionsWriteTheirFields) {
    EditorRig app;
    auto& chip = app.board().kestrel();
    chip.setReg(0x14, 0x11);
    chip.setReg(0x15, 0x22);
    chip.setReg(0x16, 0x00);
    chip.setReg(0x17, 0x00);
    std::size_t m = app.logSize();
    QWidget* w = app.open("mnuIDIFF", "frm_idiff");
    EXPECT_EQ(app.trimPec(app.logSince(m)),
              (Log{rd(0x14, 0x11), rd(0x15, 0x22), rd(0x16, 0), wr(0x16, 0), wr(0x16, 0),
                   rd(0x17, 0), wr(0x17, 0), wr(0x17, 0), wr(0x17, 0), wr(0x17, 0)}));
    EXPECT_EQ(app.choices(w), "0.25%|65x|Current Sense|continuous time|4.5x|-1x");
    EXPECT_EQ(app.text("reg14h", w), "11h");
    EXPECT_EQ(app.bits("reg15", w), "00100010");

    // "+4x" with 17h showing 00h: bits 2, 1 set, 06h written, no read-back.
    EXPECT_EQ(app.clickOption(w, "Option6", 5), Log{wr(0x17, 0x06)});
    EXPECT_EQ(app.text("reg17h", w), "6h");
    EXPECT_EQ(app.bits("reg17", w), "00000110");
    EXPECT_EQ(app.bits("Read_Data"), "00000110") << "the main window shows the editor's write";
    // A click on the option already selected writes its field again.
    EXPECT_EQ(app.clickOption(w, "Option6", 5), Log{wr(0x17, 0x06)});

    // "chopper" sets bit 6, "continuous time" clears it.
    app.clickOption(w, "Option4", 0);
    EXPECT_EQ(app.bits("reg17", w), "01000110");
    app.clickOption(w, "Option4", 1);
    EXPECT_EQ(app.bits("reg17", w), "00000110");

    // Current limit and soft start.
    chip.setReg(0x04, 0xF9);
    m = app.logSize();
    QWidget* ilim = app.open("mnuILIM", "frm_ilim");
    EXPECT_EQ(app.trimPec(app.logSince(m)), (Log{rd(0x04, 0xF9), wr(0x04, 0xF9)}));
    EXPECT_EQ(app.selected(ilim, "Option1"), "10%");
    EXPECT_EQ(app.bits("reg04", ilim), "11111001");

    chip.setReg(0x10, 0x5C);
    m = app.logSize();
    QWidget* ss = app.open("mnuSFTSTRT", "frm_sstart");
    EXPECT_EQ(app.trimPec(app.logSince(m)),
              (Log{rd(0x10, 0x5C), wr(0x10, 0x5C), wr(0x10, 0x5C), wr(0x10, 0x5C)}));
    EXPECT_EQ(app.choices(ss), "16ms|2%|0ms");

    // DCok off delay "4ms" then soft start "16ms" from 00h: C0h, then CCh.
    chip.setReg(0x10, 0x00);
    app.click("read10", ss);
    EXPECT_EQ(app.clickOption(ss, "Option3", 3), Log{wr(0x10, 0xC0)});
    EXPECT_EQ(app.clickOption(ss, "Option1", 3), Log{wr(0x10, 0xCC)});
    EXPECT_EQ(app.text("reg10h", ss), "CCh");
}

TEST(Editors, DecodeSelectsNamedSettingsBitClicksWriteAndReadBackAndFailedReadsBlockWrites) {
    EditorRig app;
    auto& chip = app.board().kestrel();
    chip.setReg(0x16, 0x00);
    QWidget* w = app.open("mnuIDIFF", "frm_idiff");
    chip.setReg(0x17, 0xE5);
    app.click("read17", w);
    EXPECT_EQ(app.choices(w), "0.25%|65x|Current Transformer|chopper|3.0x|+2x");
    EXPECT_EQ(app.text("reg17h", w), "E5h");

    chip.setReg(0x16, 0x2D);
    EXPECT_EQ(app.read(w, "read16"), (Log{rd(0x16, 0x2D), wr(0x16, 0x2D), wr(0x16, 0x2D)}));
    EXPECT_EQ(app.choices(w), "0.5%|175x|Current Transformer|chopper|3.0x|+2x");

    chip.setReg(0x16, 0x1B);  // tolerance "11", gain "011": no option for either
    EXPECT_EQ(app.read(w, "read16"), Log{rd(0x16, 0x1B)}) << "no selection changed";
    EXPECT_EQ(app.choices(w), "0.5%|175x|Current Transformer|chopper|3.0x|+2x");
    EXPECT_EQ(app.text("reg16h", w), "1Bh");

    // Bit clicks write and read back; from 00h again:
    chip.setReg(0x16, 0x00);
    app.click("read16", w);

    // Bit 7 of 16h is not stored by the chip.
    EXPECT_EQ(app.clickBit(w, "reg16", 7), (Log{wr(0x16, 0x80), rd(0x16, 0x00)}));
    EXPECT_EQ(app.bits("reg16", w), "00000000");
    EXPECT_EQ(app.text("reg16h", w), "0h");

    // Bit 4 is stored: the read-back selects "1%" and its click writes the byte
    // again.
    EXPECT_EQ(app.clickBit(w, "reg16", 4), (Log{wr(0x16, 0x10), rd(0x16, 0x10), wr(0x16, 0x10)}));
    EXPECT_EQ(app.selected(w, "Option1"), "1%");

    // A read that was not acknowledged shows what the line gave, but those
    // captions cannot be written either.
    app.board().kestrel().setPresent(false);
    app.click("read14", w);
    EXPECT_EQ(app.text("reg14h", w), "FFh");
    const auto traffic = app.clickBit(w, "reg14", 0);
    ASSERT_EQ(traffic.size(), 1u);
    EXPECT_EQ(traffic[0].substr(0, 6), "S AE- ") << "only the read is tried again";
    EXPECT_TRUE(qobject_cast<BitToggleEditor*>(w)->note().contains("No acknowledge from AEh"));
}

TEST(Editors, AcsenseBitsStandInTwoRowsOfFourByBitPosition) {
    EditorRig app;
    app.board().kestrel().setReg(0x0C, 0xA5);
    QWidget* w = app.open("mnuACSNS", "frm_acsns");
    EXPECT_EQ(app.text("reg0Ch", w), "A5h");
    EXPECT_EQ(app.bits("reg0c", w), "10100101");
    std::map<int, QPoint> at;
    for (QLabel* l : w->findChildren<QLabel*>("reg0c"))
        at[l->property("index").toInt()] = l->mapTo(w, QPoint(0, 0));
    for (int i : {7, 6, 5}) {
        EXPECT_EQ(at[i].y(), at[i - 1].y());
        EXPECT_LT(at[i].x(), at[i - 1].x());
    }
    EXPECT_LT(at[4].y(), at[3].y());
    EXPECT_EQ(at[7].x(), at[3].x());
    app.clickBit(w, "reg0c", 6);
    EXPECT_EQ(app.board().kestrel().reg(0x0C), 0xE5);
}

// Each editor reads its registers in its own order (offset before slope); the
// close box returns to the block diagram while it is loaded, as Exit does.
TEST(Editors, EachEditorReadsItsRegistersInItsOwnOrderAndItsCloseBoxReturnsToTheDiagram) {
    EditorRig app;
    std::size_t m = app.logSize();
    app.open("mnuLCL", "frm_local");
    const auto traffic = app.logSince(m);
    ASSERT_EQ(traffic.size(), 3u);
    EXPECT_EQ(traffic[0].substr(0, 9), "S AE+ 09+");
    EXPECT_EQ(traffic[1].substr(0, 9), "S AE+ 0A+");
    EXPECT_EQ(traffic[2].substr(0, 9), "S AE+ 18+");
    m = app.logSize();
    app.open("mnuSHR", "frm_shroff");
    EXPECT_EQ(app.logSince(m).front().substr(0, 9), "S AE+ 05+");

    auto* diagram = new QWidget;
    app.program->windows().add("frm_Config", [diagram] { return diagram; });
    app.g().ConfigWindowOpen = true;
    app.open("mnuVDIFF", "frm_vdiff")->close();
    EXPECT_TRUE(diagram->isVisible());
}

// Opened while a page erase holds the bus, the editor's load reads are
// refused: its captions are start-up captions, not the chip's, and must never
// be written. A click reads the register instead; the next click writes.
TEST(Editors, CaptionsThatWereNeverReadAreNeverWritten) {
    EditorRig app;
    auto& chip = app.board().kestrel();
    chip.setReg(0x14, 0xA5);
    chip.setReg(0x17, 0xE5);
    QWidget* w = nullptr;
    {
        auto held = app.program->connection().lineBus()->begin();
        w = app.open("mnuIDIFF", "frm_idiff");
    }
    EXPECT_EQ(app.text("reg14h", w), "00h");
    auto* editor = qobject_cast<BitToggleEditor*>(w);
    ASSERT_NE(editor, nullptr);

    EXPECT_EQ(app.clickBit(w, "reg14", 1), Log{rd(0x14, 0xA5)})
        << "the click reads the register; it writes nothing";
    EXPECT_EQ(chip.reg(0x14), 0xA5);
    EXPECT_EQ(app.bits("reg14", w), "10100101");
    EXPECT_TRUE(editor->note().contains("was not read")) << editor->note().toStdString();
    EXPECT_EQ(app.clickBit(w, "reg14", 1), (Log{wr(0x14, 0xA7), rd(0x14, 0xA7)}));

    // An option click on the unread 17h: nothing written over E5h.
    const auto traffic = app.clickOption(w, "Option3", 0);
    ASSERT_FALSE(traffic.empty());
    EXPECT_EQ(traffic[0], rd(0x17, 0xE5));
    for (const auto& t : traffic) EXPECT_NE(t, wr(0x17, 0x01));
    EXPECT_EQ(chip.reg(0x17), 0xE5);
    EXPECT_EQ(app.selected(w, "Option3"), "Current Transformer") << "the chip's setting shows";
}

// A write the bus refuses leaves captions and selection as the chip has them.
TEST(Editors, ARefusedWritePutsCaptionsAndSelectionBack) {
    EditorRig app;
    app.board().kestrel().setReg(0x16, 0x2D);
    QWidget* w = app.open("mnuIDIFF", "frm_idiff");
    ASSERT_EQ(app.selected(w, "Option1"), "0.5%");
    {
        auto held = app.program->connection().lineBus()->begin();
        EXPECT_EQ(app.clickBit(w, "reg16", 4), Log{});
        EXPECT_EQ(app.clickOption(w, "Option1", 0), Log{});
    }
    EXPECT_EQ(app.bits("reg16", w), "00101101");
    EXPECT_EQ(app.selected(w, "Option1"), "0.5%");

    // A write the chip does not acknowledge is no change either, and the
    // next click reads the register before it writes.
    app.board().kestrel().setNackByte(3);
    app.clickOption(w, "Option1", 0);
    app.board().kestrel().setNackByte(0);
    EXPECT_EQ(app.bits("reg16", w), "00101101");
    EXPECT_EQ(app.selected(w, "Option1"), "0.5%");
    EXPECT_TRUE(qobject_cast<BitToggleEditor*>(w)->note().startsWith(
        "Register 16h did not take the write"));
    EXPECT_EQ(app.clickOption(w, "Option1", 0), Log{rd(0x16, 0x2D)}) << "read, not written";
}

// One click, one toggle: a double-click is one click, and a press released
// off the label is none; without a mouse, Tab and Space do the same.
TEST(Editors, ADoubleClickTogglesOnceADragAwayNotAtAllAndTheKeyboardEdits) {
    EditorRig app;
    auto& chip = app.board().kestrel();
    chip.setReg(0x14, 0x00);
    QWidget* w = app.open("mnuIDIFF", "frm_idiff");
    QLabel* bit0 = app.member<QLabel>(w, "reg14", 0);
    ASSERT_NE(bit0, nullptr);

    std::size_t m = app.logSize();
    // What a widget receives for a double-click: press, release, press,
    // double-click, release.
    QTest::mousePress(bit0, Qt::LeftButton);
    QTest::mouseRelease(bit0, Qt::LeftButton);
    QTest::mousePress(bit0, Qt::LeftButton);
    QTest::mouseDClick(bit0, Qt::LeftButton);
    QTest::mouseRelease(bit0, Qt::LeftButton);
    app.settle();
    EXPECT_EQ(app.trimPec(app.logSince(m)), (Log{wr(0x14, 0x01), rd(0x14, 0x01)}));

    m = app.logSize();
    QTest::mousePress(bit0, Qt::LeftButton);
    QTest::mouseRelease(bit0, Qt::LeftButton, {}, QPoint(bit0->width() + 40, bit0->height() / 2));
    EXPECT_EQ(app.logSize(), m);
    EXPECT_EQ(chip.reg(0x14), 0x01);

    // Without a mouse: Tab reaches a bit, Space toggles it (one write, one read
    // back), and Escape does what Exit does.
    QApplication::setActiveWindow(w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    QLabel* bit7 = app.member<QLabel>(w, "reg14", 7);
    ASSERT_NE(bit7, nullptr);
    // Tab from the widget before it in the window's focus chain.
    QWidget* before = bit7->previousInFocusChain();
    while (before != nullptr && !(before->focusPolicy() & Qt::TabFocus))
        before = before->previousInFocusChain();
    ASSERT_NE(before, nullptr);
    before->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(before, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), bit7);
    m = app.logSize();
    QTest::keyClick(bit7, Qt::Key_Space);
    app.settle();
    EXPECT_EQ(app.trimPec(app.logSince(m)), (Log{wr(0x14, 0x81), rd(0x14, 0x81)}));

    QTest::keyClick(w, Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(app.program->windows().loaded("frm_idiff"), w) << "hidden, as Exit does";
}

}  // namespace
}  // namespace kestrel
