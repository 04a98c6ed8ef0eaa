#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/app_rig.h"

namespace kestrel {
namespace {

using testing::AppRig;

using testing::fileBytes;
using testing::writeFile;

TEST(ImageFileUi, SaveAfterReadGivesThirtyTwoCrLfLinesAndFailuresAreTold) {
    QTemporaryDir dir;
    AppRig app;
    for (int i = 0; i < 32; ++i)
        app.board().kestrel().setEeprom(0x8100 + i, static_cast<std::uint8_t>(i));
    app.click("ReadEECMD");
    const QString path = dir.filePath("block.dat");
    app.dialogs.fileNames = {path};
    app.trigger("WriteFileCMD");
    const QByteArray data = fileBytes(path);
    EXPECT_TRUE(data.startsWith("8100h: 00h\r\n8101h: 01h\r\n"));
    EXPECT_TRUE(data.endsWith("811Fh: 1Fh\r\n"));
    EXPECT_EQ(data.count("\r\n"), 32);
    EXPECT_TRUE(app.dialogs.proposedFiles.front().endsWith("/kestrel.dat|Dat Files (*.dat)"));

    // An empty list saves 32 empty lines.
    app.find<QListWidget>("EEData")->clear();
    app.dialogs.fileNames = {path};
    app.trigger("WriteFileCMD");
    EXPECT_EQ(fileBytes(path), QByteArray("\r\n").repeated(32));

    // The dialog proposes the name chosen last, in either direction.
    app.trigger("ReadFileCMD");
    EXPECT_TRUE(app.dialogs.proposedFiles.back().startsWith(path + "|"));

    // Failures are told and nothing is lost.
    app.click("ReadEECMD");
    const QStringList before = app.items("EEData");

    app.dialogs.fileNames = {dir.filePath("missing.dat")};
    app.trigger("ReadFileCMD");
    EXPECT_EQ(app.items("EEData"), before) << "an unreadable file leaves the list as it was";
    ASSERT_EQ(app.dialogs.messages.size(), 1);
    EXPECT_TRUE(app.dialogs.messages[0].contains("missing.dat"));

    app.dialogs.fileNames = {dir.filePath("no/such/folder/x.dat")};
    app.trigger("WriteFileCMD");
    ASSERT_EQ(app.dialogs.messages.size(), 2);
    EXPECT_TRUE(app.dialogs.messages[1].contains("Cannot create"));

    // Cancelled dialogs change nothing.
    app.trigger("ReadFileCMD");
    app.trigger("WriteFileCMD");
    EXPECT_EQ(app.items("EEData"), before);
    EXPECT_EQ(app.dialogs.messages.size(), 2);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"block.dat"});

    // A good file replaces the 32 items: it does not append to them.
    const QString three = dir.filePath("three.dat");
    writeFile(three, "8000h: 01h\r\n8001h: 02h\r\n8002h: 03h\r\n");
    app.dialogs.fileNames = {three};
    app.trigger("ReadFileCMD");
    EXPECT_EQ(app.items("EEData"), (QStringList{"8000h: 01h", "8001h: 02h", "8002h: 03h"}));
}

TEST(ImageFileUi, ShortFilesWriteZerosForTheRestAndEightBitLinesRoundTrip) {
    QTemporaryDir dir;
    AppRig app;
    const QString path = dir.filePath("ten.dat");
    QByteArray ten;
    for (int i = 0; i < 10; ++i)
        ten += QByteArray("8000h: ") + QByteArray::number(0x40 + i, 16).toUpper() + "h\n";
    writeFile(path, ten);
    app.dialogs.fileNames = {path};
    app.trigger("ReadFileCMD");
    const QStringList items = app.items("EEData");
    ASSERT_EQ(items.size(), 10) << "line feeds alone end lines too";
    EXPECT_EQ(items[9], "8000h: 49h");

    // The lines say 8000h, the base is 8100h: both ranges are named.
    EXPECT_TRUE(
        app.status().contains("Loaded the lines of 8000h-8000h from ten.dat; Write sends "
                              "them to the base address, 8100h-811Fh."))
        << app.status().toStdString();
    app.dialogs.yesNoAnswers = {testing::ScriptedDialogs::Answer::No};
    app.click("WriteEECMD");
    EXPECT_TRUE(app.dialogs.questions.last().endsWith(
        "The list holds the lines of 8000h-8000h; they are written to 8100h-811Fh."))
        << app.dialogs.questions.last().toStdString();
    auto& chip = app.board().kestrel();
    EXPECT_EQ(chip.eeprom(0x8100), 0x40);
    EXPECT_EQ(chip.eeprom(0x8109), 0x49);
    for (int a = 0x810A; a < 0x8120; ++a) EXPECT_EQ(chip.eeprom(a), 0x00) << std::hex << a;

    // Lines are 8-bit characters: a byte such as B0h ("\xb0" in the 8-bit code
    // page) is one character, and the data byte stands before the last one.
    QByteArray content;
    for (int i = 0; i < 32; ++i)
        content += QByteArray("81") + QByteArray::number(i + 16, 16).toUpper() +
                   (i == 0 ? QByteArray("h: 3C\xb0") : QByteArray("h: 5Ah")) + "\r\n";
    const QString in = dir.filePath("in.dat");
    writeFile(in, content);
    app.dialogs.fileNames = {in};
    app.trigger("ReadFileCMD");
    app.click("WriteEECMD");  // erased first: the cells can only be cleared
    EXPECT_EQ(chip.eeprom(0x8100), 0x3C);

    const QString out = dir.filePath("out.dat");
    app.dialogs.fileNames = {out};
    app.trigger("WriteFileCMD");
    EXPECT_EQ(fileBytes(out), content) << "saved unchanged, not re-encoded";
}

}  // namespace
}  // namespace kestrel
