// The capture readers: legal files in their variants, every fault refused
// with the file and the line or entry named, and a session's trace read as
// VCD, sigrok session and Saleae CSV decoded to the monitor's own records.
#include "capture/capture_readers.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "bus/record_export.h"
#include "capture/capture_decoder.h"
#include "support/batch_rig.h"
#include "support/capture_files.h"
#include "support/random_session.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using capture::ChannelPick;

// The records' CSV export without the time column: what a capture must give
// back. Acknowledges the master clocked itself read as taken on the wire.
std::vector<std::string> rows(const std::vector<TransactionRecord>& records) {
    std::vector<TransactionRecord> copy = records;
    std::vector<const TransactionRecord*> p;
    for (auto& r : copy) {
        for (auto& b : r.sent)
            if (b.ack < 0) b.ack = 1;
        p.push_back(&r);
    }
    std::ostringstream csv;
    record_export::writeCsv(csv, p);
    std::vector<std::string> out;
    std::istringstream in(csv.str());
    std::string row;
    while (std::getline(in, row)) out.push_back(row.substr(row.find(',')));
    return out;
}

using CaptureFiles = testing::BatchRig;  // its folder and file helper

TEST_F(CaptureFiles, ASessionWrittenAsVcdSigrokAndSaleaeDecodesToTheMonitorsRecords) {
    const testing::Session s = testing::randomSession(1000, 11);
    const auto expected = rows(s.records);
    const testing::Levels levels = testing::levelsOfVcd(s.vcd);
    const std::string files[] = {
        file("trace.vcd", s.vcd),
        file("session.sr", testing::sigrokSession(levels, {"D0", "SCL", "SDA", "D3"})),
        file("export.csv", testing::saleaeCsv(levels, {"Channel 0", "SCL", "SDA"})),
    };
    for (const std::string& f : files) {
        const auto read = capture::readCaptureFile(f, {});
        ASSERT_TRUE(read.lines) << read.error;
        EXPECT_EQ(rows(capture::decodeCapture(*read.lines)), expected) << f;
    }
}

TEST_F(CaptureFiles, ASessionSigrokCliWroteDecodesToTheMonitorsRecords) {
    if (std::system("command -v sigrok-cli >/dev/null 2>&1") != 0) GTEST_SKIP() << "no sigrok-cli";
    const testing::Session s = testing::randomSession(30, 3, false);
    const std::string vcd = file("trace.vcd", s.vcd);
    const std::string sr = (dir / "session.sr").string();
    ASSERT_EQ(std::system(("sigrok-cli -I vcd -i " + vcd + " -o " + sr).c_str()), 0);
    const auto read = capture::readCaptureFile(sr, {});
    ASSERT_TRUE(read.lines) << read.error;
    EXPECT_DOUBLE_EQ(read.lines->tickSeconds, 1e-9) << "1 GHz, from the trace's 1 ns";
    EXPECT_EQ(rows(capture::decodeCapture(*read.lines)), rows(s.records));
}

TEST_F(CaptureFiles, VcdVariants) {
    // One PLOVER write (90h, 06h) as a hand-drawn VCD in several legal forms.
    struct Case {
        const char* timescale;
        double tickSeconds;
        bool oneLine;  // every change of a time on the time's line
    } cases[] = {{"1 us", 1e-6, false},
                 {"10ns", 1e-8, true},
                 {"\n  100 ps\n", 1e-10, true},
                 {"1 s", 1, false}};
    for (const Case& c : cases) {
        const std::string vcd = testing::handDrawnVcd(c.timescale, {0x90, 0x06}, c.oneLine);
        std::istringstream in(vcd);
        const auto read = capture::readVcd(in, "x.vcd", {"clock", "data"});
        ASSERT_TRUE(read.lines) << read.error;
        EXPECT_DOUBLE_EQ(read.lines->tickSeconds, c.tickSeconds);
        const auto records = capture::decodeCapture(*read.lines);
        ASSERT_EQ(records.size(), 1u) << c.timescale;
        EXPECT_EQ(records[0].kind, "Switch Write");
        EXPECT_DOUBLE_EQ(records[0].startMs, c.tickSeconds * 1000) << "the START one unit in";
        EXPECT_EQ(record_export::bytesText(records[0]), "90+ 06+");
    }
}

TEST_F(CaptureFiles, FaultsNameTheFileAndTheLineOrEntry) {
    const testing::Levels levels =
        testing::levelsOfVcd(testing::handDrawnVcd("1 us", {0x90, 0x06}, false));
    const std::string sr = testing::sigrokSession(levels, {"SCL", "SDA"});
    const std::string csv = testing::saleaeCsv(levels, {"SCL", "SDA"});
    std::string decreasingCsv = csv;
    decreasingCsv.replace(decreasingCsv.find("\n0.000") + 1, 1, "9");
    struct Case {
        std::string name, content, message;
    } cases[] = {
        {"truncated.sr", sr.substr(0, sr.size() / 2),
         "truncated.sr: not a readable sigrok session"},
        {"missing.sr", testing::sigrokSession(levels, {"SCL", "SDA"}, 3, 2),
         "entry logic-1-2 is missing"},
        {"noversion.sr", testing::sigrokSession(levels, {"SCL", "SDA"}, 1, 0, false),
         "entry version"},
        {"back.csv", decreasingCsv, "is before the row above"},
        {"back.vcd",
         "$var wire 1 ! SCL $end $var wire 1 \" SDA $end $enddefinitions $end\n#5 1! 1\"\n#9 "
         "0!\n#7 1!\n",
         "back.vcd: line 4: time 7 is before 9"},
        {"flat.vcd",
         "$var wire 1 ! SCL $end $var wire 1 \" SDA $end $enddefinitions $end\n#0 1! 1\"\n#9 1!\n",
         "flat.vcd: SCL and SDA never change"},
        {"unknown.vcd",
         "$var wire 1 ! SCL $end $var wire 1 \" SDA $end $enddefinitions $end\n#0 1! x\"\n",
         "unknown.vcd: line 2: level 'x' of SDA"},
        {"scale.vcd", "$timescale 2 ns $end $enddefinitions $end\n",
         "scale.vcd: line 1: timescale \"2ns\""},
        {"names.csv", "Time [s],A,B\n0,1,1\n",
         "names.csv: no channel's name tells which is SCL (channels: A, B)"},
        {"nosda.csv", "Time [s],SCL,B\n0,1,1\n0.1,0,1\n",
         "nosda.csv: no channel's name tells which is SDA (channels: SCL, B)"},
    };
    for (const Case& c : cases) {
        const std::string path = file(c.name, c.content);
        const auto read = capture::readCaptureFile(path, {});
        EXPECT_FALSE(read.lines) << c.name;
        EXPECT_EQ(read.error.rfind(path.substr(0, path.size() - c.name.size()), 0), 0u)
            << read.error;
        EXPECT_NE(read.error.find(c.message), std::string::npos) << c.name << ": " << read.error;
    }
}

}  // namespace
}  // namespace kestrel
