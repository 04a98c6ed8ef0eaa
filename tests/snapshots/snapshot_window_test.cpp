#include "snapshots/snapshot_window.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTableWidget>
#include <QTemporaryDir>

#include "support/app_rig.h"

namespace kestrel {
namespace {

// The first cell of every highlighted row.
QStringList highlighted(QTableWidget& t) {
    QStringList rows;
    for (int r = 0; r < t.rowCount(); ++r)
        if (t.item(r, 0)->background().style() != Qt::NoBrush) rows << t.item(r, 0)->text();
    return rows;
}

// Save, change two trims and one EEPROM byte, compare (those three rows
// highlighted, the gain named), apply back (asked first), and compare equal.
TEST(SnapshotWindow, SaveCompareApplyNoBackupNoApplyAndMalformedFilesOrAnAbsentChipRefused) {
    testing::AppRig app;
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a.snap"));
    auto* w = app.open<SnapshotWindow>("mnuSnapshots", "frm_Snapshots");
    ASSERT_NE(w, nullptr);
    app.dialogs.fileNames = {a};
    app.click(QStringLiteral("save"), w);
    ASSERT_TRUE(QFile::exists(a)) << w->summary().toStdString();

    auto& chip = app.board().kestrel();
    ASSERT_TRUE(app.program->device().WriteRegister(0x16, 0x2E).ok());
    ASSERT_TRUE(app.program->device().WriteRegister(0x14, 0x81).ok());
    chip.setEeprom(0x8105, 0x34);
    app.dialogs.fileNames = {a};
    app.click(QStringLiteral("compareFile"), w);
    EXPECT_EQ(highlighted(w->table()), QStringList({"14h", "16h", "8105h"}));
    EXPECT_EQ(w->table().item(1, 4)->text(), QStringLiteral("Gain: 175x on A, 230x on B"));
    EXPECT_EQ(w->table().rowCount(), 33 + 1) << "every register, and the one EEPROM byte";
    EXPECT_TRUE(w->summary().startsWith("2 registers and 1 EEPROM byte differ"))
        << w->summary().toStdString();

    // Declined: nothing is written.
    app.dialogs.fileNames = {a};
    app.dialogs.yesNoAnswers = {Dialogs::Answer::No};
    app.click(QStringLiteral("apply"), w);
    EXPECT_EQ(chip.reg(0x16), 0x2E);
    EXPECT_EQ(app.dialogs.questions.size(), 1);
    EXPECT_TRUE(
        app.dialogs.questions[0].contains("Write 2 registers and erase and write 1 EEPROM"));

    app.dialogs.fileNames = {a};
    app.click(QStringLiteral("apply"), w);
    EXPECT_TRUE(
        w->summary().contains("applied: 2 registers and 1 EEPROM pages written and read "
                              "back equal"))
        << w->summary().toStdString();
    EXPECT_EQ(chip.reg(0x16), 0x2D);
    EXPECT_EQ(chip.eeprom(0x8105), 0xFF);
    EXPECT_TRUE(highlighted(w->table()).isEmpty());

    // The EEPROM as it was before the apply, kept in the backup folder.
    const QStringList saved = QDir(app.backups.path()).entryList(QDir::Files);
    ASSERT_EQ(saved.size(), 1);
    EXPECT_TRUE(w->summary().contains("saved to " + app.backups.path()));
    const QByteArray lines = testing::fileBytes(QDir(app.backups.path()).filePath(saved[0]));
    EXPECT_EQ(lines.count('\n'), 512);
    EXPECT_TRUE(lines.contains("8105h: 34h\r\n"));

    // Without a place for the EEPROM backup an apply that would erase pages
    // writes nothing at all.
    app.dialogs.fileNames = {a};
    app.click(QStringLiteral("save"), w);
    ASSERT_TRUE(app.program->device().WriteRegister(0x16, 0x2E).ok());
    chip.setEeprom(0x8105, 0x34);
    const QString folder = app.backups.path();
    ASSERT_TRUE(app.backups.remove());
    testing::writeFile(folder, {});  // a file where the folder should be

    app.dialogs.fileNames = {a};
    app.click(QStringLiteral("apply"), w);
    EXPECT_TRUE(w->summary().startsWith("EEPROM not backed up")) << w->summary().toStdString();
    EXPECT_EQ(chip.reg(0x16), 0x2E) << "no register written either";
    EXPECT_EQ(chip.eeprom(0x8105), 0x34);
    QFile::remove(folder);

    // A malformed file or an absent chip is refused without bus traffic.
    app.dialogs.messages.clear();
    app.dialogs.questions.clear();
    testing::writeFile(a, "kestrel-eval board snapshot\r\ntool 2.0.0\r\nslave AFh\r\n");
    const std::size_t before = app.logSize();
    app.dialogs.fileNames = {a};
    app.click(QStringLiteral("apply"), w);
    ASSERT_EQ(app.dialogs.messages.size(), 1);
    EXPECT_TRUE(app.dialogs.messages[0].contains("a.snap is not a board snapshot:"));
    EXPECT_TRUE(app.dialogs.messages[0].contains("line 3:"));
    EXPECT_EQ(app.logSize(), before);
    EXPECT_TRUE(app.dialogs.questions.isEmpty());

    // An absent chip saves nothing and says so.
    app.board().kestrel().setPresent(false);
    const QString absent = dir.filePath(QStringLiteral("absent.snap"));
    app.dialogs.fileNames = {absent};
    app.click(QStringLiteral("save"), w);
    EXPECT_FALSE(QFile::exists(absent));
    EXPECT_TRUE(w->summary().contains("register 00h not read: no acknowledge from AEh"))
        << w->summary().toStdString();
}

}  // namespace
}  // namespace kestrel
