// Batch commands on a simulated board the test holds: failures that look like
// failures, JSON results, detect, backups and restore.
#include <gtest/gtest.h>
#include <linux/i2c-dev.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "batch/batch.h"
#include "connection/simulated_i2c_adapter.h"
#include "files/eeprom_backup.h"
#include "simulator/simulated_board.h"
#include "support/batch_rig.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

// An adapter driver that runs each transfer and then fails it (EIO).
struct FailingAfterRunning final : KernelCalls {
    SimulatedI2cAdapter& inner;
    explicit FailingAfterRunning(SimulatedI2cAdapter& a) : inner(a) {}
    std::vector<std::string> listFolder(const std::string& p) override {
        return inner.listFolder(p);
    }
    bool readText(const std::string& p, std::string& t) override { return inner.readText(p, t); }
    int openNode(const std::string& p, int& e) override { return inner.openNode(p, e); }
    void closeNode(int fd) override { inner.closeNode(fd); }
    bool exists(const std::string& p) override { return inner.exists(p); }
    bool readWritable(const std::string& p) override { return inner.readWritable(p); }
    int ioctl(int fd, unsigned long request, void* argument, int& error) override {
        const int rc = inner.ioctl(fd, request, argument, error);
        if (rc < 0 || request != I2C_RDWR) return rc;
        error = EIO;
        return -1;
    }
};

class BatchResultsTest : public testing::BatchRig {
  protected:
    std::size_t lineCount(const std::string& s) {
        return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n'));
    }
};

TEST_F(BatchResultsTest, DumpShowsUnreadBytesAsXXWithOneSummaryLine) {
    ASSERT_TRUE(board.applyFault("missing"));
    EXPECT_EQ(run({"eeprom", "dump"}), 2);
    EXPECT_EQ(lineCount(out), 33u);
    EXPECT_NE(out.find("8000: XX XX XX"), std::string::npos) << out;
    EXPECT_EQ(out.find("FF"), std::string::npos) << "an unread byte is never shown as FF";
    EXPECT_EQ(err, "kestrel-eval: 512 reads not acknowledged by AEh\n");

    EXPECT_EQ(run({"eeprom", "read", "8100", "3"}), 2);
    EXPECT_EQ(out, "8100h: XXh\n8101h: XXh\n8102h: XXh\n");
    EXPECT_EQ(run({"dump"}), 2);
    EXPECT_EQ(out.substr(0, 14), "00 XX Status1\n");
    EXPECT_EQ(err, "kestrel-eval: 33 reads not acknowledged by AEh\n");
}

TEST_F(BatchResultsTest, DumpReadsTheWholeEepromAtBlockSpeed) {
    fill([](int a) { return static_cast<std::uint8_t>(a); });
    EXPECT_EQ(run({"eeprom", "dump"}), 0) << err;
    EXPECT_EQ(err, "");
    const auto rows = lines();
    ASSERT_EQ(rows.size(), 33u);
    EXPECT_EQ(rows[0], "      00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F");
    EXPECT_EQ(rows[1], "8000: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F");
    EXPECT_EQ(rows[18], "8110: 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F");
    EXPECT_EQ(rows[32], "81F0: F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF");
    EXPECT_EQ(board.log().transactions().size(), 32u) << "16 pointer writes, 16 block reads";
}

