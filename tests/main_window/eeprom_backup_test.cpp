#include "files/eeprom_backup.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "support/app_rig.h"

namespace kestrel {
namespace {

using testing::AppRig;
using Answer = testing::ScriptedDialogs::Answer;

TEST(EepromBackup, SavesTheWholeEepromRestoresItVerifiedAndTrustsNothingElse) {
    QTemporaryDir dir;
    AppRig app;
    auto& chip = app.board().kestrel();
    for (int a = 0x8000; a < 0x8200; ++a) chip.setEeprom(a, static_cast<std::uint8_t>(a * 5 + 1));
    const QString path = dir.filePath("board.dat");
    app.dialogs.fileNames = {path};
    app.trigger("mnuBackupEEPROM");
    const QByteArray saved = testing::fileBytes(path);
    EXPECT_EQ(saved.count("\r\n"), 512);
    EXPECT_TRUE(saved.startsWith("8000h: 01h\r\n"));
    EXPECT_TRUE(app.status().contains("saved to")) << app.status().toStdString();

    for (int a = 0x8000; a < 0x8200; ++a) chip.setEeprom(a, 0x00);
    app.dialogs.fileNames = {path};
    const std::size_t mark = app.logSize();
    app.trigger("mnuRestoreEEPROM");
    for (int a = 0x8000; a < 0x8200; ++a)
        ASSERT_EQ(chip.eeprom(a), static_cast<std::uint8_t>(a * 5 + 1)) << std::hex << a;
    EXPECT_EQ(app.status(), "EEPROM restored from " + path + " and verified.");
    // 16 page erases, 512 byte writes, 512 verify reads (32 block reads
    // where bytes are read by block).
    EXPECT_EQ(app.logSize() - mark, 16u + 512u + (app.eepromByBlock() ? 32u : 512u));

    // The whole-EEPROM read reports its progress block by block.
    std::vector<int> steps;
    eeprom::Run run;
    ASSERT_TRUE(eeprom::readAll(app.program->device(), run, [&](int done, int total) {
        EXPECT_EQ(total, 512);
        steps.push_back(done);
        return true;
    }));
    ASSERT_EQ(steps.size(), 16u);
    EXPECT_EQ(steps.front(), 32);
    EXPECT_EQ(steps.back(), 512);

    // A chip that does not answer: no backup file at all.
    app.board().kestrel().setPresent(false);
    const QString absent = dir.filePath("absent.dat");
    app.dialogs.fileNames = {absent};
    app.trigger("mnuBackupEEPROM");
    EXPECT_FALSE(QFile::exists(absent));
    EXPECT_EQ(app.status(),
              "EEPROM backup failed at 8000h: no acknowledge from AEh; 8000h-81FFh not read. "
              "Nothing was saved.");
    app.board().kestrel().setPresent(true);

    // A file that is not a whole backup is refused, naming the line, before
    // any bus traffic.
    eeprom::Image image{};
    std::string text = eeprom::imageText(image);
    text.replace(text.find("8005h: 00h"), 10, "8005h: 0Gh");
    const QString bad =
        testing::writeFile(dir.filePath("bad.dat"), QByteArray::fromStdString(text));
    const std::size_t beforeBad = app.logSize();
    app.dialogs.fileNames = {bad};
    app.trigger("mnuRestoreEEPROM");
    EXPECT_TRUE(app.status().contains("line 6")) << app.status().toStdString();
    EXPECT_EQ(app.logSize(), beforeBad);

    // The question answered No (or Escape): nothing erased.
    const QString good = dir.filePath("good.dat");
    app.dialogs.fileNames = {good};
    app.trigger("mnuBackupEEPROM");
    const std::size_t afterBackup = app.logSize();
    app.dialogs.fileNames = {good};
    app.dialogs.yesNoAnswers = {Answer::Cancel};
    app.trigger("mnuRestoreEEPROM");
    EXPECT_EQ(app.logSize(), afterBackup);
    EXPECT_TRUE(app.status().contains("cancelled"));
}

}  // namespace
}  // namespace kestrel
