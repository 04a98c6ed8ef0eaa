#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

#include "support/app_rig.h"

namespace kestrel {
namespace {

using testing::AppRig;

TEST(StateFileUi, ABadFileGivesAFreshBoardAGoodOneKeepsTheChangesAQuitWaitsForTheTransaction) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("board.txt").toStdString();
    const std::string text = "reg 0E 00\nfault melted\n";
    std::ofstream(path, std::ios::binary) << text;
    {
        AppRig app(nullptr, [&](ProgramOptions& o) { o.connection.simStatePath = path; });
        EXPECT_TRUE(app.status().contains("fresh board")) << app.status().toStdString();
        EXPECT_TRUE(app.status().contains("line 2")) << app.status().toStdString();
        EXPECT_EQ(app.board().kestrel().reg(0x0E), 0x04) << "nothing of the bad file is used";
        ASSERT_TRUE(app.program->device().WriteRegister(0x0E, 0x01).ok());
        app.program->quit();
    }
    EXPECT_EQ(testing::fileBytes(QString::fromStdString(path)).toStdString(), text);

    // A good file is loaded and keeps the changes.
    std::ofstream(path, std::ios::binary) << "reg 0E 00\noption clear-only-cells\n";
    {
        AppRig app(nullptr, [&](ProgramOptions& o) { o.connection.simStatePath = path; });
        EXPECT_EQ(app.board().kestrel().reg(0x0E), 0x00);
        EXPECT_TRUE(app.board().kestrel().options().clearOnlyCells);
        ASSERT_TRUE(app.program->device().WriteRegister(0x0E, 0x01).ok());
    }
    sim::SimulatedBoard board;
    std::string error;
    ASSERT_TRUE(board.loadState(path, &error)) << error;
    EXPECT_EQ(board.kestrel().reg(0x0E), 0x01);
    EXPECT_TRUE(board.kestrel().options().clearOnlyCells);

    // Quit handled during a transaction's wait (an EEPROM cycle, or a signal
    // taken there) lets that transaction end before the board is saved.
    const std::string quitPath = dir.filePath("quit.txt").toStdString();
    AppRig app(nullptr, [&](ProgramOptions& o) { o.connection.simStatePath = quitPath; });
    app.clock.onEvents = [&app] { app.program->quit(); };
    Transfer zero;
    zero.messages = {{.address = 0xAE, .write = {0x81, 0x00, 0x00}}};
    zero.kind = "EEPROM Write";
    zero.holdMs = 30;
    ASSERT_TRUE(app.program->device().executor().run(zero));
    ASSERT_TRUE(app.program->hasQuit()) << "quit came inside the wait";
    // The quit ends in the event loop; the state file (held from the start)
    // is empty until then.
    for (int i = 0; i < 300 && testing::fileBytes(QString::fromStdString(quitPath)).isEmpty(); ++i)
        QTest::qWait(10);
    sim::SimulatedBoard saved;
    ASSERT_TRUE(saved.loadState(quitPath, &error)) << error;
    EXPECT_EQ(saved.kestrel().eeprom(0x8100), 0x00) << "the write that was under way is saved";
    EXPECT_FALSE(app.program->device().executor().run(zero)) << "and nothing runs after it";
}

}  // namespace
}  // namespace kestrel