TEST_F(BatchResultsTest, JsonGivesEveryValueWithItsAcknowledgeAndPec) {
    EXPECT_EQ(run({"--json", "read", "1D"}), 0);
    EXPECT_EQ(out,
              "{\"command\":\"read\",\"slave\":\"AE\",\"ok\":true,\"exit\":0,\"errors\":[],"
              "\"register\":\"1D\",\"value\":\"21\",\"ack\":true,\"pec\":true}\n");

    EXPECT_EQ(run({"eeprom", "read", "8000", "2", "--json"}), 0);
    EXPECT_NE(out.find("\"bytes\":[{\"address\":\"8000\",\"value\":\"01\",\"ack\":true,"
                       "\"pec\":true},{\"address\":\"8001\""),
              std::string::npos)
        << out;

    ASSERT_TRUE(board.applyFault("corrupt-pec"));
    EXPECT_EQ(run({"--json", "status"}), 2);
    EXPECT_EQ(lineCount(out), 1u) << "one object";
    EXPECT_NE(out.find("\"ok\":false,\"exit\":2,\"errors\":[\"6 reads with a PEC mismatch, first "
                       "at 00h\"]"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("{\"register\":\"00\",\"value\":null,\"ack\":true,\"pec\":false,"),
              std::string::npos)
        << out;
    // An acknowledged read with a bad PEC: its byte, marked as not vouched for.
    EXPECT_EQ(run({"--json", "read", "1D"}), 2);
    EXPECT_NE(out.find("\"register\":\"1D\",\"value\":\"21\",\"ack\":true,\"pec\":false}"),
              std::string::npos)
        << out;

    // An adapter whose transfer ran but which reported an error vouches for
    // no byte it read: no PEC is good, whatever its buffers hold.
    SimulatedI2cAdapter adapter(board);
    FailingAfterRunning failing(adapter);
    kernel = &failing;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--i2c", "0", "--json", "read", "1D"},
             {"--i2c", "0", "--json", "status"},
             {"--i2c", "0", "--json", "eeprom", "read", "8000", "2"}}) {
        EXPECT_NE(run(args), 0) << ::testing::PrintToString(args);
        EXPECT_EQ(out.find("\"pec\":true"), std::string::npos) << out;
        EXPECT_NE(out.find("\"ok\":false"), std::string::npos) << out;
    }
    kernel = nullptr;

    EXPECT_EQ(run({"--json", "read", "ZZ"}), 1);
    EXPECT_NE(out.find("\"exit\":1,\"errors\":[\"register ZZ: not a hex number"), std::string::npos)
        << out;
}

TEST_F(BatchResultsTest, DetectDrawsTheAnsweringAddressesOnly) {
    EXPECT_EQ(run({"detect"}), 0) << err;
    const auto rows = lines();
    ASSERT_EQ(rows.size(), 17u);
    EXPECT_EQ(rows[0], "      0  2  4  6  8  A  C  E");
    EXPECT_EQ(rows[1], "00:          -- -- -- -- --");
    EXPECT_EQ(rows[10], "90: 90 -- -- -- 98 -- -- --");
    EXPECT_EQ(rows[11], "A0: A0 -- -- -- -- -- -- AE");
    EXPECT_EQ(rows[16], "F0:");
    for (const auto& t : board.log().transactions())
        ASSERT_EQ(t.events.size(), 3u) << "START, address byte, STOP: " << t.describe();

    EXPECT_EQ(run({"detect", "--json"}), 0);
    EXPECT_NE(out.find("\"acknowledged\":[\"90\",\"98\",\"A0\",\"AE\"]"), std::string::npos);
}

TEST_F(BatchResultsTest, VerifyAndBlockWriteFailWithTheChipAbsent) {
    ASSERT_TRUE(board.applyFault("missing"));
    input.str(image(0x8100, 32, 0xFF));
    EXPECT_EQ(run({"--no-backup", "eeprom", "write", "8100", "-", "--verify"}), 2);
    EXPECT_NE(err.find("32 of 32 writes not acknowledged; first at 8100h: no acknowledge from AEh"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("Verify failed at 8100h: no acknowledge from AEh"), std::string::npos)
        << err;
    EXPECT_NE(err.find("32 of 32 bytes not verified"), std::string::npos) << err;
    EXPECT_EQ(err.find("written"), std::string::npos) << err;

    EXPECT_EQ(run({"--no-backup", "eeprom", "write-byte", "8100", "5A"}), 2);
    EXPECT_NE(err.find("1 of 1 writes not acknowledged"), std::string::npos) << err;
    EXPECT_EQ(run({"--no-backup", "eeprom", "erase", "8100"}), 2);
    EXPECT_NE(err.find("page erase at 8100h failed: no acknowledge from AEh"), std::string::npos)
        << err;
}

TEST_F(BatchResultsTest, ChangesAreBackedUpFirstAndCanBeRestored) {
    fill([](int a) { return static_cast<std::uint8_t>(a * 3); });
    EXPECT_EQ(run({"eeprom", "erase", "8100"}), 0) << err;
    auto files = backupFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename(), "eeprom-AEh-20261206T120000Z.dat");
    EXPECT_EQ(err, "kestrel-eval: EEPROM saved to " + files[0].string() + " before the change\n");
    const std::string saved = slurp(files[0]);
    EXPECT_EQ(lineCount(saved), 512u);
    EXPECT_EQ(saved.substr(0, 24), "8000h: 00h\r\n8001h: 03h\r\n");
    EXPECT_NE(saved.find("8100h: 00h\r\n8101h: 03h\r\n"), std::string::npos)
        << "the page as it was before the erase";
    EXPECT_EQ(board.kestrel().eeprom(0x8101), 0xFF);
    // The Tools menu writes its backups alike and reads batch's.
    eeprom::Image was{};
    for (std::size_t i = 0; i < was.size(); ++i) was[i] = static_cast<std::uint8_t>(i * 3);
    EXPECT_EQ(eeprom::imageText(was), saved);
    EXPECT_EQ(eeprom::parseImage(saved, nullptr), was);

    // The same second again: a second file, the first one kept.
    EXPECT_EQ(run({"eeprom", "zero", "8120"}), 0) << err;
    files = backupFiles();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[1].filename(), "eeprom-AEh-20261206T120000Z.dat");
    EXPECT_EQ(files[0].filename(), "eeprom-AEh-20261206T120000Z-2.dat");
    EXPECT_EQ(slurp(files[1]), saved);

    EXPECT_EQ(run({"--no-backup", "eeprom", "write-byte", "8000", "12"}), 0) << err;
    EXPECT_EQ(backupFiles().size(), 2u) << "--no-backup saves nothing";
    EXPECT_EQ(err, "");

    EXPECT_EQ(run({"--no-backup", "eeprom", "restore", files[1].string(), "--verify"}), 0) << err;
    for (int a = 0; a < 512; ++a)
        ASSERT_EQ(board.kestrel().eeprom(0x8000 + a), static_cast<std::uint8_t>(a * 3)) << a;

    const std::string copy = (dir / "copy.dat").string();
    EXPECT_EQ(run({"eeprom", "backup", copy}), 0) << err;
    EXPECT_EQ(slurp(copy), saved);
    EXPECT_EQ(run({"eeprom", "backup", "-"}), 0) << err;
    EXPECT_EQ(out, saved);
}

