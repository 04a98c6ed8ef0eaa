// The simulated board's state file: strict loading, atomic saving, and the
// lock that keeps concurrent runs from losing each other's changes.
#include "simulator/state_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "simulator/simulated_board.h"
#include "support/batch_rig.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

using StateFile = testing::BatchRig;  // its folder and file helpers

TEST_F(StateFile, LoaderRefusesEverythingButWellFormedLinesAndChangesNothingThen) {
    const std::string bad[] = {
        "ee 80000000 1\n",      // the address overflowed an int index once
        "ee 7FFF 1\n",          // below the EEPROM
        "ee 8200 1\n",          // above it
        "ee 81FF 1 2\n",        // runs past its end
        "ee 8100\n",            // no bytes
        "ee 8100 100\n",        // not a byte
        "reg 30 1\n",           // no such register
        "reg 0E\n",             // no value
        "reg 0E 1 2\n",         // one too many
        "reg 0x0E 1\n",         // hex digits only
        "reg -1 1\n",           //
        "reg 0E 1FF\n",         //
        "plover 91 0\n",        // no switch there
        "fault melted\n",       // unknown fault
        "fault block-count\n",  // missing its count
        "fault missing 1\n",    //
        "fault port-error-after 0\n",
        "option stricter\n",  // unknown option
        "chip 1\n",           // unknown line
        "reg 0E 1\x01\n",     // control character
        std::string("reg 0E 1\0\n", 10),
        "reg 0E \xB0\n",  // not ASCII
        "reg 0E 1\n",     // given again
        "ee 80FF 1 2\n",  // 8100h given again
        "ee 81F0 1 2 3",  // cut short inside the line
    };
    for (const std::string& text : bad) {
        sim::SimulatedBoard board;
        const std::string before = board.stateText();
        std::string error;
        EXPECT_FALSE(board.loadStateText("reg 0E 0\nee 8100 5A\n" + text, &error)) << text;
        EXPECT_NE(error.find("line 3"), std::string::npos)
            << text << " -> " << error;  // binary content names no line
        EXPECT_EQ(board.stateText(), before) << "all or nothing: " << text;
    }
    sim::SimulatedBoard board;
    std::string error;
    ASSERT_TRUE(
        board.loadStateText("# comment\r\n\r\nreg 2f ff\r\nee 81FF 7\nee 8000 1 2 3\nplover 98 3\n"
                            "fault block-count 5\nfault nack-byte 3\nfault port-error-after 3A98\n"
                            "\toption busy-time\n",
                            &error))
        << error;
    EXPECT_EQ(board.kestrel().reg(0x2F), 0xFF);
    EXPECT_EQ(board.kestrel().eeprom(0x81FF), 0x07);
    EXPECT_EQ(board.kestrel().eeprom(0x8002), 0x03);
    EXPECT_EQ(board.plover98().switches(), 0x03);
    EXPECT_TRUE(board.kestrel().options().busyTime);
    // And what it saves loads back to the same board.
    sim::SimulatedBoard copy;
    ASSERT_TRUE(copy.loadStateText(board.stateText(), &error)) << error;
    EXPECT_EQ(copy.stateText(), board.stateText());
}

TEST_F(StateFile, OnlyRegularFilesOfSaneSizeAreRead) {
    sim::SimulatedBoard board;
    std::string error;
    EXPECT_FALSE(board.loadState(dir.string(), &error)) << "a folder";
    const std::string fifo = (dir / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(board.loadState(fifo, &error)) << "a FIFO, without hanging";
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    std::string text;
    while (text.size() <= sim::SimulatedBoard::kMaxStateFileBytes) text += "# padding line\n";
    const std::string big = file("big", text);
    EXPECT_FALSE(board.loadState(big, &error));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
    EXPECT_FALSE(board.loadState("/dev/zero", &error));
}

TEST_F(StateFile, SavesOnlyAChangedBoardAndNeverAFileThatDidNotLoad) {
    const std::string path = (dir / "board.txt").string();
    {
        sim::SimulatedBoard board;
        sim::StateFile file(path);
        std::string error;
        ASSERT_TRUE(file.load(board, &error)) << error << " (a missing file is a fresh board)";
        ASSERT_TRUE(file.save(board, &error));
        EXPECT_EQ(slurp(path), "") << "nothing changed, nothing written";
        board.kestrel().setReg(0x0E, 0x00);
        ::chmod(path.c_str(), 0640);
        ASSERT_TRUE(file.save(board, &error)) << error;
    }
    struct stat st {};
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u) << "the file keeps its permissions";
    {
        sim::SimulatedBoard board;
        sim::StateFile file(path);
        std::string error;
        ASSERT_TRUE(file.load(board, &error)) << error;
        EXPECT_EQ(board.kestrel().reg(0x0E), 0x00);
    }
    file("board.txt", "reg 0E 00\nfault melted\n");
    sim::SimulatedBoard board;
    sim::StateFile file(path);
    std::string error;
    EXPECT_FALSE(file.load(board, &error));
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    EXPECT_EQ(board.kestrel().reg(0x0E), 0x04) << "a fresh board";
    board.kestrel().setReg(0x0E, 0x01);
    EXPECT_FALSE(file.save(board, &error));
    EXPECT_EQ(slurp(path), "reg 0E 00\nfault melted\n");
}

TEST_F(StateFile, ASecondHolderWaitsForTheFirstAndSeesItsChanges) {
    const std::string path = (dir / "board.txt").string();
    std::atomic<bool> waited{false}, done{false}, thirdWaited{false};
    std::thread third;
    auto first = std::make_unique<sim::StateFile>(path);
    sim::SimulatedBoard a;
    std::string error;
    ASSERT_TRUE(first->load(a, &error));
    std::thread second([&] {
        sim::SimulatedBoard b;
        sim::StateFile file(path, [&] { waited = true; });
        std::string why;
        EXPECT_TRUE(file.load(b, &why)) << why;
        EXPECT_EQ(b.kestrel().reg(0x0E), 0x00) << "the first holder's change is there";
        // The first holder replaced the file: a third holder must wait for
        // this one, not take the new file's lock beside it.
        third = std::thread([&] { sim::StateFile f(path, [&] { thirdWaited = true; }); });
        for (int i = 0; i < 2000 && !thirdWaited; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_TRUE(thirdWaited) << "the third holder waits for the second";
        b.kestrel().setReg(0x0F, 0x00);
        EXPECT_TRUE(file.save(b, &why)) << why;
        done = true;
    });
    for (int i = 0; i < 2000 && !waited && !done; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(waited) << "the second holder is told it waits";
    EXPECT_FALSE(done) << "the second holder waits";
    a.kestrel().setReg(0x0E, 0x00);
    ASSERT_TRUE(first->save(a, &error)) << error;
    first.reset();
    second.join();
    third.join();
    sim::SimulatedBoard c;
    ASSERT_TRUE(c.loadState(path, &error)) << error;
    EXPECT_EQ(c.kestrel().reg(0x0E), 0x00);
    EXPECT_EQ(c.kestrel().reg(0x0F), 0x00);
}

}  // namespace
}  // namespace kestrel
