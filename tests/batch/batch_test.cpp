#include "batch/batch.h"

#include <gtest/gtest.h>
#include <linux/i2c.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "bus/crc8.h"
#include "connection/simulated_i2c_adapter.h"
#include "device/text_rules.h"
#include "support/batch_rig.h"
#include "support/vcd_decoder.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

// The program's batch mode in-process, on a simulated board kept in a file.
using BatchTest = testing::BatchRig;

TEST_F(BatchTest, RegistersPersistAcrossRunsOfOneBoard) {
    EXPECT_EQ(runOnFile({"write", "0E", "00"}), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(runOnFile({"read", "0E"}), 0);
    EXPECT_EQ(out, "00\n");
    EXPECT_EQ(err, "");

    EXPECT_EQ(runOnFile({"switch", "98", "01"}), 0);
    EXPECT_NE(slurp(state).find("plover 98 1"), std::string::npos);
}

TEST_F(BatchTest, BlockReadEraseAndZeroOnABoardInAFile) {
    EXPECT_EQ(runOnFile({"block-read", "8100"}), 0);
    ASSERT_EQ(lines().size(), 34u);
    EXPECT_EQ(lines()[0], "Bytes: 20h");
    EXPECT_EQ(runOnFile({"eeprom", "erase", "8100"}), 0);
    EXPECT_EQ(runOnFile({"eeprom", "zero", "8120"}), 0);
    EXPECT_EQ(runOnFile({"eeprom", "read", "8110"}), 0);
    EXPECT_EQ(lines()[0], "8110h: FFh");
    EXPECT_EQ(lines()[31], "812Fh: 00h");

    // The count line says what the chip sent, not what it should have sent.
    addFault("block-count 05");
    EXPECT_EQ(runOnFile({"block-read", "8100"}), 2) << "a wrong count is no clean block";
    EXPECT_EQ(lines().at(0), "Bytes: 05h");
    EXPECT_NE(err.find("Block count 05h at 8100h, expected 20h"), std::string::npos) << err;
}

TEST_F(BatchTest, BusFaultsGiveExitCodeTwoAndAreNamed) {
    EXPECT_EQ(runOnFile({"--slave", "A2", "read", "1D"}), 2);
    EXPECT_NE(err.find("No acknowledge from A2h"), std::string::npos) << err;
    EXPECT_EQ(out, "FF\n") << "the value read is still printed";

    addFault("corrupt-pec");
    EXPECT_EQ(runOnFile({"read", "1D"}), 2);
    EXPECT_NE(err.find("PEC mismatch at 1Dh"), std::string::npos) << err;
    EXPECT_EQ(runOnFile({"block-read", "8100"}), 2);
    EXPECT_NE(err.find("PEC mismatch at 8100h"), std::string::npos) << err;
}

TEST_F(BatchTest, NoCommandOrNoPortIsNoSuccess) {
    EXPECT_EQ(runOnFile({}), 1);
    if (fs::exists("/dev/parport0")) GTEST_SKIP() << "this machine has a parallel port";
    EXPECT_EQ(run({"read", "1D"}, false), 3);
    EXPECT_NE(err.find("no usable parallel port"), std::string::npos);
}

// The chip through an I2C adapter: the simulated board behind one, a
// missing adapter (exit 3, saying what to do) and what an adapter cannot do.
// A chip that leaves the EEPROM read's address slots to the master: the
// port holds SDA itself, an adapter with protocol mangling goes on past the
// slots, one without reads whole blocks. Every way gives the same bytes.
TEST_F(BatchTest, EepromReadsThroughAnAdapterGiveThePortsBytes) {
    board.kestrel().setOptions(sim::KestrelModel::Options::strict());
    // The chip's busy time passes with the waits' fake clock.
    board.setClock([this] { return static_cast<std::uint64_t>(clock.now) * 1000; });
    for (int a = 0; a < 512; ++a)
        board.kestrel().setEeprom(0x8000 + a, static_cast<std::uint8_t>(a * 11 + 3));
    const std::string block = file("block.dat", [] {
        std::string lines;
        for (unsigned i = 0; i < 32; ++i)
            lines += text::imageLine(0x8120 + i, (i * 9) & 0xFF) + "\r\n";
        return lines;
    }());
    SimulatedI2cAdapter plain(board), mangling(board);
    mangling.setFunctions(I2C_FUNC_I2C | I2C_FUNC_SMBUS_QUICK | I2C_FUNC_PROTOCOL_MANGLING);
    std::vector<std::string> results[3];
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way);
        kernel = way == 2 ? &mangling : &plain;
        const std::vector<std::string> via =
            way == 0 ? std::vector<std::string>{} : std::vector<std::string>{"--i2c", "0"};
        auto with = [&](std::vector<std::string> args) {
            args.insert(args.begin(), via.begin(), via.end());
            return args;
        };
        const std::string snap = (dir / ("board" + std::to_string(way) + ".snap")).string();
        // The write first: every way then reads the same EEPROM.
        for (const auto& args :
             {with({"--no-backup", "eeprom", "write", "8120", block, "--erase", "--verify"}),
              with({"eeprom", "read", "8105", "3"}), with({"eeprom", "read", "8100", "40"}),
              with({"eeprom", "dump"}), with({"snapshot", "save", snap})}) {
            EXPECT_EQ(run(args), 0) << err;
            results[way].push_back(out);
        }
        // Its EEPROM lines; the status registers move on their own.
        results[way].push_back(slurp(snap).substr(slurp(snap).find("\n8000h: ")));
    }
    EXPECT_EQ(results[1], results[0]);
    EXPECT_EQ(results[2], results[0]);
}

