// snapshot save, diff and apply as scripts run them, on a simulated board the
// test holds: exit codes, what is written, and nothing sent for a bad file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "batch/batch.h"
#include "simulator/simulated_board.h"
#include "support/batch_rig.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

class SnapshotBatchTest : public testing::BatchRig {
  protected:
    SnapshotBatchTest() : BatchRig("snap") {}

    std::string a = (dir / "a.snap").string();

    bool has(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }
    std::size_t backups() const { return backupFiles().size(); }
};

TEST_F(SnapshotBatchTest, SaveChangeDiffApplyAndDiffAgain) {
    ASSERT_EQ(run({"snapshot", "save", a}), 0) << err;
    EXPECT_EQ(out, "");

    ASSERT_EQ(run({"write", "16", "2E"}), 0);
    ASSERT_EQ(run({"write", "14", "81"}), 0);
    ASSERT_EQ(run({"--no-backup", "eeprom", "write-byte", "8105", "34"}), 0);
    EXPECT_EQ(run({"snapshot", "diff", a}), 4);
    EXPECT_EQ(out.substr(out.find("\nregister")),
              "\nregister 14h Current Sense Divider Error Trim: 80h on A, 81h on B\n"
              "register 16h Current Sense Config 1: 2Dh on A, 2Eh on B  Gain: 175x on A, 230x "
              "on B\n"
              "EEPROM 8105h: FFh on A, 34h on B\n"
              "identical: 23 of 25 writable registers, 511 of 512 EEPROM bytes\n");
    EXPECT_EQ(run({"--json", "snapshot", "diff", a}), 4);
    EXPECT_TRUE(has(out, "\"fields\":[{\"field\":\"Gain\",\"a\":\"175x\",\"b\":\"230x\"}]")) << out;

    EXPECT_EQ(run({"snapshot", "apply", a, "--verify"}), 0) << err;
    EXPECT_EQ(out,
              "registers written: 14h 16h\n"
              "EEPROM pages erased and written: 8100h\n"
              "verified: the board reads back as the snapshot holds\n");
    EXPECT_EQ(backups(), 1u) << "the EEPROM is saved before the apply";
    EXPECT_EQ(run({"snapshot", "diff", a}), 0) << out;
    EXPECT_EQ(board.kestrel().eeprom(0x8105), 0xFF);

    // Only the registers: the EEPROM is neither written nor backed up.
    ASSERT_EQ(run({"write", "14", "81"}), 0);
    EXPECT_EQ(run({"snapshot", "apply", a, "--registers-only"}), 0) << err;
    EXPECT_EQ(out, "registers written: 14h\n");
    EXPECT_EQ(backups(), 1u);
}

TEST_F(SnapshotBatchTest, AMalformedSnapshotIsRefusedBeforeAnyBusTraffic) {
    ASSERT_EQ(run({"snapshot", "save", a}), 0) << err;
    std::string bad = slurp(a);
    bad.replace(bad.find("8100h: FFh"), 10, "8100h: FF");
    const std::string b = (dir / "b.snap").string();
    std::ofstream(b, std::ios::binary) << bad;

    board.log().clear();
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"snapshot", "apply", b, "--verify"},
                                               {"snapshot", "diff", b},
                                               {"snapshot", "diff", a, b}}) {
        EXPECT_EQ(run(args), 1) << args[1];
        EXPECT_TRUE(has(err, b + " line 294: '8100h: FF' is not an image line")) << err;
        EXPECT_EQ(out, "");
    }
    EXPECT_TRUE(board.log().transactions().empty());
    EXPECT_EQ(backups(), 0u);
    EXPECT_EQ(run({"snapshot", "diff", (dir / "none.snap").string()}), 1);
}

TEST_F(SnapshotBatchTest, AnAbsentChipFailsSaveAndApplyWithExitTwo) {
    ASSERT_EQ(run({"snapshot", "save", a}), 0) << err;
    const std::string saved = (dir / "never.snap").string();
    board.kestrel().setPresent(false);
    EXPECT_EQ(run({"snapshot", "save", saved}), 2);
    EXPECT_TRUE(has(err, "register 00h not read: no acknowledge from AEh")) << err;
    EXPECT_FALSE(fs::exists(saved));
    EXPECT_EQ(run({"snapshot", "apply", a}), 2);
    EXPECT_TRUE(has(err, "EEPROM not backed up")) << err;
    EXPECT_EQ(run({"--no-backup", "snapshot", "apply", a, "--verify"}), 2);
    EXPECT_TRUE(has(err, "nothing was written")) << err;
    EXPECT_EQ(run({"snapshot", "diff", a}), 2);
}

}  // namespace
}  // namespace kestrel