TEST_F(BatchResultsTest, NothingChangesWhenTheBackupCannotBeMade) {
    ASSERT_TRUE(board.applyFault("corrupt-pec"));
    EXPECT_EQ(run({"eeprom", "write-byte", "8100", "00"}), 2);
    EXPECT_NE(err.find("EEPROM not backed up (8000h-81FFh not read), so nothing changed"),
              std::string::npos)
        << err;
    EXPECT_EQ(board.kestrel().eeprom(0x8100), 0xFF);
    EXPECT_TRUE(backupFiles().empty());

    stateHome = (dir / "file").string();
    std::ofstream(stateHome) << "not a folder";
    board.kestrel().setCorruptPec(false);
    EXPECT_EQ(run({"eeprom", "write-byte", "8100", "00"}), 1);
    EXPECT_NE(err.find("nothing changed"), std::string::npos) << err;
    EXPECT_EQ(board.kestrel().eeprom(0x8100), 0xFF);
}

TEST_F(BatchResultsTest, RestoreTakesOnlyAWholeBackupInAddressOrder) {
    const std::string shifted = (dir / "shifted.dat").string();
    std::ofstream(shifted, std::ios::binary) << image(0x8001, 512, 0);
    EXPECT_EQ(run({"--no-backup", "eeprom", "restore", shifted}), 1);
    EXPECT_NE(err.find("line 1: '8001h: 00h' should hold address 8000h"), std::string::npos) << err;
    EXPECT_TRUE(board.log().transactions().empty());
}

TEST_F(BatchResultsTest, AnImageFileIsReplacedOnlyByACompleteImage) {
    const std::string path = (dir / "block.dat").string();
    std::ofstream(path) << "keep me";
    ASSERT_TRUE(board.applyFault("missing"));
    EXPECT_EQ(run({"eeprom", "read", "8100", "--out", path}), 2);
    EXPECT_NE(err.find("image file not written"), std::string::npos) << err;
    EXPECT_EQ(slurp(path), "keep me");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1)
        << "no temporary file left behind";

    board.kestrel().setPresent(true);
    EXPECT_EQ(run({"eeprom", "read", "8100", "--out", path}), 0) << err;
    EXPECT_EQ(slurp(path), image(0x8100, 32, 0xFF));

    board.log().clear();
    EXPECT_EQ(run({"eeprom", "read", "8100", "--out", (dir / "no" / "x.dat").string()}), 1);
    EXPECT_TRUE(board.log().transactions().empty()) << "an unusable output is found first";
}

}  // namespace
}  // namespace kestrel