TEST_F(BatchTest, AnI2cAdapterCarriesTheCommandsOrSaysWhatIsMissing) {
    EXPECT_EQ(runOnFile({"--i2c=/dev/i2c-0", "read", "0x0E"}), 0) << err;
    EXPECT_EQ(runOnFile({"--i2c", "i2c-0", "read", "1D"}), 1);
    EXPECT_NE(err.find("/dev/i2c-N"), std::string::npos) << err;
    EXPECT_EQ(runOnFile({"--i2c", "0", "--trace", (dir / "t.vcd").string(), "read", "1D"}), 1);
    EXPECT_NE(err.find("needs the parallel port's lines"), std::string::npos) << err;

    if (fs::exists("/dev/i2c-9")) GTEST_SKIP() << "this machine has /dev/i2c-9";
    kernel = nullptr;
    EXPECT_EQ(run({"--i2c", "/dev/i2c-9", "read", "1D"}, false), 3);
    EXPECT_NE(err.find("modprobe i2c-dev"), std::string::npos) << err;
    EXPECT_EQ(out, "");
}

// A trace decodes, by an independent decoder, to the bytes on the wire with
// their acknowledges (block-speed reads: the sigrok tests).
TEST_F(BatchTest, TracesOfARegisterReadDecode) {
    // A trace the disk did not take whole is a failed run, never a silent one.
    if (std::filesystem::exists("/dev/full")) {
        EXPECT_EQ(runOnFile({"--trace", "/dev/full", "read", "1D"}), 1);
        EXPECT_NE(err.find("The trace file /dev/full was not written completely."),
                  std::string::npos)
            << err;
    }
    const std::string trace = (dir / "bus.vcd").string();
    EXPECT_EQ(runOnFile({"--trace", trace, "read", "1D"}), 0);
    auto d = testing::decodeVcd(slurp(trace));
    const std::string pec = text::byteText(smbusPec({0xAE, 0x1D, 0xAF, 0x21}));
    EXPECT_EQ(d.tokens, (std::vector<std::string>{"S", "AE", "1D", "Sr", "AF", "21", pec, "P"}));
    EXPECT_EQ(d.acks, (std::vector<bool>{true, true, true, true, false}))
        << "acknowledges show in the trace";
}

// status --watch: one line per pass with the bits that changed, CSV on
// request, XX and exit 2 for a read that failed; its options only with it.
TEST_F(BatchTest, StatusWatchPrintsAPassALineAndFailsOnAFailedRead) {
    ASSERT_EQ(runOnFile({"status", "--watch", "--count", "4", "--interval", "0.01"}), 0) << err;
    const auto text = lines();
    ASSERT_EQ(text.size(), 4u);
    EXPECT_NE(text[0].find(" 00="), std::string::npos) << text[0];
    EXPECT_NE(text[0].find(" 2C="), std::string::npos) << text[0];
    bool changed = false;
    for (const auto& l : text) changed = changed || l.find("changed: ") != std::string::npos;
    EXPECT_TRUE(changed) << "the simulated board's status activity shows";

    ASSERT_EQ(runOnFile({"status", "--watch", "--count", "2", "--csv", "--interval", "0.01"}), 0)
        << err;
    ASSERT_EQ(lines().size(), 3u);
    EXPECT_EQ(lines()[0], "time_s,00h,01h,02h,2Ah,2Bh,2Ch");

    addFault("missing");
    EXPECT_EQ(runOnFile({"status", "--watch", "--count", "2", "--interval", "0.01"}), 2);
    ASSERT_EQ(lines().size(), 2u);
    EXPECT_NE(lines()[1].find("00=XX"), std::string::npos) << lines()[1];
    EXPECT_NE(err.find("No acknowledge from AEh"), std::string::npos) << err;
}

}  // namespace
}  // namespace kestrel
