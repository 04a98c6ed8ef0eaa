// What a script gets from a command line or an input file that is wrong:
// exit code 1, the culprit named, and not one line change on the bus.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "batch/batch.h"
#include "device/text_rules.h"
#include "simulator/simulated_board.h"
#include "support/batch_rig.h"
#include "support/vcd_decoder.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

class BatchStrictTest : public testing::BatchRig {
  protected:
    // Whether the last run left the bus alone: no trace at all, or one in
    // which neither line ever moved.
    bool busUntouched() const {
        if (!fs::exists(trace)) return true;
        const auto d = testing::decodeVcd(slurp(trace));
        return d.tokens.empty() && d.sclRises == 0;
    }
    void expectRefused(const std::vector<std::string>& args, const std::string& named) {
        SCOPED_TRACE(::testing::PrintToString(args));
        // On a board the test holds, its own bus log shows every transaction.
        EXPECT_EQ(BatchRig::run(args), 1);
        EXPECT_TRUE(board.log().transactions().empty()) << board.log().describeAll()[0];
        EXPECT_EQ(board.kestrel().transactions(), 0u);
        EXPECT_EQ(out, "");
        EXPECT_NE(err.find(named), std::string::npos) << err;
        EXPECT_LE(std::count(err.begin(), err.end(), '\n'), 2)
            << "one line and a hint, not the whole help:\n"
            << err;
    }
};

TEST_F(BatchStrictTest, BadOrOutOfRangeNumbersAreRefusedBeforeTheBus) {
    expectRefused({"read", "ZZ"}, "ZZ");
    expectRefused({"read", "0x1Dh"}, "0x1Dh");
    expectRefused({"write", "0E", ""}, "data");
    expectRefused({"--slave", "0x57", "read", "00"}, "AEh");
    expectRefused({"--slave", "1AE", "read", "00"}, "1AE");
    expectRefused({"switch", "91", "01"}, "91");
    expectRefused({"eeprom", "erase", "8105"}, "8105");
    expectRefused({"eeprom", "erase", "9000"}, "9000");
    expectRefused({"eeprom", "zero", "7FE0"}, "7FE0");
    expectRefused({"eeprom", "read", "8000", "201"}, "201");
    expectRefused({"block-read", "81F0"}, "81F0");
    expectRefused({"block-read", "0E00"}, "0E00");
}

TEST_F(BatchStrictTest, ImageFilesThatAreNotImagesAreRefusedBeforeTheBus) {
    std::string good;
    for (unsigned i = 0; i < 32; ++i) good += text::imageLine(0x8100 + i, i) + "\r\n";
    std::string fiveLines;
    for (unsigned i = 0; i < 5; ++i) fiveLines += text::imageLine(0x8100 + i, i) + "\n";
    std::string badLine7 = good;
    badLine7.replace(badLine7.find("8106h: 06h"), 10, "8106h: 6h");

    expectRefused({"eeprom", "write", "8100", file("five.dat", fiveLines)}, "line 6");
    expectRefused({"eeprom", "write", "8100", file("empty.dat", "")}, "line 1");
    expectRefused({"eeprom", "write", "8100", file("hello.dat", "hello\n")}, "line 1");
    expectRefused({"eeprom", "write", "8100", file("bad7.dat", badLine7)}, "line 7");
    expectRefused({"eeprom", "write", "8100", file("long.dat", good + good)}, "line 33");
    expectRefused({"eeprom", "write", "8100", dir.string()}, "not a regular file");
    expectRefused({"eeprom", "write", "8100", (dir / "missing.dat").string()}, "missing.dat");

    EXPECT_EQ(runOnFile({"--no-backup", "eeprom", "write", "8100", file("good.dat", good)}), 0)
        << err;
    EXPECT_EQ(runOnFile({"eeprom", "read", "8100"}), 0);
    EXPECT_EQ(out.substr(0, 22), "8100h: 00h\n8101h: 01h\n");
}

TEST_F(BatchStrictTest, OptionsAreParsedStrictlyAndNeverGuessed) {
    expectRefused({"read", "00", "--jsn"}, "unknown option");
    expectRefused({"-x", "read", "00"}, "unknown option '-x'");
    expectRefused({"read", "00", "--out"}, "--out");
}

TEST_F(BatchStrictTest, StateAndTraceFilesThatCannotBeUsedStopTheRunBeforeTheBus) {
    ASSERT_EQ(runOnFile({"write", "0E", "00"}), 0) << err;
    std::ofstream(state, std::ios::app) << "this line is not a board\n";
    const std::string before = slurp(state);
    EXPECT_EQ(runOnFile({"write", "0E", "04"}, true), 1);
    EXPECT_TRUE(busUntouched());
    EXPECT_NE(err.find("not loaded: " + state + ": line "), std::string::npos) << err;
    EXPECT_NE(err.find("nothing was run"), std::string::npos) << err;
    EXPECT_EQ(err.find("fresh board"), std::string::npos) << "batch mode runs no fresh board";
    EXPECT_EQ(slurp(state), before) << "a state file that did not load is left as it was";

    fs::remove(state);
    ASSERT_EQ(runOnFile({"write", "0E", "00"}), 0) << err;
    EXPECT_EQ(runOnFile({"--trace", (dir / "no" / "such.vcd").string(), "write", "0E", "04"}), 1);
    EXPECT_NE(err.find("trace"), std::string::npos) << err;
    EXPECT_EQ(runOnFile({"read", "0E"}), 0);
    EXPECT_EQ(out, "00\n") << "the run with the unusable trace wrote nothing";

    // A state file that could not be saved at the end: refused at the start.
    const std::string nowhere = (dir / "no" / "board.txt").string();
    state = nowhere;
    EXPECT_EQ(runOnFile({"write", "0E", "04"}, true), 1);
    EXPECT_TRUE(busUntouched());
    EXPECT_NE(err.find(nowhere), std::string::npos) << err;
}

}  // namespace
}  // namespace kestrel
