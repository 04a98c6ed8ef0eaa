// The capture readers: legal files in their variants, every fault refused
// with the file and the line or entry named, odd and hostile files refused
// within the limits, and a session's trace read as VCD, sigrok session and
// Saleae CSV decoded to the monitor's own records, times included.
#include "capture/capture_readers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "bus/record_export.h"
#include "support/batch_rig.h"
#include "support/capture_files.h"
#include "support/decoded_capture.h"
#include "support/random_session.h"
#include "support/vcd_decoder.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using capture::ChannelPick;

// The records' CSV export, one row each, times and bytes as listed.
std::vector<std::string> rows(const std::vector<TransactionRecord>& records) {
    std::vector<const TransactionRecord*> p;
    for (const auto& r : records) p.push_back(&r);
    std::ostringstream csv;
    record_export::writeCsv(csv, p);
    std::vector<std::string> out;
    std::istringstream in(csv.str());
    std::string row;
    while (std::getline(in, row)) out.push_back(row);
    return out;
}

using CaptureFiles = testing::BatchRig;  // its folder and file helper

// The same wire, live and as three captures: one list, in wire order, at the
// same times from the first START.
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
        const auto d = testing::decodeFile(f);
        ASSERT_TRUE(d.read.ok) << d.read.error;
        EXPECT_EQ(rows(d.records), expected) << f;
    }
}

TEST_F(CaptureFiles, ASessionSigrokCliWroteDecodesToTheMonitorsRecords) {
    if (!testing::sigrokAvailable()) return;
    const testing::Session s = testing::randomSession(30, 3, false);
    const std::string vcd = file("trace.vcd", s.vcd);
    const std::string sr = (dir / "session.sr").string();
    ASSERT_EQ(std::system(("sigrok-cli -I vcd -i " + vcd + " -o " + sr).c_str()), 0);
    const auto d = testing::decodeFile(sr);
    ASSERT_TRUE(d.read.ok) << d.read.error;
    EXPECT_DOUBLE_EQ(d.read.tickSeconds, 1e-7) << "10 MHz, from the trace's 100 ns";
    EXPECT_EQ(rows(d.records), rows(s.records));
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
        const auto d = testing::decodeVcdText(
            testing::handDrawnVcd(c.timescale, {0x90, 0x06}, c.oneLine), {"clock", "data"});
        ASSERT_TRUE(d.read.ok) << d.read.error;
        EXPECT_DOUBLE_EQ(d.read.tickSeconds, c.tickSeconds);
        ASSERT_EQ(d.records.size(), 1u) << c.timescale;
        EXPECT_EQ(d.records[0].kind, "Switch Write");
        EXPECT_DOUBLE_EQ(d.records[0].startMs, 0) << "times count from the first START";
        EXPECT_EQ(record_export::bytesText(d.records[0]), "90+ 06+");
    }
}

// The channels the names tell: exact names in any case before guesses.
TEST_F(CaptureFiles, ExactChannelNamesWinOverGuesses) {
    const std::vector<std::string> names = {"CLKOE", "scl", "CLKOUT", "Sda", "DATA2"};
    const auto picked = capture::pickChannels(names, {});
    EXPECT_EQ(picked.scl, 1) << picked.error;
    EXPECT_EQ(picked.sda, 3) << picked.error;
    EXPECT_NE(capture::pickChannels({"CLKOE", "CLKOUT", "SDA"}, {}).error.find("more than one"),
              std::string::npos);
}

// Without a samplerate (sigrok reads such sessions too) the times are
// samples and the zero write's hold cannot be timed.
TEST_F(CaptureFiles, ASessionWithoutSamplerateCountsInSamples) {
    testing::Drawing w;
    w.start();
    for (std::uint8_t b : {0xAE, 0x81, 0x20, 0x00}) w.byte(b, true);
    w.hold(16);
    w.stop();
    const auto d = testing::decodeFile(
        file("norate.sr", testing::sigrokSession(w.levels, {"SCL", "SDA"}, 1, 0, true, "")));
    ASSERT_TRUE(d.read.ok) << d.read.error;
    EXPECT_TRUE(d.samples);
    ASSERT_EQ(d.records.size(), 1u);
    EXPECT_EQ(d.records[0].kind, "EEPROM Write");
    std::vector<const TransactionRecord*> p{&d.records[0]};
    std::ostringstream csv;
    record_export::writeCsv(csv, p, {true, true});
    EXPECT_EQ(csv.str().substr(0, 15), "time_samples,ki");
}

