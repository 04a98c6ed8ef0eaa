#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "device/text_rules.h"
#include "support/batch_rig.h"
#include "support/fake_ppdev.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

// Batch mode on the real parallel-port code, its ppdev calls answered by
// the held simulated board.
class PortFailureBatch : public testing::BatchRig {
  protected:
    PortFailureBatch() : BatchRig("port_failure") {}
    testing::FakeParallelPort lpt{&board};

    void SetUp() override {
        BatchRig::SetUp();
        port = lpt.port.get();
    }
    testing::FakePpdev& kernel() { return *lpt.kernel; }
    // A transaction cut short can leave the chip in the middle of a byte:
    // nine clocks and a STOP free it, as Bus Clear does.
    void freeBus() {
        board.EnablePorts(0, 2);
        for (int i = 0; i < 9; ++i)
            for (const std::uint8_t lines : {kSclLow, kLinesReleased}) board.Outport(0x378, lines);
        for (const std::uint8_t lines : {kBothLow, kSdaLow, kLinesReleased})
            board.Outport(0x378, lines);
        board.DisablePorts(0, 2);
    }
    // An image of 32 bytes 40h, 41h, ...
    std::string image() {
        std::string lines;
        for (unsigned i = 0; i < 32; ++i) lines += text::imageLine(0x8000u + i, 0x40u + i) + "\n";
        return file("image.dat", lines);
    }
};

// A port that cannot be opened ends every command with exit 3 and its
// reason before anything is sent (and before a backup is taken).
TEST_F(PortFailureBatch, AnUnopenablePortExitsThreeWithNothingSent) {
    kernel().claimError = EBUSY;
    for (const std::vector<std::string>& args : {std::vector<std::string>{"read", "00"},
                                                 {"detect"},
                                                 {"eeprom", "write", "8100", image()}}) {
        EXPECT_EQ(run(args), 3) << args[0];
        EXPECT_EQ(out, "");
        EXPECT_EQ(err,
                  "kestrel-eval: LPT1 cannot be opened: /dev/parport0: another driver holds "
                  "it; unload the printer driver lp\n");
    }
    EXPECT_EQ(kernel().accesses, 0);
    EXPECT_TRUE(board.log().describeAll().empty());
    EXPECT_TRUE(backupFiles().empty());
}

// A port call failing in the middle of an EEPROM write ends it as a port
// error (exit 3), naming the byte it failed in and the bytes written before.
TEST_F(PortFailureBatch, APortFailingInABlockWriteEndsItAsAPortError) {
    const std::string data = image();
    // What one byte write costs in port accesses, measured on another page.
    ASSERT_EQ(run({"--no-backup", "eeprom", "write", "8140", data}), 0) << err;
    const long perByte = kernel().accesses / 32;
    ASSERT_EQ(perByte * 32, kernel().accesses);
    ASSERT_GT(perByte, 100);

    const std::string fault =
        "kestrel-eval: LPT1 port error: /dev/parport0: input/output error; the transaction did "
        "not run to its end (EEPROM Write at ";
    struct Case {
        long failAt;
        int bytesWritten;
        std::string line;
    };
    const Case cases[] = {
        {100, 0, fault + "8100h); EEPROM bytes written before it: none\n"},
        {31 * perByte + 100, 31,
         fault + "811Fh); EEPROM bytes written before it: 31, 8100h to 811Eh\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failAt);
        freeBus();
        for (int a = 0x8100; a < 0x8120; ++a) board.kestrel().setEeprom(a, 0xFF);
        kernel().accesses = 0;
        kernel().failAtAccess = c.failAt;
        EXPECT_EQ(run({"--no-backup", "eeprom", "write", "8100", data, "--verify"}), 3);
        EXPECT_EQ(out, "");
        EXPECT_EQ(err.find(c.line), 0u) << "the port's failure comes first:\n" << err;
        // A write the port cut short is no missing acknowledge.
        EXPECT_EQ(err.find("acknowledge"), std::string::npos) << err;
        EXPECT_EQ(kernel().accesses, c.failAt) << "nothing after the failure, no verify";
        for (int i = 0; i < 32; ++i)
            EXPECT_EQ(board.kestrel().eeprom(0x8100 + i), i < c.bytesWritten ? 0x40 + i : 0xFF)
                << i;
        kernel().failAtAccess = 0;
    }

    // The same in a register read and write: a port error, never a silent
    // chip, and never a write that went through.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"read", "00"}, {"write", "0E", "04"}}) {
        freeBus();
        kernel().failAtAccess = kernel().accesses + 20;
        EXPECT_EQ(run(args), 3) << args[0];
        EXPECT_EQ(err.find("kestrel-eval: LPT1 port error: /dev/parport0: input/output error; "
                           "the transaction did not run to its end\n"),
                  0u)
            << err;
        EXPECT_EQ(out, "");
    }
}

// The simulated port dying inside the third block read of a whole-EEPROM
// read (the state file's fault port-error-after): no file is written from
// the bytes that were read, the run exits 3 and names the bytes not read.
TEST_F(PortFailureBatch, APortDyingInTheThirdBlockWritesNoFileAndNamesTheBytesNotRead) {
    kernel().accesses = 0;
    ASSERT_EQ(run({"eeprom", "backup", (dir / "whole.dat").string()}), 0) << err;
    const long perBlock = kernel().accesses / 16;
    const std::string fault = "port-error-after " + text::hexText(2 * perBlock + perBlock / 2);
    const std::string backup = (dir / "b.dat").string(), image = (dir / "r.dat").string();
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"eeprom", "backup", backup}, "backup not written: 8040h-81FFh not read"},
        {{"eeprom", "read", "8000", "200", "--out", image},
         "image file not written: 8040h-81FFh not read"},
        {{"eeprom", "write-byte", "8100", "00"},
         "EEPROM not backed up (8040h-81FFh not read), so nothing changed"},
    };
    for (const auto& [args, says] : cases) {
        SCOPED_TRACE(args[1]);
        fs::remove(state);
        addFault(fault);
        EXPECT_EQ(runOnFile(args), 3);
        EXPECT_NE(err.find("LPT1 port error: simulated port: input/output error"),
                  std::string::npos)
            << err;
        EXPECT_NE(err.find(says), std::string::npos) << err;
        EXPECT_EQ(slurp(state), "fault " + fault + "\n") << "the board is unchanged";
    }
    EXPECT_FALSE(fs::exists(backup));
    EXPECT_FALSE(fs::exists(image));
    EXPECT_TRUE(backupFiles().empty());
}

}  // namespace
}  // namespace kestrel
