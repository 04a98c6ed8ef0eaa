#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

#include "support/app_rig.h"

namespace kestrel {
namespace {

using testing::AppRig;

TEST(StateFileUi, ABadFileGivesAFreshBoardAGoodOneKeepsTheChanges) {
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
}

}  // namespace
}  // namespace kestrel