TEST_F(CaptureFiles, FaultsNameTheFileAndTheLineOrEntry) {
    const testing::Levels levels =
        testing::levelsOfVcd(testing::handDrawnVcd("1 us", {0x90, 0x06}, false));
    const std::string sr = testing::sigrokSession(levels, {"SCL", "SDA"});
    const std::string csv = testing::saleaeCsv(levels, {"SCL", "SDA"});
    std::string decreasingCsv = csv;
    decreasingCsv.replace(decreasingCsv.find("\n0.000") + 1, 1, "9");
    const auto rate = [&](const char* text) {
        return testing::sigrokSession(levels, {"SCL", "SDA"}, 1, 0, true, text);
    };
    const std::string metadata =
        "[device 1]\ncapturefile=logic-1\nsamplerate=1 MHz\nprobe1=SCL\nprobe2=SDA\nunitsize=1\n";
    // An entry whose headers say 100 MB, holding what 1000 bytes inflate to.
    auto lying = testing::deflatedEntry("logic-1-1", std::string(1000, '\x03'));
    lying.size = 100'000'000;
    std::string unnamed = "Time [s]";
    for (int i = 0; i < 50'000; ++i) unnamed += ",";
    unnamed += "\n";
    struct Case {
        std::string name, content, message;
    } cases[] = {
        {"truncated.sr", sr.substr(0, sr.size() / 2),
         "truncated.sr: not a readable sigrok session"},
        {"missing.sr", testing::sigrokSession(levels, {"SCL", "SDA"}, 3, 2),
         "entry logic-1-2 is missing"},
        {"noversion.sr", testing::sigrokSession(levels, {"SCL", "SDA"}, 1, 0, false),
         "entry version"},
        {"infinite.sr", rate("inf"), "samplerate \"inf\" is not a rate"},
        {"huge.sr", rate("1e300"), "samplerate \"1e300\" is outside 1 Hz .. 10 GHz"},
        {"tiny.sr", rate("1e-320"), "samplerate \"1e-320\" is outside"},
        {"lying.sr",
         testing::handMadeZip({testing::storedEntry("version", "2"),
                               testing::storedEntry("metadata", metadata), lying}),
         "entry logic-1-1 holds 1000 bytes, its header says 100000000"},
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
        {"one.vcd",
         "$var wire 1 ! SCL $end $var wire 1 ! SDA $end $enddefinitions $end\n#0 1!\n#9 0!\n",
         "one.vcd: SCL and SDA have one identifier, !"},
        {"scale.vcd", "$timescale 2 ns $end $enddefinitions $end\n",
         "scale.vcd: line 1: timescale \"2ns\""},
        {"names.csv", "Time [s],A,B\n0,1,1\n",
         "names.csv: no channel's name tells which is SCL (channels: A, B)"},
        {"nosda.csv", "Time [s],SCL,B\n0,1,1\n0.1,0,1\n",
         "nosda.csv: no channel's name tells which is SDA (channels: SCL, B)"},
        {"unnamed.csv", unnamed, " and 49984 more)"},
        {"bell\a.csv", "Time [s],A,B\n", "bell\\x07.csv: "},
    };
    for (const Case& c : cases) {
        const std::string path = file(c.name, c.content);
        const auto d = testing::decodeFile(path);
        EXPECT_FALSE(d.read.ok) << c.name;
        EXPECT_EQ(d.read.error.rfind(path.substr(0, path.size() - c.name.size()), 0), 0u)
            << d.read.error;
        EXPECT_NE(d.read.error.find(c.message), std::string::npos)
            << c.name << ": " << d.read.error;
        EXPECT_LE(d.read.error.size(), capture::limits::kMessageChars + 40) << c.name;
    }
}

// A gigabyte of samples in which SCL and SDA toggle on every one: refused
// once the transitions pass their limit, with what the file held so far
// never kept.
TEST_F(CaptureFiles, ATogglingGigabyteStopsAtTheTransitionLimit) {
    const std::string metadata =
        "[device 1]\ncapturefile=logic-1\nsamplerate=1 MHz\nprobe1=SCL\nprobe2=SDA\nunitsize=1\n";
    const std::string path =
        file("toggling.sr", testing::handMadeZip({testing::storedEntry("version", "2"),
                                                  testing::storedEntry("metadata", metadata),
                                                  testing::togglingEntry("logic-1-1", 1u << 30)}));
    const auto d = testing::decodeFile(path);
    EXPECT_FALSE(d.read.ok);
    EXPECT_EQ(d.read.error, path +
                                ": more than 100000000 changes of SCL and SDA, the most a "
                                "capture may hold");
}

// A FIFO is refused at once, never waited on; so is a directory.
TEST_F(CaptureFiles, OnlyRegularFilesAreRead) {
    const std::string fifo = (dir / "capture.vcd").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const auto& [path, what] :
         {std::pair{fifo, "(a FIFO)"}, {dir.string(), "(a directory)"}}) {
        const auto d = testing::decodeFile(path);
        EXPECT_FALSE(d.read.ok);
        EXPECT_EQ(d.read.error, path + ": is not a regular file " + what);
    }
}

}  // namespace
}  // namespace kestrel
